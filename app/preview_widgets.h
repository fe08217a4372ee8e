// The main window's owner-drawn pieces: the preview picture Image1, the area
// Panel2 around it, the information panel's frame and the status bar's
// progress panel.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/raster/bitmap.h"
#include "render/geometry.h"

namespace pelmora {

class Bitmap;

// Image1: shows the 24-bit preview bitmap without a copy (the rows are
// wrapped), so that a box drawn into the bitmap shows at the next paint.
// Mouse positions are reported in preview pixels, whatever the zoom.
//
// The zoom is device pixels per preview pixel: at 1 every preview pixel is one
// device pixel, also on a screen of device pixel ratio 2. Enlarged, the bitmap
// is drawn with its pixels repeated (the XOR box included). Reduced, a smoothly
// averaged copy is shown so that one-pixel lines stay visible as lighter lines;
// the copy is taken when the picture or the zoom is set, so the window takes
// the box out of the bitmap first and the box is drawn over the copy instead.
class PreviewImage : public QWidget {
  Q_OBJECT

 public:
  using MouseHandler = std::function<void(Qt::MouseButton button, int x, int y)>;

  explicit PreviewImage(QWidget* parent);

  // The bitmap must stay alive until the next call; nullptr or an empty bitmap
  // shows nothing. The control takes the picture's size at the zoom.
  void SetPicture(const Bitmap* picture);
  const QImage& Shown() const { return m_view; }

  void SetZoom(double zoom);
  double Zoom() const { return m_zoom; }
  // Logical (widget) pixels per preview pixel.
  double Scale() const;
  // The box drawn over a reduced picture, in `colour` (0x00BBGGRR).
  void SetOverlay(const std::optional<SelectionBox>& box, Colour colour);
  // Where a widget position falls, in preview pixels (not clamped).
  QPointF PreviewAt(const QPointF& position) const;

  // on_move's button is Qt::LeftButton while the left button is held, else
  // Qt::NoButton.
  MouseHandler on_press, on_move, on_release;
  std::function<void(const QPoint& global)> on_context_menu;
  std::function<void()> on_leave;  // the mouse left the picture

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QSize ScaledSize() const;
  void Resample();

  QImage m_view;
  QImage m_reduced;  // m_view averaged down to the zoom; null when not reduced
  double m_zoom = 1.0;
  std::optional<SelectionBox> m_overlay;
  Colour m_overlay_colour = 0x0000FF;
};

// Panel2: the grey area behind the preview, with the program's name and
// version in its middle wherever no picture covers it.
class PreviewArea : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kImageMargin = 8;  // Image1 sits at (8, 8)

  explicit PreviewArea(QWidget* parent);
  PreviewImage* Image1() const { return m_image; }
  std::function<void()> on_mouse_move;  // the mouse is over the area, not the picture

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  PreviewImage* m_image;
};

// Panel1's frame: a vertical rule along its right edge.
class InfoPanel : public QWidget {
  Q_OBJECT

 public:
  explicit InfoPanel(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The status bar's first panel, 203 pixels wide: the render's progress bar,
// 2 pixels per percent from x = 1, rows 3..17.
class ProgressPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 203;

  explicit ProgressPanel(QWidget* parent);

  // Width of the bar in pixels (0 = cleared, at most 200).
  void SetBar(int pixels);
  int Bar() const { return m_bar; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_bar = 0;
};

}  // namespace pelmora
