// A plain BMP file encoder for the benchmarks: each band goes straight to its
// place in the file (bottom-up rows, one vectored write per band), write-back
// starts as bands arrive, and Finish flushes to disk. No temporary file and no
// rename: the benchmarks measure the render and the disk, not the delivery.
#pragma once

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "output/encoder.h"

namespace pelmora {

class BandFileWriter final : public ImageEncoder {
 public:
  explicit BandFileWriter(std::string path) : m_path(std::move(path)) {}
  ~BandFileWriter() override {
    if (m_fd >= 0) ::close(m_fd);
  }

  bool Begin(const ImageShape& shape, std::string* error) override {
    const auto layout = BmpLayoutFor(shape.width, shape.height, shape.bits);
    if (!layout || !layout->fits) return Fail(error, "the image does not fit a BMP file");
    m_layout = *layout;
    m_height = shape.height;
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) return Fail(error, "cannot create " + m_path + ": " + std::strerror(errno));
    std::vector<std::uint8_t> header(m_layout.off_bits, 0);
    std::size_t at = 0;
    auto u16 = [&](std::uint32_t v) {
      header[at++] = static_cast<std::uint8_t>(v);
      header[at++] = static_cast<std::uint8_t>(v >> 8);
    };
    auto u32 = [&](std::uint32_t v) {
      u16(v & 0xFFFF);
      u16(v >> 16);
    };
    u16(0x4D42);  // "BM"
    u32(static_cast<std::uint32_t>(m_layout.file_size));
    u32(0);
    u32(m_layout.off_bits);
    u32(40);
    u32(static_cast<std::uint32_t>(shape.width));
    u32(static_cast<std::uint32_t>(shape.height));  // positive: bottom-up
    u16(1);
    u16(static_cast<std::uint32_t>(shape.bits));
    u32(shape.bits == 16 ? 3 : 0);  // BI_BITFIELDS for 5-6-5
    u32(static_cast<std::uint32_t>(m_layout.image_size));
    u32(static_cast<std::uint32_t>(PixelsPerMetre(shape.dpi)));
    u32(static_cast<std::uint32_t>(PixelsPerMetre(shape.dpi)));
    u32(m_layout.colours_used);
    u32(0);
    if (shape.bits == 16) {
      u32(0xF800);
      u32(0x07E0);
      u32(0x001F);
    }
    for (std::uint32_t i = 0; i < m_layout.colours_used; ++i) {
      const Colour c = i < shape.colour_table.size() ? shape.colour_table[i] : 0;
      header[at++] = static_cast<std::uint8_t>(BlueOf(c));
      header[at++] = static_cast<std::uint8_t>(GreenOf(c));
      header[at++] = static_cast<std::uint8_t>(RedOf(c));
      header[at++] = 0;
    }
    return WriteAt(header.data(), header.size(), 0, error);
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    // Image rows first_row .. first_row + h - 1 are file rows H - first_row - h
    // .. H - first_row - 1, the band's last row first.
    const int h = rows.Height();
    const std::uint64_t file_row = static_cast<std::uint64_t>(m_height - first_row - h);
    const std::uint64_t offset = m_layout.off_bits + file_row * m_layout.stride;
    std::vector<iovec> pieces;
    pieces.reserve(static_cast<std::size_t>(h));
    for (int y = h - 1; y >= 0; --y) {
      pieces.push_back({const_cast<std::uint8_t*>(rows.Row(y)), rows.Stride()});
    }
    std::uint64_t at = offset;
    for (std::size_t i = 0; i < pieces.size(); i += kMaxPieces) {
      const int count = static_cast<int>(std::min(kMaxPieces, pieces.size() - i));
      std::size_t want = 0;
      for (int k = 0; k < count; ++k) want += pieces[i + static_cast<std::size_t>(k)].iov_len;
      const ssize_t done = ::pwritev(m_fd, pieces.data() + i, count, static_cast<off_t>(at));
      if (done != static_cast<ssize_t>(want)) {
        return Fail(error, "cannot write " + m_path + ": " + std::strerror(errno));
      }
      at += want;
    }
    // Start write-back of this band now rather than all of it at the end.
    ::sync_file_range(m_fd, static_cast<off_t>(offset), static_cast<off_t>(at - offset),
                      SYNC_FILE_RANGE_WRITE);
    return true;
  }

  bool Finish(std::string* error) override {
    if (::fsync(m_fd) != 0) return Fail(error, "cannot flush " + m_path);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) return Fail(error, "cannot close " + m_path);
    return true;
  }

 private:
  static constexpr std::size_t kMaxPieces = 1024;  // IOV_MAX

  bool WriteAt(const std::uint8_t* data, std::size_t size, std::uint64_t offset,
               std::string* error) {
    if (::pwrite(m_fd, data, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) {
      return Fail(error, "cannot write " + m_path + ": " + std::strerror(errno));
    }
    return true;
  }
  static bool Fail(std::string* error, std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
  }

  std::string m_path;
  int m_fd = -1;
  int m_height = 0;
  BmpLayout m_layout;
};

}  // namespace pelmora
