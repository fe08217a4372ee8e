// PDF: one page the size of the image at its resolution, the image filling it,
// Flate-compressed at the image's own depth (1, 4 or 8 bits stay indexed; 16
// and 24 bits become 8-bit RGB). Written here rather than through a drawing
// library, which would hold the whole image and widen indexed images to RGB;
// the image stream is compressed band by band on all cores (ParallelDeflate),
// its rows PNG-filtered where that pays (/Predictor 15), and its length
// written after it.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/format_encoders.h"
#include "output/parallel_deflate.h"
#include "output/row_filter.h"

namespace pelmora {
namespace {

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
  PdfEncoder(ByteSink* sink, const CompressOptions& options) : m_out(sink), m_options(options) {}

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    m_shape = shape;
    const bool rgb = shape.bits > 8;
    const std::size_t row_bytes =
        rgb ? static_cast<std::size_t>(shape.width) * 3
            : (static_cast<std::size_t>(shape.width) * shape.bits + 7) / 8;
    m_filter = std::make_unique<RowFilterer>(row_bytes, rgb ? 3 : 1, kDrawingFilter);

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
        std::to_string(rgb ? 8 : shape.bits) + " /Interpolate false /Filter /FlateDecode" +
        DecodeParms() + " /Length 6 0 R >>\nstream\n");
    m_stream_start = m_out.Position();
    m_pool = std::make_unique<WorkPool>(m_options.threads);
    m_deflate = std::make_unique<ParallelDeflate>(
        DeflateFor(shape.bits, m_options.effort), m_pool.get(),
        [this](const std::uint8_t* data, std::size_t size) { return m_out.Write(data, size); });
    return Written(error);
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    for (int y = 0; y < rows.Height(); ++y) {
      if (m_shape.bits > 8) {
        RowToRgb(rows.Row(y), m_shape.width, m_shape.bits, m_filter->Row());
      } else {
        CleanIndexedRow(rows.Row(y), m_shape.width, m_shape.bits, m_filter->Row());
      }
      const std::vector<std::uint8_t>& filtered = m_filter->Filter();
      if (!m_deflate->Write(filtered.data(), filtered.size(), error)) return Failed(error);
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
    if (!m_deflate->Finish(error)) return Failed(error);
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
  bool Failed(std::string* error) {
    if (!m_out.Error().empty()) *error = m_out.Error();
    return false;
  }

  // The rows carry PNG filters (a filter byte each, any of the five).
  std::string DecodeParms() const {
    const bool rgb = m_shape.bits > 8;
    return " /DecodeParms << /Predictor 15 /Colors " + std::string(rgb ? "3" : "1") +
           " /BitsPerComponent " + std::to_string(rgb ? 8 : m_shape.bits) + " /Columns " +
           std::to_string(m_shape.width) + " >>";
  }

  StreamWriter m_out;
  CompressOptions m_options;
  ImageShape m_shape;
  std::unique_ptr<RowFilterer> m_filter;
  std::unique_ptr<WorkPool> m_pool;
  std::unique_ptr<ParallelDeflate> m_deflate;
  std::vector<std::uint64_t> m_offsets;
  std::uint64_t m_stream_start = 0;
  int m_next_row = 0;
};

}  // namespace

std::unique_ptr<ImageEncoder> CreatePdfEncoder(ByteSink* sink, const CompressOptions& options) {
  return std::make_unique<PdfEncoder>(sink, options);
}

}  // namespace pelmora
