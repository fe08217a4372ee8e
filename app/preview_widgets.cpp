#include "app/preview_widgets.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>

#include "pelmora_version.h"
#include "platform/raster/bitmap.h"

namespace pelmora {

namespace {

int PixelOf(qreal coordinate) { return static_cast<int>(std::floor(coordinate)); }

}  // namespace

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Image1"));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(0, 0);
}

void PreviewImage::SetPicture(const Bitmap* picture) {
  if (picture == nullptr || picture->Width() <= 0 || picture->Height() <= 0 ||
      picture->BitsPerPixel() != 24) {
    m_view = QImage();
    setFixedSize(0, 0);
  } else {
    // Our 24-bit rows are blue, green, red bytes, padded to 4 bytes like a BMP.
    m_view = QImage(picture->Row(0), picture->Width(), picture->Height(),
                    static_cast<qsizetype>(picture->Stride()), QImage::Format_BGR888);
    setFixedSize(picture->Width(), picture->Height());
  }
  update();
}

void PreviewImage::paintEvent(QPaintEvent* event) {
  if (m_view.isNull()) return;
  QPainter painter(this);
  painter.drawImage(event->rect(), m_view, event->rect());
}

void PreviewImage::mousePressEvent(QMouseEvent* event) {
  if (on_press)
    on_press(event->button(), PixelOf(event->position().x()), PixelOf(event->position().y()));
}

void PreviewImage::mouseMoveEvent(QMouseEvent* event) {
  if (on_move)
    on_move(event->buttons() & Qt::LeftButton ? Qt::LeftButton : Qt::NoButton,
            PixelOf(event->position().x()), PixelOf(event->position().y()));
}

void PreviewImage::mouseReleaseEvent(QMouseEvent* event) {
  if (on_release)
    on_release(event->button(), PixelOf(event->position().x()), PixelOf(event->position().y()));
}

void PreviewImage::contextMenuEvent(QContextMenuEvent* event) {
  if (on_context_menu) on_context_menu(event->globalPos());
}

void PreviewImage::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (on_leave) on_leave();
}

PreviewArea::PreviewArea(QWidget* parent) : QWidget(parent), m_image(new PreviewImage(this)) {
  setObjectName(QStringLiteral("Panel2"));
  setMouseTracking(true);
  setAutoFillBackground(true);
  m_image->move(kImageMargin, kImageMargin);
}

void PreviewArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect(), Qt::AlignCenter,
                   QStringLiteral("Pelmora Version" PELMORA_PRODUCT_VERSION));
}

void PreviewArea::mouseMoveEvent(QMouseEvent*) {
  if (on_mouse_move) on_mouse_move();
}

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Panel1"));
}

void InfoPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int x = width() - 2;
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(x, 0, x, height() - 1);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(x + 1, 0, x + 1, height() - 1);
}

ProgressPanel::ProgressPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Progress"));
  setFixedWidth(kWidth);
  setMinimumHeight(19);
}

void ProgressPanel::SetBar(int pixels) { m_bar = std::clamp(pixels, 0, 200); }

void ProgressPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Rows 3..17 of the panel, as the bar was always drawn; 1..200 across.
  const int top = 3, bottom = std::min(18, height());
  painter.fillRect(QRect(QPoint(1, top), QPoint(200, bottom - 1)),
                   palette().color(QPalette::Button));
  if (m_bar > 0)
    painter.fillRect(QRect(1, top, m_bar, bottom - top), palette().color(QPalette::Highlight));
}

}  // namespace pelmora
