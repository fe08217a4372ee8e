#include "output/clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <vector>

#include "output/bmp_writer.h"
#include "output/qt_image.h"

namespace pelmora {

std::unique_ptr<QMimeData> ClipboardData(const Bitmap& image, int dpi, std::string* error) {
  std::vector<std::uint8_t> bytes;
  if (!EncodeBmp(image, dpi, &bytes, error)) return nullptr;
  QImage picture = ToQImage(image);
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
