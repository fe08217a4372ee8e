// Off-screen device-independent bitmap in its final pixel format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pelmora {

// 0x00BBGGRR: red in the low byte, as everywhere in Pelmora. Only the BMP
// writer stores colours blue first.
using Colour = std::uint32_t;

constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r & 0xFF) | (static_cast<Colour>(g & 0xFF) << 8) |
         (static_cast<Colour>(b & 0xFF) << 16);
}
constexpr int RedOf(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

// Pixels stored top row first, each row padded to 4 bytes exactly as a BMP row
// (the writer only reverses the row order). Formats: 1, 4, 8 bits (colour-table
// indices, leftmost pixel in the most significant bits), 16 bits (5-6-5 little-
// endian words) and 24 bits (blue, green, red bytes). A new bitmap is all zero.
class Bitmap {
 public:
  // Fails (nullptr, with the reason in *error) when the size is negative, the
  // format unknown, width × height × bits overflows, or the memory cannot be had.
  // Width or height 0 is a valid empty bitmap.
  static std::unique_ptr<Bitmap> Create(int width, int height, int bits_per_pixel,
                                        std::string* error = nullptr);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  int BitsPerPixel() const { return m_bits; }
  std::size_t Stride() const { return m_stride; }
  std::size_t SizeBytes() const { return m_stride * static_cast<std::size_t>(m_height); }
  std::uint8_t* Row(int y) { return m_pixels.get() + m_stride * static_cast<std::size_t>(y); }
  const std::uint8_t* Row(int y) const {
    return m_pixels.get() + m_stride * static_cast<std::size_t>(y);
  }

  // 2, 16 or 256 entries at 1, 4, 8 bits (fewer allowed: matching then uses only
  // those entries). Defaults: black/white at 1 bit, none otherwise.
  void SetColourTable(std::vector<Colour> table);
  const std::vector<Colour>& ColourTable() const { return m_table; }
  // Changes whenever the colour table does, so that a Canvas knows when the
  // stored values of its pen and brush must be matched again.
  std::uint64_t TableGeneration() const { return m_table_generation; }

  // The stored value for a colour: nearest table index (squared RGB distance,
  // lowest index on ties), 5-6-5 word (channels truncated), or at 24 bits the
  // colour itself (0x00BBGGRR; stored as blue, green, red bytes).
  std::uint32_t ValueFor(Colour colour) const;
  // Stored value at (x, y), and the colour it shows; x, y must be inside.
  std::uint32_t ValueAt(int x, int y) const;
  Colour ColourAt(int x, int y) const;
  // Writes a stored value at (x, y); x, y must be inside (the Canvas clips).
  void SetValue(int x, int y, std::uint32_t value);

 private:
  Bitmap() = default;
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const;
  };
  int m_width = 0;
  int m_height = 0;
  int m_bits = 24;
  std::size_t m_stride = 0;
  std::unique_ptr<std::uint8_t[], FreeDeleter> m_pixels;
  std::vector<Colour> m_table;
  std::uint64_t m_table_generation = 0;
};

}  // namespace pelmora
