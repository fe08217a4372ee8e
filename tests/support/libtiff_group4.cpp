#include "tests/support/libtiff_group4.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

namespace pelmora {
namespace {

// A TIFF of its own in memory: what libtiff appends as the strip's data is the
// strip.
class Capture {
 public:
  std::vector<std::uint8_t> Encode(std::uint8_t* data, int width, int rows) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tiff =
        TIFFClientOpenExt("strip", "w", this, Read, Write, Seek, Close, Size, Map, Unmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff) return {};
    const auto row_bytes = static_cast<tmsize_t>((width + 7) / 8);
    const bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) &&
                    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(rows)) &&
                    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rows)) &&
                    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1) &&
                    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
                    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
                    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    m_capturing = true;
    const bool written = ok && TIFFWriteEncodedStrip(tiff, 0, data, row_bytes * rows) >= 0;
    m_capturing = false;
    // What libtiff wrote may go on past the strip (a directory): the strip is
    // as long as libtiff counts it.
    const std::uint64_t length = written ? TIFFGetStrileByteCount(tiff, 0) : 0;
    TIFFCleanup(tiff);
    if (length == 0 || length > m_captured.size()) return {};
    m_captured.resize(static_cast<std::size_t>(length));
    return std::move(m_captured);
  }

 private:
  static Capture* Self(thandle_t handle) { return static_cast<Capture*>(handle); }
  static int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }
  static tmsize_t Read(thandle_t, void*, tmsize_t) { return 0; }
  static tmsize_t Write(thandle_t handle, void* data, tmsize_t size) {
    Capture* self = Self(handle);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (self->m_capturing) self->m_captured.insert(self->m_captured.end(), bytes, bytes + size);
    self->m_position += static_cast<std::uint64_t>(size);
    self->m_end = std::max(self->m_end, self->m_position);
    return size;
  }
  static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    Capture* self = Self(handle);
    if (whence == SEEK_SET) self->m_position = offset;
    if (whence == SEEK_CUR) self->m_position += offset;
    if (whence == SEEK_END) self->m_position = self->m_end + offset;
    return self->m_position;
  }
  static int Close(thandle_t) { return 0; }
  static toff_t Size(thandle_t handle) { return Self(handle)->m_end; }
  static int Map(thandle_t, void**, toff_t*) { return 0; }
  static void Unmap(thandle_t, void*, toff_t) {}

  bool m_capturing = false;
  std::vector<std::uint8_t> m_captured;
  std::uint64_t m_position = 0;
  std::uint64_t m_end = 0;
};

}  // namespace

std::vector<std::uint8_t> LibtiffGroup4Strip(std::uint8_t* data, int width, int rows) {
  return Capture().Encode(data, width, rows);
}

}  // namespace pelmora
