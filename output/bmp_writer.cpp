#include "output/bmp_writer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <span>

#include "output/file_encoder.h"
#include "output/format_encoders.h"

namespace pelmora {
namespace {

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

// File header, info header and the masks or colour table: layout.off_bits bytes.
void PutHeaders(const ImageShape& shape, const BmpLayout& layout, std::span<std::uint8_t> out) {
  HeaderWriter w(out);
  const std::int32_t pels_per_metre = PixelsPerMetre(shape.dpi);
  // BITMAPFILEHEADER
  w.Byte('B');  // bfType
  w.Byte('M');
  w.U32(static_cast<std::uint32_t>(layout.file_size));  // bfSize
  w.U16(0);                                             // bfReserved1
  w.U16(0);                                             // bfReserved2
  w.U32(layout.off_bits);                               // bfOffBits
  // BITMAPINFOHEADER
  w.U32(kInfoHeaderSize);                                // biSize
  w.I32(shape.width);                                    // biWidth
  w.I32(shape.height);                                   // biHeight: positive, bottom-up
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
    // RGBQUAD: blue, green, red, 0, for exactly the entries the header declares.
    for (const Colour c : FileColourTable(shape)) {
      w.Byte(static_cast<std::uint32_t>(BlueOf(c)));
      w.Byte(static_cast<std::uint32_t>(GreenOf(c)));
      w.Byte(static_cast<std::uint32_t>(RedOf(c)));
      w.Byte(0);
    }
  }
}

// One row as stored in the file: the image's row with every bit past the last
// pixel zeroed, whatever the bitmap holds there.
void PutRow(const std::uint8_t* row, int width, int bits, std::size_t stride, std::uint8_t* out) {
  std::memcpy(out, row, stride);
  const std::uint64_t used_bits =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits);
  std::size_t used_bytes = static_cast<std::size_t>(used_bits / 8);
  if (const unsigned partial = static_cast<unsigned>(used_bits % 8); partial != 0) {
    out[used_bytes] &= static_cast<std::uint8_t>(0xFF00u >> partial);
    ++used_bytes;
  }
  std::memset(out + used_bytes, 0, stride - used_bytes);
}

// The file is sized at Begin; each band's rows go to their places, the band's
// bottom row first, so that a band is one contiguous run of the file written
// front to back in pieces of at most kBmpWriteChunk.
class BmpEncoder final : public ImageEncoder {
 public:
  explicit BmpEncoder(ByteSink* sink) : m_sink(sink) {}

  bool Begin(const ImageShape& shape, std::string* error) override {
    if (!CheckShape(shape, error)) return false;
    const auto layout = BmpLayoutFor(shape.width, shape.height, shape.bits);
    if (!layout->fits) {
      *error = "the image is too large for a bitmap file (" + std::to_string(layout->file_size) +
               " bytes)";
      return false;
    }
    m_shape = shape;
    m_layout = *layout;
    const auto stride = static_cast<std::size_t>(m_layout.stride);
    try {
      m_buffer.resize(std::max<std::size_t>(
          m_layout.off_bits,
          std::min<std::size_t>(kBmpWriteChunk, static_cast<std::size_t>(m_layout.file_size))));
      if (stride > m_buffer.size()) m_long_row.resize(stride);
    } catch (const std::bad_alloc&) {
      *error = "not enough memory for the write buffer";
      return false;
    }
    PutHeaders(m_shape, m_layout, std::span(m_buffer.data(), m_layout.off_bits));
    if (!m_sink->Resize(m_layout.file_size, error)) return false;
    return m_sink->WriteAt(0, m_buffer.data(), m_layout.off_bits, error);
  }

  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    if (!CheckBand(m_shape, m_next_row, first_row, rows, error)) return false;
    const auto stride = static_cast<std::size_t>(m_layout.stride);
    if (rows.Stride() != stride) {
      *error = "the image's rows are not laid out as bitmap rows";
      return false;
    }
    const int last_row = first_row + rows.Height() - 1;
    std::uint64_t offset =
        m_layout.off_bits + static_cast<std::uint64_t>(m_shape.height - 1 - last_row) * stride;
    std::size_t filled = 0;
    const auto flush = [&] {
      if (filled == 0) return true;
      if (!m_sink->WriteAt(offset, m_buffer.data(), filled, error)) return false;
      offset += filled;
      filled = 0;
      return true;
    };
    for (int y = rows.Height() - 1; y >= 0; --y) {
      if (!m_long_row.empty()) {
        PutRow(rows.Row(y), m_shape.width, m_shape.bits, stride, m_long_row.data());
        if (!m_sink->WriteAt(offset, m_long_row.data(), stride, error)) return false;
        offset += stride;
        continue;
      }
      if (m_buffer.size() - filled < stride && !flush()) return false;
      PutRow(rows.Row(y), m_shape.width, m_shape.bits, stride, m_buffer.data() + filled);
      filled += stride;
    }
    if (!flush()) return false;
    m_next_row = last_row + 1;
    return true;
  }

  bool Finish(std::string* error) override {
    if (m_next_row != m_shape.height) {
      *error = "only " + std::to_string(m_next_row) + " of " + std::to_string(m_shape.height) +
               " rows were written";
      return false;
    }
    return true;
  }

 private:
  ByteSink* m_sink;
  ImageShape m_shape;
  BmpLayout m_layout;
  std::vector<std::uint8_t> m_buffer;
  std::vector<std::uint8_t> m_long_row;
  int m_next_row = 0;
};

ImageShape ShapeOf(const Bitmap& image, int dpi) {
  return ImageShape{image.Width(), image.Height(), image.BitsPerPixel(), image.ColourTable(), dpi};
}

}  // namespace

std::unique_ptr<ImageEncoder> CreateBmpEncoder(ByteSink* sink) {
  return std::make_unique<BmpEncoder>(sink);
}

bool EncodeBmp(const Bitmap& image, int dpi, std::vector<std::uint8_t>* bytes, std::string* error) {
  std::string reason;
  ByteSink sink(bytes);
  BmpEncoder encoder(&sink);
  const bool ok = encoder.Begin(ShapeOf(image, dpi), &reason) &&
                  encoder.WriteRows(0, image, &reason) && encoder.Finish(&reason);
  if (!ok && error) *error = reason;
  return ok;
}

BmpWriteResult WriteBmpFile(const Bitmap& image, int dpi, const std::string& path) {
  FileEncoder encoder(ImageFormat::kBmp, path, OutputOptions{.replace = true});
  std::string reason;
  (void)(encoder.Begin(ShapeOf(image, dpi), &reason) && encoder.WriteRows(0, image, &reason) &&
         encoder.Finish(&reason));
  return encoder.Status();
}

}  // namespace pelmora
