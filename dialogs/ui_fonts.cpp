#include "dialogs/ui_fonts.h"

#include <QStringList>

namespace pelmora {

QFont GothicFont(bool proportional, int pixels) {
  QFont font;
  if (proportional) {
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic")});
  } else {
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
  }
  font.setPixelSize(pixels);
  font.setStyleHint(proportional ? QFont::SansSerif : QFont::Monospace);
  return font;
}

void CentreOn(QWidget& dialog, const QWidget* main_window) {
  if (main_window == nullptr) return;
  const QRect main = main_window->frameGeometry();
  const QSize own = dialog.frameGeometry().size();
  // C++ division truncates toward zero, as the placement rule wants.
  dialog.move(main.left() + (main.width() - own.width()) / 2,
              main.top() + (main.height() - own.height()) / 2);
}

}  // namespace pelmora
