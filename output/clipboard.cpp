#include "output/clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <cstring>
#include <vector>

#include "output/bmp_writer.h"

namespace pelmora {

namespace {

constexpr Colour kWhite = 0xFFFFFF;

QRgb ToQRgb(Colour colour) { return qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

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

QImage ClipboardImage(const Bitmap& image) {
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

std::unique_ptr<QMimeData> ClipboardData(const Bitmap& image, int dpi, std::string* error) {
  std::vector<std::uint8_t> bytes;
  if (!EncodeBmp(image, dpi, &bytes, error)) return nullptr;
  QImage picture = ClipboardImage(image);
  if (picture.isNull()) {
    if (error) *error = "the image cannot be converted for the clipboard";
    return nullptr;
  }
  auto data = std::make_unique<QMimeData>();
  data->setImageData(picture);
  data->setData(QString::fromLatin1(kBmpMimeType),
                QByteArray(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<qsizetype>(bytes.size())));
  return data;
}

bool CopyToClipboard(const Bitmap& image, int dpi, std::string* error) {
  QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                              ? QGuiApplication::clipboard()
                              : nullptr;
  if (clipboard == nullptr) {
    if (error) *error = "no clipboard";
    return false;
  }
  std::unique_ptr<QMimeData> data = ClipboardData(image, dpi, error);
  if (!data) return false;
  clipboard->setMimeData(data.release());  // the clipboard owns it now
  return true;
}

}  // namespace pelmora
