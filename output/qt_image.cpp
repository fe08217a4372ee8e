#include "output/qt_image.h"

#include <algorithm>
#include <cstring>

namespace pelmora {

namespace {

constexpr Colour kWhite = 0xFFFFFF;

QRgb ToQRgb(Colour colour) {
  return qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QList<QRgb> QtColourTable(const Bitmap& image) {
  const int entries = 1 << image.BitsPerPixel();
  QList<QRgb> table;
  table.reserve(entries);
  for (Colour colour : image.ColourTable()) {
    if (table.size() == entries) break;
    // The monochrome copy keeps the drawing black on white whatever the table says.
    if (image.BitsPerPixel() == 1) colour = colour == kWhite ? kWhite : 0;
    table.push_back(ToQRgb(colour));
  }
  while (table.size() < entries) table.push_back(qRgb(0, 0, 0));
  return table;
}

}  // namespace

QImage ToQImage(const Bitmap& image) {
  const int width = image.Width();
  const int height = image.Height();
  if (width <= 0 || height <= 0) return QImage();

  switch (image.BitsPerPixel()) {
    case 1: {
      QImage out(width, height, QImage::Format_Mono);
      if (out.isNull()) return out;
      out.setColorTable(QtColourTable(image));
      // Same bit order (leftmost pixel in the most significant bit); the padding
      // bits of a BMP row are zero, so whole rows can be copied.
      const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
      for (int y = 0; y < height; ++y) std::memcpy(out.scanLine(y), image.Row(y), row_bytes);
      return out;
    }
    case 4: {
      QImage out(width, height, QImage::Format_Indexed8);
      if (out.isNull()) return out;
      out.setColorTable(QtColourTable(image));
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = image.Row(y);
        std::uint8_t* row = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
          const std::uint8_t pair = in[x / 2];
          row[x] = (x % 2 == 0) ? (pair >> 4) : (pair & 0x0F);
        }
      }
      return out;
    }
    case 8: {
      QImage out(width, height, QImage::Format_Indexed8);
      if (out.isNull()) return out;
      out.setColorTable(QtColourTable(image));
      for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), image.Row(y), static_cast<std::size_t>(width));
      return out;
    }
    case 16: {
      QImage out(width, height, QImage::Format_RGB16);
      if (out.isNull()) return out;
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = image.Row(y);
        auto* row = reinterpret_cast<quint16*>(out.scanLine(y));
        // The bitmap holds little-endian words; QImage native-endian ones.
        for (int x = 0; x < width; ++x)
          row[x] = static_cast<quint16>(in[2 * x] | (in[2 * x + 1] << 8));
      }
      return out;
    }
    case 24: {
      QImage out(width, height, QImage::Format_BGR888);
      if (out.isNull()) return out;
      for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), image.Row(y), static_cast<std::size_t>(width) * 3);
      return out;
    }
    default:
      return QImage();
  }
}

QImage QImageView(const Bitmap& image) {
  if (image.Width() <= 0 || image.Height() <= 0 || image.BitsPerPixel() != 24) return QImage();
  // Our 24-bit rows are blue, green, red bytes, padded to 4 bytes like a BMP.
  return QImage(image.Row(0), image.Width(), image.Height(), static_cast<qsizetype>(image.Stride()),
                QImage::Format_BGR888);
}

void CopyIntoBitmap(const QImage& image, Bitmap& target) {
  if (target.BitsPerPixel() != 24 || image.isNull()) return;
  // Through RGB32, which drops an alpha channel without premultiplying: a
  // see-through pixel keeps its own colour.
  const QImage rows = image.convertToFormat(QImage::Format_RGB32);
  const int width = std::min(rows.width(), target.Width());
  const int height = std::min(rows.height(), target.Height());
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(rows.constScanLine(y));
    std::uint8_t* out = target.Row(y);
    for (int x = 0; x < width; ++x, out += 3) {
      out[0] = static_cast<std::uint8_t>(qBlue(in[x]));
      out[1] = static_cast<std::uint8_t>(qGreen(in[x]));
      out[2] = static_cast<std::uint8_t>(qRed(in[x]));
    }
  }
}

}  // namespace pelmora
