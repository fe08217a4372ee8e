// The image control of the quick panel and the dialogs: a picture of its own
// that the raster canvas draws on, shown as it is, reporting mouse presses.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

#include "platform/raster/bitmap.h"

namespace pelmora {

// Registers the program's compiled-in pictures (safe to call repeatedly).
void LoadPanelResources();

// Reports mouse presses with the control's tag (any button, a double click
// counting as a second press, as the original controls did).
class PanelImage : public QWidget {
 public:
  using PressHandler = std::function<void(Qt::MouseButton button, int tag)>;

  PanelImage(int width, int height, int tag, QWidget* parent);

  int Tag() const { return m_tag; }
  Bitmap& Picture() { return *m_picture; }
  const Bitmap& Picture() const { return *m_picture; }
  // Shows the picture after drawing on it.
  void PictureChanged();
  // Copies `image` into the picture from its top-left corner and shows it.
  void SetPicture(const QImage& image);
  void SetPicture(const Bitmap& image);
  void OnPress(PressHandler handler) { m_on_press = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int m_tag;
  std::unique_ptr<Bitmap> m_picture;  // 24 bits, the control's size
  QImage m_shown;
  PressHandler m_on_press;
};

}  // namespace pelmora
