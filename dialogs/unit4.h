// TForm4, "ﾊﾞｰｼﾞｮﾝ情報": the program's version. Clicking its icon is the one way
// to switch the layer and group quick panel on and off.
#pragma once

#include <QDialog>

#include <functional>

#include "settings/settings.h"

class QLabel;

namespace pelmora {

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  // `settings` holds LGBMode and must outlive the dialog; `show_quick_panel`
  // (may be empty) shows or hides the main window's quick panel as LGBMode
  // changes.
  TForm4(Settings& settings, std::function<void(bool shown)> show_quick_panel, QWidget* owner);

  void Button1Click();
  // The icon: flips LGBMode and the quick panel's visibility; the dialog stays.
  void Image2Click();

 private:
  Settings& m_settings;
  std::function<void(bool shown)> m_show_quick_panel;
};

}  // namespace pelmora
