#include "output/format_encoders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "output/output_file.h"

namespace pelmora {
namespace {

std::string SystemReason(const std::string& what, int err) {
  return what + ": " + std::strerror(err);
}

}  // namespace

bool ByteSink::Resize(std::uint64_t size, std::string* error) {
  if (m_memory) {
    try {
      m_memory->assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
      *error = "not enough memory for " + std::to_string(size) + " bytes";
      return false;
    }
    return true;
  }
  if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
    *error = SystemReason("cannot write " + m_name, errno);
    return false;
  }
  return true;
}

bool ByteSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size,
                       std::string* error) {
  if (m_memory) {
    if (offset + size > m_memory->size()) {
      try {
        m_memory->resize(static_cast<std::size_t>(offset + size));
      } catch (const std::bad_alloc&) {
        *error = "not enough memory for " + std::to_string(offset + size) + " bytes";
        return false;
      }
    }
    std::memcpy(m_memory->data() + offset, data, size);
    return true;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t left = size;
  while (left > 0) {
    const ssize_t n =
        ::pwrite(m_fd, bytes, std::min<std::size_t>(left, SSIZE_MAX), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = SystemReason("cannot write " + m_name, n < 0 ? errno : ENOSPC);
      return false;
    }
    bytes += n;
    offset += static_cast<std::uint64_t>(n);
    left -= static_cast<std::size_t>(n);
  }
  if (m_file) m_file->Written(size);
  return true;
}

std::int64_t ByteSink::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (m_memory) {
    if (offset >= m_memory->size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, m_memory->size() - offset);
    std::memcpy(data, m_memory->data() + offset, n);
    return static_cast<std::int64_t>(n);
  }
  for (;;) {
    const ssize_t n = ::pread(m_fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

std::uint64_t ByteSink::Size() const {
  if (m_memory) return m_memory->size();
  struct stat info {};
  if (::fstat(m_fd, &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool StreamWriter::Write(const void* data, std::size_t size) {
  if (!m_error.empty()) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const std::size_t room = kChunk - m_buffer.size();
    const std::size_t n = std::min(room, size);
    m_buffer.insert(m_buffer.end(), bytes, bytes + n);
    bytes += n;
    size -= n;
    if (m_buffer.size() == kChunk && !Flush()) return false;
  }
  return true;
}

bool StreamWriter::Flush() {
  if (!m_error.empty()) return false;
  if (m_buffer.empty()) return true;
  if (!m_sink->WriteAt(m_written, m_buffer.data(), m_buffer.size(), &m_error)) return false;
  m_written += m_buffer.size();
  m_buffer.clear();
  return true;
}

bool CheckShape(const ImageShape& shape, std::string* error) {
  if (shape.bits != 1 && shape.bits != 4 && shape.bits != 8 && shape.bits != 16 &&
      shape.bits != 24) {
    *error = "unsupported colour depth of " + std::to_string(shape.bits) + " bits";
    return false;
  }
  if (shape.width <= 0 || shape.height <= 0) {
    *error = "the image is empty (" + std::to_string(shape.width) + " x " +
             std::to_string(shape.height) + " pixels)";
    return false;
  }
  return true;
}

bool CheckBand(const ImageShape& shape, int next_row, int first_row, const Bitmap& rows,
               std::string* error) {
  if (rows.Width() != shape.width || rows.BitsPerPixel() != shape.bits) {
    *error = "a band of " + std::to_string(rows.Width()) + " pixels at " +
             std::to_string(rows.BitsPerPixel()) + " bits does not fit the image";
    return false;
  }
  if (first_row != next_row || rows.Height() <= 0 || rows.Height() > shape.height - first_row) {
    *error = "band rows " + std::to_string(first_row) + "+" + std::to_string(rows.Height()) +
             " out of order (next row " + std::to_string(next_row) + " of " +
             std::to_string(shape.height) + ")";
    return false;
  }
  return true;
}

std::vector<Colour> FileColourTable(const ImageShape& shape) {
  if (shape.bits > 8) return {};
  std::vector<Colour> table(std::size_t{1} << shape.bits, 0);
  std::copy_n(shape.colour_table.begin(), std::min(table.size(), shape.colour_table.size()),
              table.begin());
  return table;
}

// Each field widened by repeating its top bits below it, as Qt's bitmap reader
// shows a 5-6-5 pixel (31 → 255, 16 → 132).
void Expand565(std::uint32_t word, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  const std::uint32_t r = (word >> 11) & 31, g = (word >> 5) & 63, b = word & 31;
  *red = static_cast<std::uint8_t>((r << 3) | (r >> 2));
  *green = static_cast<std::uint8_t>((g << 2) | (g >> 4));
  *blue = static_cast<std::uint8_t>((b << 3) | (b >> 2));
}

namespace {

#if defined(__x86_64__)
// Four pixels a step, by one byte shuffle: the plain loop moves a byte at a
// time, and on a large sheet it held up the encoders' thread. Reads and
// writes 16 bytes where it uses 12, so it stops 4 bytes short of the row's end.
__attribute__((target("ssse3"))) int BgrToRgbShuffled(const std::uint8_t* row, int width,
                                                      std::uint8_t* out) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
  int x = 0;
  for (; x + 6 <= width; x += 4, row += 12, out += 12) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pixels, order));
  }
  return x;
}
#endif

}  // namespace

void RowToRgb(const std::uint8_t* row, int width, int bits, std::uint8_t* out) {
  if (bits == 24) {
    int done = 0;
#if defined(__x86_64__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) done = BgrToRgbShuffled(row, width, out);
#endif
    row += 3 * done;
    out += 3 * done;
    for (int x = done; x < width; ++x, row += 3, out += 3) {
      out[0] = row[2];
      out[1] = row[1];
      out[2] = row[0];
    }
    return;
  }
  for (int x = 0; x < width; ++x, row += 2, out += 3) {
    Expand565(static_cast<std::uint32_t>(row[0] | (row[1] << 8)), &out[0], &out[1], &out[2]);
  }
}

void CleanIndexedRow(const std::uint8_t* row, int width, int bits, std::uint8_t* out) {
  const std::uint64_t used_bits =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits);
  const std::size_t bytes = static_cast<std::size_t>((used_bits + 7) / 8);
  std::memcpy(out, row, bytes);
  if (const unsigned partial = static_cast<unsigned>(used_bits % 8); partial != 0) {
    out[bytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> partial);
  }
}

std::unique_ptr<ImageEncoder> CreateFormatEncoder(ImageFormat format, ByteSink* sink,
                                                  const CompressOptions& options) {
  switch (format) {
    case ImageFormat::kBmp:
      return CreateBmpEncoder(sink);
    case ImageFormat::kPng:
      return CreatePngEncoder(sink, options);
    case ImageFormat::kTiff:
      return CreateTiffEncoder(sink, options);
    case ImageFormat::kPdf:
      return CreatePdfEncoder(sink, options);
    case ImageFormat::kSvg:
    case ImageFormat::kDxf:
      break;  // vector documents only (vector/)
  }
  return nullptr;
}

}  // namespace pelmora
