// Clipboard delivery of a rendered image: the picture as Qt knows it, for
// programs that paste images, and the very bytes of the bitmap file under
// "image/bmp", for programs that paste files of that type.
#pragma once

#include <QImage>
#include <QMimeData>
#include <memory>
#include <string>

#include "platform/raster/bitmap.h"

namespace pelmora {

inline constexpr char kBmpMimeType[] = "image/bmp";

// A deep copy of the image in the nearest Qt format:
//   1 bit  → Format_Mono, black drawing on white (white table entries stay
//            white, every other entry becomes black);
//   4 bits → Format_Indexed8 with the image's 16-entry colour table (Qt has no
//            4-bit format; the indices are kept);
//   8 bits → Format_Indexed8 with the image's colour table;
//   16 bits → Format_RGB16 (5-6-5); 24 bits → Format_BGR888.
// Indexed images get a table of 2, 16 or 256 entries (a shorter table is padded
// with black). An empty image gives a null QImage.
QImage ClipboardImage(const Bitmap& image);

// The clipboard's new contents: the image and the BMP file bytes written with
// `dpi` in the pixels-per-metre fields. nullptr, with the reason, when the file
// bytes cannot be made (an empty or oversized image).
std::unique_ptr<QMimeData> ClipboardData(const Bitmap& image, int dpi, std::string* error);

// Replaces the clipboard's contents with ClipboardData. False, with the reason,
// when there is no clipboard or the data cannot be made; the clipboard is then
// left as it was.
bool CopyToClipboard(const Bitmap& image, int dpi, std::string* error);

}  // namespace pelmora
