// Sizes of a bitmap file laid out from an image's shape: what the BMP encoder
// writes and what the size estimate reports, computed in one place so that the
// renderer need not depend on the encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelmora {

// Sizes of one file. A file whose sizes do not fit the format's 32-bit fields
// cannot be written (fits == false).
struct BmpLayout {
  int bits = 0;                    // 1, 4, 8, 16, 24
  std::uint32_t colours_used = 0;  // biClrUsed: 2, 16, 256 entries; 0 at 16 and 24 bits
  std::uint32_t header_size = 0;   // info header (40) + masks (12) or colour table
  std::uint32_t off_bits = 0;      // bfOffBits: 14 + header_size
  std::uint64_t stride = 0;        // bytes per row, a multiple of 4
  std::uint64_t image_size = 0;    // biSizeImage: stride × height
  std::uint64_t file_size = 0;     // bfSize: off_bits + image_size
  bool fits = false;
};

// nullopt for a depth other than 1, 4, 8, 16, 24 or a negative size.
std::optional<BmpLayout> BmpLayoutFor(std::int64_t width, std::int64_t height, int bits);

// biXPelsPerMeter for a resolution: round(dpi × 39.37), halves to even, held
// within the field's 32-bit range.
std::int32_t PixelsPerMetre(int dpi);

// Bytes the BMP encoder buffers at most besides the band (its write chunk).
inline constexpr std::size_t kBmpWriteChunk = std::size_t{1} << 20;

}  // namespace pelmora
