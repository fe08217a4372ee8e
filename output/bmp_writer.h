// Windows bitmap files (BITMAPFILEHEADER + BITMAPINFOHEADER, uncompressed,
// bottom-up) written from a Bitmap, on disk or in memory. The writer is the BMP
// encoder of file_encoder.h given the whole image as one band.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/output_file.h"
#include "platform/raster/bitmap.h"

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

// The BMP writer's results are the output file's (output_file.h): kCannotCreate,
// kExists, kWriteFailed, with the path, the reason and the user's message.
using BmpError = OutputError;
using BmpWriteResult = OutputStatus;

// Writes the image with `dpi` in the pixels-per-metre fields to `path`. The file
// is written to a temporary file in the same folder, flushed to disk and renamed
// over `path` only when complete: on any failure the file that was there before
// is untouched and no partial file remains. An existing file keeps its
// permissions; a symbolic link is followed, so its target is replaced. Only a
// regular file is replaced (CheckOutputTarget with replace).
BmpWriteResult WriteBmpFile(const Bitmap& image, int dpi, const std::string& path);

// The exact bytes WriteBmpFile writes (for the clipboard's image/bmp). Returns
// false with the reason when the image is empty, too large for the format or has
// an unknown depth.
bool EncodeBmp(const Bitmap& image, int dpi, std::vector<std::uint8_t>* bytes,
               std::string* error = nullptr);

}  // namespace pelmora
