// PDF: one page the size of the image at its resolution, the image filling it,
// Flate-compressed at the image's own depth (1, 4 or 8 bits stay indexed; 16
// and 24 bits become 8-bit RGB). Written here rather than through a drawing
// library, which would hold the whole image and widen indexed images to RGB;
// the image stream is compressed band by band and its length written after it.
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/format_encoders.h"

namespace pelmora {
namespace {

constexpr std::size_t kDeflateOut = std::size_t{256} << 10;

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.4f", value);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

class PdfEncoder final : public ImageEncoder {
 public:
  explicit PdfEncoder(ByteSink* sink) : m_out(sink) {}
  ~PdfEncoder() override {
    if (m_deflating) deflateEnd(&m_zip);
  }

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    m_shape = shape;
    const bool rgb = shape.bits > 8;
    m_row.assign(rgb ? static_cast<std::size_t>(shape.width) * 3
                     : (static_cast<std::size_t>(shape.width) * shape.bits + 7) / 8,
                 0);
    m_zip_out.resize(kDeflateOut);
    if (deflateInit(&m_zip, Z_DEFAULT_COMPRESSION) != Z_OK) {
      *error = "cannot start the PDF image's compression";
      return false;
    }
    m_deflating = true;

    // Points: 72 per inch, the page as large as the image at its resolution.
    const std::string page_width = Number(shape.width * 72.0 / shape.dpi);
    const std::string page_height = Number(shape.height * 72.0 / shape.dpi);
    const std::string content = "q " + page_width + " 0 0 " + page_height + " 0 0 cm /Im0 Do Q\n";
    Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + page_width + " " + page_height +
                  "] /Resources << /XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>");
    Object(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                  "endstream");
    StartObject(5);
    Put("<< /Type /XObject /Subtype /Image /Width " + std::to_string(shape.width) + " /Height " +
        std::to_string(shape.height) + " /ColorSpace " + ColourSpace() + " /BitsPerComponent " +
        std::to_string(rgb ? 8 : shape.bits) +
        " /Interpolate false /Filter /FlateDecode /Length 6 0 R >>\nstream\n");
    m_stream_start = m_out.Position();
    return Written(error);
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    for (int y = 0; y < rows.Height(); ++y) {
      if (m_shape.bits > 8) {
        RowToRgb(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
      } else {
        CleanIndexedRow(rows.Row(y), m_shape.width, m_shape.bits, m_row.data());
      }
      if (!Deflate(m_row.data(), m_row.size(), Z_NO_FLUSH, error)) return false;
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
    if (!Deflate(nullptr, 0, Z_FINISH, error)) return false;
    const std::uint64_t length = m_out.Position() - m_stream_start;
    Put("\nendstream\nendobj\n");
    Object(6, std::to_string(length));
    const std::uint64_t xref = m_out.Position();
    Put("xref\n0 7\n0000000000 65535 f \n");
    for (const std::uint64_t offset : m_offsets) {
      char entry[32];
      std::snprintf(entry, sizeof(entry), "%010llu 00000 n \n",
                    static_cast<unsigned long long>(offset));
      Put(entry);
    }
    Put("trailer\n<< /Size 7 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
    m_out.Flush();
    return Written(error);
  }

 private:
  // Exactly black and white read as grey; any other table is indexed.
  std::string ColourSpace() const {
    if (m_shape.bits > 8) return "/DeviceRGB";
    const std::vector<Colour> table = FileColourTable(m_shape);
    const Colour black = Rgb(0, 0, 0), white = Rgb(255, 255, 255);
    if (m_shape.bits == 1 && table[0] == black && table[1] == white) return "/DeviceGray";
    std::string hex = "[/Indexed /DeviceRGB " + std::to_string(table.size() - 1) + " <";
    for (const Colour c : table) {
      char rgb[8];
      std::snprintf(rgb, sizeof(rgb), "%02X%02X%02X", RedOf(c), GreenOf(c), BlueOf(c));
      hex += rgb;
    }
    return hex + ">]";
  }

  void Put(const std::string& text) { m_out.Write(text.data(), text.size()); }
  void StartObject(int number) {
    m_offsets.resize(static_cast<std::size_t>(number));
    m_offsets[static_cast<std::size_t>(number - 1)] = m_out.Position();
    Put(std::to_string(number) + " 0 obj\n");
  }
  void Object(int number, const std::string& body) {
    StartObject(number);
    Put(body + "\nendobj\n");
  }
  bool Written(std::string* error) {
    if (m_out.Error().empty()) return true;
    *error = m_out.Error();
    return false;
  }

  bool Deflate(const std::uint8_t* data, std::size_t size, int flush, std::string* error) {
    m_zip.next_in = const_cast<Bytef*>(data);
    m_zip.avail_in = static_cast<uInt>(size);
    for (;;) {
      m_zip.next_out = m_zip_out.data();
      m_zip.avail_out = static_cast<uInt>(m_zip_out.size());
      const int result = deflate(&m_zip, flush);
      if (result == Z_STREAM_ERROR) {
        *error = "the PDF image's compression failed";
        return false;
      }
      const std::size_t produced = m_zip_out.size() - m_zip.avail_out;
      if (produced > 0 && !m_out.Write(m_zip_out.data(), produced)) return Written(error);
      if (flush == Z_FINISH ? result == Z_STREAM_END : m_zip.avail_out != 0) return true;
    }
  }

  StreamWriter m_out;
  ImageShape m_shape;
  z_stream m_zip{};
  bool m_deflating = false;
  std::vector<std::uint8_t> m_zip_out;
  std::vector<std::uint8_t> m_row;
  std::vector<std::uint64_t> m_offsets;
  std::uint64_t m_stream_start = 0;
  int m_next_row = 0;
};

}  // namespace

std::unique_ptr<ImageEncoder> CreatePdfEncoder(ByteSink* sink) {
  return std::make_unique<PdfEncoder>(sink);
}

}  // namespace pelmora
