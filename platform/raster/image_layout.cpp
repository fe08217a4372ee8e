#include "platform/raster/image_layout.h"

#include <cmath>
#include <cstdint>

namespace pelmora {
namespace {

// Bytes of BITMAPFILEHEADER and BITMAPINFOHEADER.
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

}  // namespace

std::optional<BmpLayout> BmpLayoutFor(std::int64_t width, std::int64_t height, int bits) {
  BmpLayout layout;
  layout.bits = bits;
  switch (bits) {
    case 1:
      layout.colours_used = 2;
      break;
    case 4:
      layout.colours_used = 16;
      break;
    case 8:
      layout.colours_used = 256;
      break;
    case 16:
    case 24:
      layout.colours_used = 0;
      break;
    default:
      return std::nullopt;
  }
  if (width < 0 || height < 0 || width > INT32_MAX || height > INT32_MAX) return std::nullopt;
  layout.header_size = kInfoHeaderSize + (bits == 16 ? 12 : layout.colours_used * 4);
  layout.off_bits = kFileHeaderSize + layout.header_size;
  // At most 2^31 × 24 + 31 bits: no overflow in 64 bits; the product below is
  // at most 2^31 × 2^31 × 3 < 2^64.
  layout.stride =
      (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
  layout.image_size = layout.stride * static_cast<std::uint64_t>(height);
  layout.file_size = layout.off_bits + layout.image_size;
  layout.fits = layout.file_size <= UINT32_MAX;
  return layout;
}

std::int32_t PixelsPerMetre(int dpi) {
  const long double value = std::nearbyint(static_cast<long double>(dpi) * 39.37L);
  if (value > static_cast<long double>(INT32_MAX)) return INT32_MAX;
  if (value < static_cast<long double>(INT32_MIN)) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace pelmora
