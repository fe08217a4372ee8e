// PNG: indexed (colour type 3) at 1, 4 and 8 bits with the very table the BMP
// carries, RGB at 16 and 24 bits, the resolution in pHYs. The container is a
// few chunks written here; the rows are filtered as each band arrives and their
// zlib stream is compressed on all cores (ParallelDeflate), one IDAT per piece.
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "output/bmp_writer.h"
#include "output/format_encoders.h"
#include "output/parallel_deflate.h"
#include "output/row_filter.h"

namespace pelmora {
namespace {

void PutBig32(std::uint32_t value, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

class PngEncoder final : public ImageEncoder {
 public:
  PngEncoder(ByteSink* sink, const CompressOptions& options) : m_stream(sink), m_options(options) {}

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    m_shape = shape;
    const bool indexed = shape.bits <= 8;
    const std::size_t row_bytes = indexed
                                      ? (static_cast<std::size_t>(shape.width) * shape.bits + 7) / 8
                                      : static_cast<std::size_t>(shape.width) * 3;
    m_filter = std::make_unique<RowFilterer>(row_bytes, indexed ? 1 : 3, kDrawingFilter);

    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    m_stream.Write(kSignature, sizeof(kSignature));
    std::uint8_t header[13] = {};
    PutBig32(static_cast<std::uint32_t>(shape.width), header);
    PutBig32(static_cast<std::uint32_t>(shape.height), header + 4);
    header[8] = static_cast<std::uint8_t>(indexed ? shape.bits : 8);
    header[9] = indexed ? 3 : 2;  // palette or RGB; deflate, filters of method 0, no interlace
    Chunk("IHDR", header, sizeof(header));
    if (indexed) {
      std::vector<std::uint8_t> palette;
      for (const Colour c : FileColourTable(shape)) {
        palette.push_back(static_cast<std::uint8_t>(RedOf(c)));
        palette.push_back(static_cast<std::uint8_t>(GreenOf(c)));
        palette.push_back(static_cast<std::uint8_t>(BlueOf(c)));
      }
      Chunk("PLTE", palette.data(), palette.size());
    }
    std::uint8_t physical[9] = {};
    const auto ppm = static_cast<std::uint32_t>(std::max(0, PixelsPerMetre(shape.dpi)));
    PutBig32(ppm, physical);
    PutBig32(ppm, physical + 4);
    physical[8] = 1;  // metres
    Chunk("pHYs", physical, sizeof(physical));

    m_pool = std::make_unique<WorkPool>(m_options.threads);
    m_deflate = std::make_unique<ParallelDeflate>(
        DeflateFor(shape.bits, m_options.effort), m_pool.get(),
        [this](const std::uint8_t* data, std::size_t size) { return Chunk("IDAT", data, size); });
    return Written(error);
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    for (int y = 0; y < rows.Height(); ++y) {
      if (m_shape.bits <= 8) {
        CleanIndexedRow(rows.Row(y), m_shape.width, m_shape.bits, m_filter->Row());
      } else {
        RowToRgb(rows.Row(y), m_shape.width, m_shape.bits, m_filter->Row());
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
    Chunk("IEND", nullptr, 0);
    m_stream.Flush();
    return Written(error);
  }

 private:
  bool Chunk(const char* type, const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[8];
    PutBig32(static_cast<std::uint32_t>(size), head);
    std::copy_n(type, 4, head + 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size > 0) crc = crc32_z(crc, data, size);
    std::uint8_t tail[4];
    PutBig32(static_cast<std::uint32_t>(crc), tail);
    return m_stream.Write(head, 8) && (size == 0 || m_stream.Write(data, size)) &&
           m_stream.Write(tail, 4);
  }

  bool Written(std::string* error) {
    if (m_stream.Error().empty()) return true;
    *error = m_stream.Error();
    return false;
  }
  // The stream's own reason when writing failed; *error as it is otherwise.
  bool Failed(std::string* error) {
    if (!m_stream.Error().empty()) *error = m_stream.Error();
    return false;
  }

  StreamWriter m_stream;
  CompressOptions m_options;
  ImageShape m_shape;
  std::unique_ptr<RowFilterer> m_filter;
  std::unique_ptr<WorkPool> m_pool;
  std::unique_ptr<ParallelDeflate> m_deflate;
  int m_next_row = 0;
};

}  // namespace

std::unique_ptr<ImageEncoder> CreatePngEncoder(ByteSink* sink, const CompressOptions& options) {
  return std::make_unique<PngEncoder>(sink, options);
}

}  // namespace pelmora
