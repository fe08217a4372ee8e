// The Japanese window fonts of the forms. The Windows faces are asked for
// first; where they are missing (Linux) the IPA gothics stand in for them.
#pragma once

#include <QFont>
#include <QWidget>

namespace pelmora {

// "ＭＳ ゴシック" (monospaced) or "ＭＳ Ｐゴシック" (proportional), `pixels` high.
QFont GothicFont(bool proportional, int pixels = 12);

// left = main left + (main width − own width) / 2, top likewise, truncating
// toward zero; nothing happens without a main window.
void CentreOn(QWidget& dialog, const QWidget* main_window);

}  // namespace pelmora
