// TIFF through libtiff: bilevel with CCITT Group 4 when the two colours are
// black and white, palette images with Deflate otherwise at 1, 4 and 8 bits,
// RGB with Deflate at 16 and 24 bits; the resolution in dots per inch. Strips
// are independent (Group 4 restarts from a white line at every strip), so each
// is compressed on the pool as soon as its rows are in, by our own Group 4 or
// RunDeflate, and libtiff writes the finished strips in order and the directory.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <new>
#include <vector>

#include "output/format_encoders.h"
#include "output/group4.h"
#include "output/parallel_deflate.h"

namespace pelmora {
namespace {

// Uncompressed bytes per strip, at most: small enough to stream, large enough
// that Group 4's restart at every strip costs nothing visible.
constexpr std::size_t kStripBytes = std::size_t{1} << 20;

// Rows of one strip, then its compressed bytes.
struct Strip {
  std::uint32_t index = 0;
  int rows = 0;
  std::vector<std::uint8_t> data;
  bool failed = false;
};

class TiffEncoder final : public ImageEncoder {
 public:
  TiffEncoder(ByteSink* sink, const CompressOptions& options) : m_sink(sink), m_options(options) {}
  ~TiffEncoder() override {
    for (auto& pending : m_pending) pending.first.wait();
    if (m_tiff) TIFFCleanup(m_tiff);
  }

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    m_shape = shape;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
      *error = "not enough memory for the TIFF encoder";
      return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, this);
    // Compressed strips are never much larger than the raw rows; classic TIFF's
    // 32-bit offsets end at 4 GiB, so an image whose rows come near that is BigTIFF.
    const std::uint64_t raw_bytes =
        (std::uint64_t(shape.width) * (shape.bits > 8 ? 24 : shape.bits) + 7) / 8 *
        std::uint64_t(shape.height);
    const char* mode = raw_bytes > (std::uint64_t{7} << 29) ? "w8" : "w";
    m_tiff = TIFFClientOpenExt("output", mode, this, OnRead, OnWrite, OnSeek, OnClose, OnSize,
                               OnMap, OnUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!m_tiff) return Failed(error, "cannot start the TIFF file");

    const std::vector<Colour> table = FileColourTable(shape);
    const Colour black = Rgb(0, 0, 0), white = Rgb(255, 255, 255);
    const bool bilevel = shape.bits == 1 && ((table[0] == black && table[1] == white) ||
                                             (table[0] == white && table[1] == black));
    // Group 4 codes runs of 0 bits as white: stored 0 must mean white.
    m_invert = bilevel && table[0] == black;
    const bool rgb = shape.bits > 8;
    m_row.assign(rgb ? static_cast<std::size_t>(shape.width) * 3
                     : (static_cast<std::size_t>(shape.width) * shape.bits + 7) / 8,
                 0);
    // At the best effort a black-and-white image is one strip, which Group 4
    // codes from a white line once rather than at every strip: libtiff encodes
    // it row by row as the rows arrive, on this thread.
    m_one_strip = bilevel && m_options.effort == Compression::kBest;
    const auto rows_per_strip =
        m_one_strip
            ? static_cast<std::uint32_t>(shape.height)
            : static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / m_row.size()));
    m_rows_per_strip = static_cast<int>(
        std::min<std::uint32_t>(rows_per_strip, static_cast<std::uint32_t>(shape.height)));
    m_bilevel = bilevel;
    m_predict = rgb;

    bool ok = TIFFSetField(m_tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(shape.width)) &&
              TIFFSetField(m_tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(shape.height)) &&
              TIFFSetField(m_tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(m_tiff, TIFFTAG_ROWSPERSTRIP, rows_per_strip) &&
              TIFFSetField(m_tiff, TIFFTAG_XRESOLUTION, static_cast<float>(shape.dpi)) &&
              TIFFSetField(m_tiff, TIFFTAG_YRESOLUTION, static_cast<float>(shape.dpi)) &&
              TIFFSetField(m_tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (bilevel) {
      ok = ok && TIFFSetField(m_tiff, TIFFTAG_BITSPERSAMPLE, 1) &&
           TIFFSetField(m_tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
           TIFFSetField(m_tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
           TIFFSetField(m_tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else if (!rgb) {
      m_colour_map.assign(std::size_t{3} << shape.bits, 0);
      const std::size_t n = table.size();
      for (std::size_t i = 0; i < n; ++i) {
        // 16 bits per channel: 0xAB becomes 0xABAB.
        m_colour_map[i] = static_cast<std::uint16_t>(RedOf(table[i]) * 257);
        m_colour_map[n + i] = static_cast<std::uint16_t>(GreenOf(table[i]) * 257);
        m_colour_map[2 * n + i] = static_cast<std::uint16_t>(BlueOf(table[i]) * 257);
      }
      ok = ok && TIFFSetField(m_tiff, TIFFTAG_BITSPERSAMPLE, shape.bits) &&
           TIFFSetField(m_tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
           TIFFSetField(m_tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE) &&
           TIFFSetField(m_tiff, TIFFTAG_COLORMAP, m_colour_map.data(), m_colour_map.data() + n,
                        m_colour_map.data() + 2 * n) &&
           TIFFSetField(m_tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    } else {
      ok = ok && TIFFSetField(m_tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
           TIFFSetField(m_tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
           TIFFSetField(m_tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(m_tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
           TIFFSetField(m_tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (!ok) return Failed(error, "cannot describe the TIFF image");
    m_pool = std::make_unique<WorkPool>(m_options.threads);
    return true;
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    try {
      for (int y = 0; y < rows.Height(); ++y) {
        if (m_shape.bits > 8) {
          RowToRgb(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
        } else {
          CleanIndexedRow(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
          if (m_invert) {
            for (std::uint8_t& byte : m_row) byte = static_cast<std::uint8_t>(~byte);
          }
        }
        if (m_one_strip) {
          if (TIFFWriteScanline(m_tiff, m_row.data(), static_cast<std::uint32_t>(first_row + y),
                                0) < 0) {
            return Failed(error, "cannot write a TIFF strip");
          }
          continue;
        }
        if (!m_filling) {
          m_filling = std::make_shared<Strip>();
          m_filling->index = m_next_strip++;
          m_filling->data.reserve(m_row.size() * static_cast<std::size_t>(m_rows_per_strip));
        }
        m_filling->data.insert(m_filling->data.end(), m_row.begin(), m_row.end());
        const int row = first_row + y + 1;
        if (++m_filling->rows == m_rows_per_strip || row == m_shape.height) {
          if (!SubmitStrip(error)) return false;
        }
      }
    } catch (const std::bad_alloc&) {
      *error = "not enough memory for a TIFF strip";
      return false;
    }
    m_next_row = first_row + rows.Height();
    return true;
  }

  bool Finish(std::string* error) override {
    if (m_next_row != m_shape.height) {
      *error = "only " + std::to_string(m_next_row) + " of " + std::to_string(m_shape.height) +
               " rows were written";
      return false;
    }
    while (!m_pending.empty()) {
      if (!WriteOldest(error)) return false;
    }
    const bool flushed = TIFFFlush(m_tiff) == 1;
    TIFFClose(m_tiff);
    m_tiff = nullptr;
    if (!flushed || !m_write_error.empty() || !m_message.empty()) {
      return Failed(error, "cannot complete the TIFF file");
    }
    return true;
  }

 private:
  bool SubmitStrip(std::string* error) {
    std::shared_ptr<Strip> strip = std::move(m_filling);
    const int width = m_shape.width;
    const std::size_t row_bytes = m_row.size();
    const bool bilevel = m_bilevel, predict = m_predict;
    const DeflateSetting setting = DeflateFor(m_shape.bits, m_options.effort);
    // Rows above are sought wherever more than the byte before is.
    const std::size_t above = m_options.effort == Compression::kFast ? 0 : row_bytes;
    m_pending.emplace_back(
        m_pool->Submit([strip, width, row_bytes, bilevel, predict, setting, above] {
          if (bilevel) {
            strip->data = EncodeGroup4(strip->data.data(), row_bytes, width, strip->rows);
            return;
          }
          if (predict) {
            // Horizontal differencing, 8-bit samples of three: each byte less the
            // byte of the pixel to its left.
            for (int y = 0; y < strip->rows; ++y) {
              std::uint8_t* row = strip->data.data() + static_cast<std::size_t>(y) * row_bytes;
              for (std::size_t i = row_bytes; i-- > 3;)
                row[i] = static_cast<std::uint8_t>(row[i] - row[i - 3]);
            }
          }
          strip->data = DeflateWhole(strip->data.data(), strip->data.size(), setting, above);
        }),
        strip);
    while (m_pending.size() > m_pool->InFlight()) {
      if (!WriteOldest(error)) return false;
    }
    return true;
  }

  bool WriteOldest(std::string* error) {
    auto [done, strip] = std::move(m_pending.front());
    m_pending.pop_front();
    try {
      done.get();
    } catch (const std::exception&) {  // memory, or a job the pool dropped
      strip->failed = true;
    }
    if (strip->failed) return Failed(error, "cannot compress a TIFF strip");
    if (TIFFWriteRawStrip(m_tiff, strip->index, strip->data.data(),
                          static_cast<tmsize_t>(strip->data.size())) < 0) {
      return Failed(error, "cannot write a TIFF strip");
    }
    return true;
  }

  bool Failed(std::string* error, const char* what) {
    if (!m_write_error.empty()) {
      *error = m_write_error;
    } else {
      *error = m_message.empty() ? std::string(what) : "TIFF: " + m_message;
    }
    return false;
  }

  static TiffEncoder* Self(thandle_t handle) { return static_cast<TiffEncoder*>(handle); }
  static int OnError(TIFF*, void* self, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    auto* encoder = static_cast<TiffEncoder*>(self);
    if (encoder->m_message.empty())
      encoder->m_message = std::string(module ? module : "") + ": " + text;
    return 1;
  }
  static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }
  static tmsize_t OnRead(thandle_t handle, void* data, tmsize_t size) {
    TiffEncoder* self = Self(handle);
    const std::int64_t n =
        self->m_sink->ReadAt(self->m_position, data, static_cast<std::size_t>(size));
    if (n > 0) self->m_position += static_cast<std::uint64_t>(n);
    return static_cast<tmsize_t>(n);
  }
  static tmsize_t OnWrite(thandle_t handle, void* data, tmsize_t size) {
    TiffEncoder* self = Self(handle);
    if (!self->m_write_error.empty()) return 0;
    if (!self->m_sink->WriteAt(self->m_position, data, static_cast<std::size_t>(size),
                               &self->m_write_error)) {
      return 0;
    }
    self->m_position += static_cast<std::uint64_t>(size);
    self->m_end = std::max(self->m_end, self->m_position);
    return size;
  }
  static toff_t OnSeek(thandle_t handle, toff_t offset, int whence) {
    TiffEncoder* self = Self(handle);
    switch (whence) {
      case SEEK_SET:
        self->m_position = offset;
        break;
      case SEEK_CUR:
        self->m_position += offset;
        break;
      case SEEK_END:
        self->m_position = self->m_end + offset;
        break;
    }
    return self->m_position;
  }
  static int OnClose(thandle_t) { return 0; }
  static toff_t OnSize(thandle_t handle) { return Self(handle)->m_end; }
  static int OnMap(thandle_t, void**, toff_t*) { return 0; }
  static void OnUnmap(thandle_t, void*, toff_t) {}

  ByteSink* m_sink;
  CompressOptions m_options;
  ImageShape m_shape;
  TIFF* m_tiff = nullptr;
  bool m_invert = false;
  bool m_bilevel = false;
  bool m_predict = false;
  int m_rows_per_strip = 1;
  bool m_one_strip = false;
  std::uint32_t m_next_strip = 0;
  std::unique_ptr<WorkPool> m_pool;
  std::shared_ptr<Strip> m_filling;
  std::deque<std::pair<std::future<void>, std::shared_ptr<Strip>>> m_pending;
  std::vector<std::uint8_t> m_row;
  std::vector<std::uint16_t> m_colour_map;
  std::uint64_t m_position = 0;
  std::uint64_t m_end = 0;
  int m_next_row = 0;
  std::string m_write_error;
  std::string m_message;
};

}  // namespace

std::unique_ptr<ImageEncoder> CreateTiffEncoder(ByteSink* sink, const CompressOptions& options) {
  return std::make_unique<TiffEncoder>(sink, options);
}

}  // namespace pelmora
