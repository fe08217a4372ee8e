// Windows bitmap files (BITMAPFILEHEADER + BITMAPINFOHEADER, uncompressed,
// bottom-up) written from a Bitmap, on disk or in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/image_layout.h"  // BmpLayout, BmpLayoutFor, PixelsPerMetre

namespace pelmora {

enum class BmpError {
  kNone,
  kCannotCreate,  // the file could not be created: folder missing or not writable,
                  // target read-only or a folder
  kWriteFailed,   // writing, flushing or the image itself failed
};

struct BmpWriteResult {
  BmpError error = BmpError::kNone;
  std::string path;    // the file asked for
  std::string reason;  // the cause in plain words (for the converter and logs)

  bool ok() const { return error == BmpError::kNone; }
  // The user's message: "ファイル <path> を作成できません" when the file could not
  // be created, "保存出来ませんでした。" when writing failed; empty on success.
  std::string Message() const;
};

// Writes the image with `dpi` in the pixels-per-metre fields to `path`. The file
// is written to a temporary file in the same folder, flushed to disk and renamed
// over `path` only when complete: on any failure the file that was there before
// is untouched and no partial file remains. An existing file keeps its
// permissions; a symbolic link is followed, so its target is replaced.
BmpWriteResult WriteBmpFile(const Bitmap& image, int dpi, const std::string& path);

// The exact bytes WriteBmpFile writes (for the clipboard's image/bmp). Returns
// false with the reason when the image is empty, too large for the format or has
// an unknown depth.
bool EncodeBmp(const Bitmap& image, int dpi, std::vector<std::uint8_t>* bytes,
               std::string* error = nullptr);

}  // namespace pelmora
