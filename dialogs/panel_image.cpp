#include "dialogs/panel_image.h"

#include <QMouseEvent>
#include <QPainter>

#include "output/qt_image.h"

// Q_INIT_RESOURCE declares a function and so must stand outside a namespace.
static void InitResourcesOfPelmoraQrc() {
  Q_INIT_RESOURCE(pelmora);
}

namespace pelmora {

// The pictures are compiled into a static library; naming the resource here
// links it into every program that uses the controls.
void LoadPanelResources() {
  InitResourcesOfPelmoraQrc();
}

PanelImage::PanelImage(int width, int height, int tag, QWidget* parent)
    : QWidget(parent), m_tag(tag), m_picture(Bitmap::Create(width, height, 24)) {
  setFixedSize(width, height);
  // The right button is a command here, never a context menu of a parent.
  setContextMenuPolicy(Qt::PreventContextMenu);
  PictureChanged();
}

void PanelImage::PictureChanged() {
  m_shown = ToQImage(*m_picture);
  update();
}

void PanelImage::SetPicture(const QImage& image) {
  CopyIntoBitmap(image, *m_picture);
  PictureChanged();
}

void PanelImage::SetPicture(const Bitmap& image) {
  SetPicture(QImageView(image));
}

void PanelImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, m_shown);
}

void PanelImage::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (m_on_press) m_on_press(event->button(), m_tag);
}

}  // namespace pelmora
