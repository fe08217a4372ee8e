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
#include "platform/raster/image_layout.h"  // BmpLayout, BmpLayoutFor, PixelsPerMetre

namespace pelmora {

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
