#include "output/bmp_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>

namespace pelmora {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
// 5-6-5 words: red in bits 15–11, green in 10–5, blue in 4–0.
constexpr std::uint32_t kRedMask = 0x0000F800;
constexpr std::uint32_t kGreenMask = 0x000007E0;
constexpr std::uint32_t kBlueMask = 0x0000001F;

class HeaderWriter {
 public:
  explicit HeaderWriter(std::span<std::uint8_t> out) : m_out(out) {}
  void U16(std::uint32_t v) {
    Byte(v);
    Byte(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void Byte(std::uint32_t v) { m_out[m_pos++] = static_cast<std::uint8_t>(v & 0xFF); }
  std::size_t Position() const { return m_pos; }

 private:
  std::span<std::uint8_t> m_out;
  std::size_t m_pos = 0;
};

// Checks the image against the format; the layout on success.
std::optional<BmpLayout> CheckImage(const Bitmap& image, std::string* error) {
  const auto layout = BmpLayoutFor(image.Width(), image.Height(), image.BitsPerPixel());
  if (!layout) {
    *error = "unsupported colour depth of " + std::to_string(image.BitsPerPixel()) + " bits";
    return std::nullopt;
  }
  if (image.Width() <= 0 || image.Height() <= 0) {
    *error = "the image is empty (" + std::to_string(image.Width()) + " x " +
             std::to_string(image.Height()) + " pixels)";
    return std::nullopt;
  }
  if (!layout->fits) {
    *error = "the image is too large for a bitmap file (" + std::to_string(layout->file_size) +
             " bytes)";
    return std::nullopt;
  }
  if (image.Stride() != layout->stride) {
    *error = "the image's rows are not laid out as bitmap rows";
    return std::nullopt;
  }
  return layout;
}

// File header, info header and the masks or colour table: layout.off_bits bytes.
void PutHeaders(const Bitmap& image, const BmpLayout& layout, int dpi,
                std::span<std::uint8_t> out) {
  HeaderWriter w(out);
  const std::int32_t pels_per_metre = PixelsPerMetre(dpi);
  // BITMAPFILEHEADER
  w.Byte('B');  // bfType
  w.Byte('M');
  w.U32(static_cast<std::uint32_t>(layout.file_size));  // bfSize
  w.U16(0);                                             // bfReserved1
  w.U16(0);                                             // bfReserved2
  w.U32(layout.off_bits);                               // bfOffBits
  // BITMAPINFOHEADER
  w.U32(kInfoHeaderSize);                                // biSize
  w.I32(image.Width());                                  // biWidth
  w.I32(image.Height());                                 // biHeight: positive, bottom-up
  w.U16(1);                                              // biPlanes
  w.U16(static_cast<std::uint32_t>(layout.bits));        // biBitCount
  w.U32(layout.bits == 16 ? kBiBitfields : kBiRgb);      // biCompression
  w.U32(static_cast<std::uint32_t>(layout.image_size));  // biSizeImage
  w.I32(pels_per_metre);                                 // biXPelsPerMeter
  w.I32(pels_per_metre);                                 // biYPelsPerMeter
  w.U32(layout.colours_used);                            // biClrUsed
  w.U32(0);                                              // biClrImportant
  if (layout.bits == 16) {
    w.U32(kRedMask);
    w.U32(kGreenMask);
    w.U32(kBlueMask);
  } else if (layout.colours_used > 0) {
    // RGBQUAD: blue, green, red, 0. A shorter table is padded with black up to
    // the count the header declares; a longer one is cut there.
    const auto& table = image.ColourTable();
    for (std::uint32_t i = 0; i < layout.colours_used; ++i) {
      const Colour c = i < table.size() ? table[i] : 0;
      w.Byte(static_cast<std::uint32_t>(BlueOf(c)));
      w.Byte(static_cast<std::uint32_t>(GreenOf(c)));
      w.Byte(static_cast<std::uint32_t>(RedOf(c)));
      w.Byte(0);
    }
  }
}

// One row as stored in the file: the image's row with every bit past the last
// pixel zeroed, whatever the bitmap holds there.
void PutRow(const Bitmap& image, int y, std::size_t stride, std::uint8_t* out) {
  std::memcpy(out, image.Row(y), stride);
  const std::uint64_t used_bits =
      static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.BitsPerPixel());
  std::size_t used_bytes = static_cast<std::size_t>(used_bits / 8);
  if (const unsigned partial = static_cast<unsigned>(used_bits % 8); partial != 0) {
    out[used_bytes] &= static_cast<std::uint8_t>(0xFF00u >> partial);
    ++used_bytes;
  }
  std::memset(out + used_bytes, 0, stride - used_bytes);
}

std::string SystemReason(const std::string& what, int err) {
  return what + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int* err) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, SSIZE_MAX));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (n == 0) {
      *err = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new, empty file next to `target` that nobody else has opened. The mode 0666
// goes through the umask, as for any file the user creates.
int CreateTemporary(const std::string& target, std::string* temp_path) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(target);
  const std::string stem = folder + "/." + NameOf(target) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    *temp_path = stem + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(ticks % 1000000) + ".tmp";
    const int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

BmpWriteResult Fail(BmpError kind, const std::string& path, std::string reason) {
  return BmpWriteResult{kind, path, std::move(reason)};
}

}  // namespace

std::string BmpWriteResult::Message() const {
  switch (error) {
    case BmpError::kNone:
      return {};
    case BmpError::kCannotCreate:
      return "ファイル " + path + " を作成できません";
    case BmpError::kWriteFailed:
      return "保存出来ませんでした。";
  }
  return "保存出来ませんでした。";
}

bool EncodeBmp(const Bitmap& image, int dpi, std::vector<std::uint8_t>* bytes, std::string* error) {
  std::string reason;
  const auto layout = CheckImage(image, &reason);
  if (!layout) {
    if (error) *error = reason;
    return false;
  }
  try {
    bytes->assign(static_cast<std::size_t>(layout->file_size), 0);
  } catch (const std::bad_alloc&) {
    if (error) *error = "not enough memory for " + std::to_string(layout->file_size) + " bytes";
    return false;
  }
  PutHeaders(image, *layout, dpi, std::span(bytes->data(), layout->off_bits));
  std::uint8_t* out = bytes->data() + layout->off_bits;
  const auto stride = static_cast<std::size_t>(layout->stride);
  for (int y = image.Height() - 1; y >= 0; --y, out += stride) PutRow(image, y, stride, out);
  return true;
}

BmpWriteResult WriteBmpFile(const Bitmap& image, int dpi, const std::string& path) {
  std::string reason;
  const auto layout = CheckImage(image, &reason);
  if (!layout) return Fail(BmpError::kWriteFailed, path, reason);
  if (path.empty()) return Fail(BmpError::kCannotCreate, path, "no file name");

  // Replace what a link points at, not the link.
  std::string target = path;
  struct stat link_info {};
  if (::lstat(path.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    return Fail(BmpError::kCannotCreate, path, path + " is a folder");
  }
  // A read-only file is protected from being replaced, as it would be from being
  // overwritten in place.
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    return Fail(BmpError::kCannotCreate, path, SystemReason(path, errno));
  }

  std::string temp;
  const int fd = CreateTemporary(target, &temp);
  if (fd < 0) {
    return Fail(BmpError::kCannotCreate, path,
                SystemReason("cannot create a file in " + FolderOf(target), errno));
  }
  if (exists) (void)::fchmod(fd, existing.st_mode & 07777);

  const auto give_up = [&](BmpError kind, std::string why) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(kind, path, std::move(why));
  };

  const auto stride = static_cast<std::size_t>(layout->stride);
  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(std::max<std::size_t>(
        layout->off_bits,
        std::min<std::size_t>(kBmpWriteChunk, static_cast<std::size_t>(layout->file_size))));
  } catch (const std::bad_alloc&) {
    return give_up(BmpError::kWriteFailed, "not enough memory for the write buffer");
  }
  PutHeaders(image, *layout, dpi, std::span(buffer.data(), layout->off_bits));
  std::size_t filled = layout->off_bits;
  int err = 0;
  // Rows bottom-up; whole rows are gathered in the buffer, a row longer than the
  // buffer goes out in pieces of itself.
  std::vector<std::uint8_t> long_row;
  if (stride > buffer.size()) long_row.resize(stride);
  for (int y = image.Height() - 1; y >= 0; --y) {
    if (!long_row.empty()) {
      if (!WriteAll(fd, buffer.data(), filled, &err)) {
        return give_up(BmpError::kWriteFailed, SystemReason("cannot write " + path, err));
      }
      filled = 0;
      PutRow(image, y, stride, long_row.data());
      if (!WriteAll(fd, long_row.data(), stride, &err)) {
        return give_up(BmpError::kWriteFailed, SystemReason("cannot write " + path, err));
      }
      continue;
    }
    if (buffer.size() - filled < stride) {
      if (!WriteAll(fd, buffer.data(), filled, &err)) {
        return give_up(BmpError::kWriteFailed, SystemReason("cannot write " + path, err));
      }
      filled = 0;
    }
    PutRow(image, y, stride, buffer.data() + filled);
    filled += stride;
  }
  if (!WriteAll(fd, buffer.data(), filled, &err)) {
    return give_up(BmpError::kWriteFailed, SystemReason("cannot write " + path, err));
  }
  if (::fsync(fd) != 0) {
    return give_up(BmpError::kWriteFailed, SystemReason("cannot flush " + path, errno));
  }
  if (::close(fd) != 0) {
    const int close_err = errno;
    ::unlink(temp.c_str());
    return Fail(BmpError::kWriteFailed, path, SystemReason("cannot close " + path, close_err));
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int rename_err = errno;
    ::unlink(temp.c_str());
    return Fail(BmpError::kCannotCreate, path, SystemReason("cannot replace " + path, rename_err));
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
  return BmpWriteResult{BmpError::kNone, path, {}};
}

}  // namespace pelmora
