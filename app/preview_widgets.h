// The main window's owner-drawn pieces: the preview picture Image1, the area
// Panel2 around it, the information panel's frame and the status bar's
// progress panel.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace pelmora {

class Bitmap;

// Image1: shows the 24-bit preview bitmap as it is, without a copy (the rows
// are wrapped), so that a box drawn into the bitmap shows at the next paint.
// Mouse positions are reported in preview pixels.
class PreviewImage : public QWidget {
  Q_OBJECT

 public:
  using MouseHandler = std::function<void(Qt::MouseButton button, int x, int y)>;

  explicit PreviewImage(QWidget* parent);

  // The bitmap must stay alive until the next call; nullptr or an empty bitmap
  // shows nothing. The control takes the picture's size.
  void SetPicture(const Bitmap* picture);
  const QImage& Shown() const { return m_view; }

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
  QImage m_view;
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
