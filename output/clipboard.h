// Clipboard delivery of a rendered image: the picture as Qt knows it, for
// programs that paste images, and the very bytes of the bitmap file under
// "image/bmp", for programs that paste files of that type.
#pragma once

#include <QMimeData>
#include <memory>
#include <string>

#include "platform/raster/bitmap.h"

namespace pelmora {

inline constexpr char kBmpMimeType[] = "image/bmp";

// The clipboard's new contents: the image (ToQImage) and the BMP file bytes written with
// `dpi` in the pixels-per-metre fields. nullptr, with the reason, when the file
// bytes cannot be made (an empty or oversized image).
std::unique_ptr<QMimeData> ClipboardData(const Bitmap& image, int dpi, std::string* error);

// Replaces the clipboard's contents with ClipboardData. False, with the reason,
// when there is no clipboard or the data cannot be made; the clipboard is then
// left as it was.
bool CopyToClipboard(const Bitmap& image, int dpi, std::string* error);

}  // namespace pelmora
