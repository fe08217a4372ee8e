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

int PixelOf(qreal coordinate) {
  return static_cast<int>(std::clamp<qreal>(std::floor(coordinate), -(1 << 30), 1 << 30));
}

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
  }
  Resample();
  setFixedSize(ScaledSize());
  update();
}

double PreviewImage::Scale() const {
  return m_zoom / devicePixelRatioF();
}

QSize PreviewImage::ScaledSize() const {
  if (m_view.isNull()) return QSize(0, 0);
  const double scale = Scale();
  if (scale == 1.0) return m_view.size();
  return QSize(static_cast<int>(std::ceil(m_view.width() * scale)),
               static_cast<int>(std::ceil(m_view.height() * scale)));
}

void PreviewImage::SetZoom(double zoom) {
  if (!(zoom > 0.0)) return;
  m_zoom = zoom;
  Resample();
  setFixedSize(ScaledSize());
  update();
}

void PreviewImage::Resample() {
  m_reduced = QImage();
  if (m_view.isNull() || m_zoom >= 1.0) return;
  // Area averaging keeps a one-pixel line as a fainter line instead of dropping
  // it where nearest-pixel sampling would fall between its pixels.
  const QSize size(std::max(1, static_cast<int>(std::lround(m_view.width() * m_zoom))),
                   std::max(1, static_cast<int>(std::lround(m_view.height() * m_zoom))));
  m_reduced = m_view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  m_reduced.setDevicePixelRatio(devicePixelRatioF());
}

void PreviewImage::SetOverlay(const std::optional<SelectionBox>& box, Colour colour) {
  m_overlay = box;
  m_overlay_colour = colour;
  if (!m_reduced.isNull()) update();
}

QPointF PreviewImage::PreviewAt(const QPointF& position) const {
  const double scale = Scale();
  return scale == 1.0 ? position : position / scale;
}

void PreviewImage::paintEvent(QPaintEvent* event) {
  if (m_view.isNull()) return;
  QPainter painter(this);
  const double dpr = devicePixelRatioF();
  if (m_zoom == 1.0 && dpr == 1.0) {
    painter.drawImage(event->rect(), m_view, event->rect());
    return;
  }
  if (m_reduced.isNull()) {
    // Whole device pixels per preview pixel at 100 %, and repeated pixels when
    // enlarged: never a blurred 1:1 picture.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const double scale = Scale();
    const QRectF exposed = QRectF(event->rect());
    const QRect source = QRectF(exposed.topLeft() / scale, exposed.bottomRight() / scale)
                             .toAlignedRect()
                             .adjusted(-1, -1, 1, 1) &
                         m_view.rect();
    painter.scale(scale, scale);
    painter.drawImage(QRectF(source), m_view, QRectF(source));
    return;
  }
  painter.drawImage(QPointF(0, 0), m_reduced);
  if (!m_overlay) return;
  // The box over the averaged picture, one device pixel wide, with handles of
  // 8 preview pixels (never under 3 screen pixels, so they can be seen).
  const double scale = Scale();
  const QColor colour(static_cast<int>(m_overlay_colour & 0xFF),
                      static_cast<int>((m_overlay_colour >> 8) & 0xFF),
                      static_cast<int>((m_overlay_colour >> 16) & 0xFF));
  QPen pen(colour, 0);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const SelectionBox& b = *m_overlay;
  const QPointF a(b.x1 * scale, b.y1 * scale), c(b.x2 * scale, b.y2 * scale);
  painter.drawRect(QRectF(a, c).normalized());
  const double half = std::max(4.0 * scale, 1.5);
  const double mx = (a.x() + c.x()) / 2, my = (a.y() + c.y()) / 2;
  const QPointF centres[] = {a,           {a.x(), c.y()}, {c.x(), a.y()}, c,
                             {mx, a.y()}, {a.x(), my},    {c.x(), my},    {mx, c.y()}};
  for (const QPointF& centre : centres)
    painter.drawRect(QRectF(centre.x() - half, centre.y() - half, 2 * half, 2 * half));
}

void PreviewImage::mousePressEvent(QMouseEvent* event) {
  const QPointF at = PreviewAt(event->position());
  if (on_press) on_press(event->button(), PixelOf(at.x()), PixelOf(at.y()));
}

void PreviewImage::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = PreviewAt(event->position());
  if (on_move)
    on_move(event->buttons() & Qt::LeftButton ? Qt::LeftButton : Qt::NoButton, PixelOf(at.x()),
            PixelOf(at.y()));
}

void PreviewImage::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF at = PreviewAt(event->position());
  if (on_release) on_release(event->button(), PixelOf(at.x()), PixelOf(at.y()));
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

void ProgressPanel::SetBar(int pixels) {
  m_bar = std::clamp(pixels, 0, 200);
}

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
