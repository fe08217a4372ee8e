// PNG through libpng: indexed (colour type 3) at 1, 4 and 8 bits with the very
// table the BMP carries, RGB at 16 and 24 bits, the resolution in pHYs. Rows go
// to libpng as each band arrives.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "output/bmp_writer.h"
#include "output/format_encoders.h"

namespace pelmora {
namespace {

class PngEncoder final : public ImageEncoder {
 public:
  explicit PngEncoder(ByteSink* sink) : m_stream(sink) {}
  ~PngEncoder() override {
    if (m_png) png_destroy_write_struct(&m_png, &m_info);
  }

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    m_shape = shape;
    m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (m_png) m_info = png_create_info_struct(m_png);
    if (!m_png || !m_info) {
      *error = "not enough memory for the PNG encoder";
      return false;
    }
    const bool indexed = shape.bits <= 8;
    m_row.assign(indexed ? (static_cast<std::size_t>(shape.width) * shape.bits + 7) / 8
                         : static_cast<std::size_t>(shape.width) * 3,
                 0);
    std::vector<png_color> palette;
    for (const Colour c : FileColourTable(shape)) {
      palette.push_back(png_color{static_cast<png_byte>(RedOf(c)),
                                  static_cast<png_byte>(GreenOf(c)),
                                  static_cast<png_byte>(BlueOf(c))});
    }
    const auto ppm = static_cast<png_uint_32>(std::max(0, PixelsPerMetre(shape.dpi)));
    return Guarded(error, [&] {
      png_set_write_fn(m_png, this, OnWrite, OnFlush);
      png_set_IHDR(m_png, m_info, static_cast<png_uint_32>(shape.width),
                   static_cast<png_uint_32>(shape.height), indexed ? shape.bits : 8,
                   indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                   PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      if (indexed) {
        png_set_PLTE(m_png, m_info, palette.data(), static_cast<int>(palette.size()));
      } else {
        // Sub and Up catch the runs of a drawing; trying all five filters on
        // every row costs much and gains little here.
        png_set_filter(m_png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB | PNG_FILTER_UP);
      }
      png_set_pHYs(m_png, m_info, ppm, ppm, PNG_RESOLUTION_METER);
      png_write_info(m_png, m_info);
    });
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    for (int y = 0; y < rows.Height(); ++y) {
      if (m_shape.bits <= 8) {
        CleanIndexedRow(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
      } else {
        RowToRgb(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
      }
      if (!Guarded(error, [&] { png_write_row(m_png, m_row.data()); })) return false;
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
    if (!Guarded(error, [&] { png_write_end(m_png, nullptr); })) return false;
    if (!m_stream.Flush()) {
      *error = m_stream.Error();
      return false;
    }
    return true;
  }

 private:
  // Runs one libpng call; libpng reports errors by a long jump back here, past
  // frames that hold nothing to destroy.
  template <typename Call>
  bool Guarded(std::string* error, const Call& call) {
    if (setjmp(png_jmpbuf(m_png))) {
      *error = !m_stream.Error().empty() ? m_stream.Error() : std::string("PNG: ") + m_message;
      return false;
    }
    call();
    return true;
  }

  static void OnError(png_structp png, png_const_charp message) {
    auto* self = static_cast<PngEncoder*>(png_get_error_ptr(png));
    std::strncpy(self->m_message, message, sizeof(self->m_message) - 1);
    png_longjmp(png, 1);
  }
  static void OnWarning(png_structp, png_const_charp) {}
  static void OnWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* self = static_cast<PngEncoder*>(png_get_io_ptr(png));
    if (!self->m_stream.Write(data, size)) png_error(png, "write failed");
  }
  static void OnFlush(png_structp) {}

  StreamWriter m_stream;
  ImageShape m_shape;
  png_structp m_png = nullptr;
  png_infop m_info = nullptr;
  std::vector<std::uint8_t> m_row;
  int m_next_row = 0;
  char m_message[256] = {};
};

}  // namespace

std::unique_ptr<ImageEncoder> CreatePngEncoder(ByteSink* sink) {
  return std::make_unique<PngEncoder>(sink);
}

}  // namespace pelmora
