// TForm4, "ﾊﾞｰｼﾞｮﾝ情報": the program's version. Clicking its icon is the one way
// to switch the layer and group quick panel on and off.
#pragma once

#include <QDialog>

#include "settings/settings.h"

class QLabel;

namespace pelmora {

class QuickPanel;

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  // `settings` holds LGBMode; `quick_panel` (may be null) is the main window's
  // panel whose visibility follows it. Both must outlive the dialog.
  TForm4(Settings& settings, QuickPanel* quick_panel, QWidget* owner);

  void Button1Click();
  // The icon: flips LGBMode and the quick panel's visibility; the dialog stays.
  void Image2Click();

 private:
  Settings& m_settings;
  QuickPanel* m_quick_panel;
};

}  // namespace pelmora
