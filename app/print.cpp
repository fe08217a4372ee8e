// Printing the selection: the output render in bands at the printer's
// resolution, each band painted onto the page as it is done.
#include <QCheckBox>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

#include "app/unit1.h"
#include "dialogs/modal_seam.h"
#include "drawing/jwcunit.h"
#include "output/encoder.h"
#include "output/qt_image.h"
#include "render/draw_image.h"

namespace pelmora {

namespace {

// The highest resolution the renderer draws at; a finer printer gets the
// image enlarged by its device.
constexpr int kMostDpi = 600;

// Paints each band onto the page at `target` (device pixels of the page).
class PageEncoder final : public ImageEncoder {
 public:
  PageEncoder(QPainter& painter, const QRectF& target) : m_painter(painter), m_target(target) {}
  bool Begin(const ImageShape& shape, std::string*) override {
    m_width = shape.width;
    m_height = shape.height;
    return true;
  }
  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    const QImage band = ToQImage(rows);
    if (band.isNull() || m_width <= 0 || m_height <= 0) {
      *error = "the band could not be converted";
      return false;
    }
    const double sx = m_target.width() / m_width, sy = m_target.height() / m_height;
    const QRectF place(m_target.left(), m_target.top() + first_row * sy, band.width() * sx,
                       band.height() * sy);
    m_painter.drawImage(place, band);
    return true;
  }
  bool Finish(std::string*) override { return true; }

 private:
  QPainter& m_painter;
  QRectF m_target;
  int m_width = 0, m_height = 0;
};

}  // namespace

bool TForm1::PrintSelection(QPrinter& printer, bool fit_to_page, bool colour, QString* error) {
  const auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (!m_drawing_loaded || !(m_pixels_per_mm > 0.0f)) return fail(QStringLiteral("no drawing"));
  Settings settings = m_settings;
  // A page is no image file: the resolution stamp stays off it. Black and
  // white is the renderer's 1-bit mode, black drawing on white paper.
  settings.WriteDPI = false;
  settings.ColorMode = colour ? 24 : 1;
  settings.dpi = std::clamp(printer.resolution(), 1, kMostDpi);
  const OutputGeometry geometry =
      ComputeOutputGeometry(Box(), m_pixels_per_mm, settings.dpi, m_reader->JwcWindowWidth());
  if (!geometry.Renderable()) return fail(QStringLiteral("the selection is empty"));

  QPainter painter;
  if (!painter.begin(&printer)) return fail(QStringLiteral("the printer could not be started"));
  // Device pixels of the printable area; the image keeps the paper's scale
  // (its pixels at settings.dpi) or is fitted, proportions kept.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double device_per_pixel = static_cast<double>(printer.resolution()) / settings.dpi;
  QSizeF size(geometry.width * device_per_pixel, geometry.height * device_per_pixel);
  if (fit_to_page) size.scale(page.size(), Qt::KeepAspectRatio);
  const QRectF target(QPointF(0, 0), size);

  std::string why;
  RenderContext context;
  context.reader = m_reader.get();
  context.settings = &settings;
  context.LayerVisible = &m_layer_visible;
  context.GroupVisible = &m_group_visible;
  context.PixelsPerMm = m_pixels_per_mm;
  context.progress = [this](std::int64_t position, std::int64_t total) {
    Progress(position, total);
  };
  context.error = &why;
  PageEncoder encoder(painter, target);
  const int done = DrawImageBands(context, geometry.width, geometry.height, geometry.originX,
                                  geometry.originY, geometry.scale, encoder);
  painter.end();
  if (done != 1) return fail(QString::fromStdString(why));
  return true;
}

void TForm1::PrintClick() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QFileInfo(m_drawing_file).fileName());
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("印刷"));
  auto* options = new QWidget;
  options->setWindowTitle(QStringLiteral("図面"));
  auto* column = new QVBoxLayout(options);
  auto* fit = new QCheckBox(QStringLiteral("用紙に合わせる"), options);
  fit->setObjectName(QStringLiteral("PrintFit"));
  auto* mono = new QCheckBox(QStringLiteral("白黒で印刷"), options);
  mono->setObjectName(QStringLiteral("PrintMono"));
  column->addWidget(fit);
  column->addWidget(mono);
  column->addStretch(1);
  dialog.setOptionTabs({options});
  if (m_seam.ShowModal(dialog) != QDialog::Accepted) return;
  SetWaitCursor();
  QString error;
  const bool printed = PrintSelection(printer, fit->isChecked(), !mono->isChecked(), &error);
  SetDefaultCursor();
  if (!printed) m_seam.Error(this, QStringLiteral("印刷できませんでした。\n%1").arg(error));
}

}  // namespace pelmora
