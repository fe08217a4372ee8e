// The one conversion between our Bitmap and Qt's QImage, row by row: for the
// clipboard, the preview, the quick panel's buttons and the dialogs' pictures.
#pragma once

#include <QImage>

#include "platform/raster/bitmap.h"

namespace pelmora {

// A deep copy of the image in the nearest Qt format:
//   1 bit  → Format_Mono, black drawing on white (white table entries stay
//            white, every other entry becomes black);
//   4 bits → Format_Indexed8 with the image's 16-entry colour table (Qt has no
//            4-bit format; the indices are kept);
//   8 bits → Format_Indexed8 with the image's colour table;
//   16 bits → Format_RGB16 (5-6-5); 24 bits → Format_BGR888.
// Indexed images get a table of 2, 16 or 256 entries (a shorter table is padded
// with black). An empty image gives a null QImage.
QImage ToQImage(const Bitmap& image);

// The pixels of a 24-bit bitmap as a QImage without a copy, so that what is
// drawn into the bitmap later shows at the next paint. The bitmap must outlive
// the view; any other depth, or an empty bitmap, gives a null QImage.
QImage QImageView(const Bitmap& image);

// Copies `image` into the 24-bit `target` from its top-left corner, as far as
// both reach; the target's other pixels stay.
void CopyIntoBitmap(const QImage& image, Bitmap& target);

}  // namespace pelmora
