// TForm3, "設定": pen colours, pen widths and background on its first page,
// rendering options, font and point size on its second. Edits a working copy;
// only OK writes the main window's Settings. Its five colour presets live in
// the store's OffsetColor group and are written whenever it closes.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

#include "platform/raster/bitmap.h"
#include "settings/settings.h"
#include "settings/settings_fields.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class QToolButton;

namespace pelmora {

class ModalSeam;
class PanelImage;
class SettingsStore;

// "R:r,G:g,B:b" in decimal, r the low byte of the 0x00BBGGRR colour.
QString ColorHintText(Colour colour);

// The font names offered for texts, standing in for the default printer's
// fonts: the families fontconfig knows, in its order (a family's Japanese name
// where it has one, else its first name), then the Windows Japanese faces that
// the text renderer draws with installed stand-ins, if not listed already.
QStringList FontFaceNames();

// A colour swatch: filled with its colour, black outline, reports presses.
class ColourSwatch : public QWidget {
 public:
  ColourSwatch(int tag, QWidget* parent);
  int Tag() const { return m_tag; }
  Colour Color() const { return m_colour; }
  void SetColor(Colour colour);
  void OnPress(std::function<void(int tag)> handler) { m_on_press = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int m_tag;
  Colour m_colour = 0;
  std::function<void(int tag)> m_on_press;
};

// The up/down control of an integer field: holds a position within its range,
// moved by its arrows (or the Up and Down keys in the field) or taken from the
// field's text when the text is a whole number in range; other text leaves the
// previous position.
class UpDown : public QWidget {
 public:
  UpDown(QLineEdit* associate, int min, int max, QWidget* parent);

  int Position() const;
  void SetPosition(int position);
  // One click of the up (+1) or down (−1) arrow.
  void Step(int delta);
  QToolButton* UpButton() const { return m_up; }
  QToolButton* DownButton() const { return m_down; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TakeText() const;

  QLineEdit* m_edit;
  int m_min;
  int m_max;
  mutable int m_position;  // follows valid text typed in the field
  QToolButton* m_up = nullptr;
  QToolButton* m_down = nullptr;
};

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  // FormCreate: reads the presets from `store`, centres on `owner`, loads the
  // working copy from `settings`, fills the font list. `settings` is written by
  // OK only; the presets are written to `store` at every close.
  TForm3(Settings& settings, const SettingsStore& store, ModalSeam& seam, QWidget* owner);

  // The page the main window opens: tag 5 the options page, anything else
  // (tag 3) the pen page.
  void ShowPageOfTag(int tag);

  bool Accepted() const { return m_accepted; }

  void ShapeMouseDown(int tag);  // swatch 1..7: pick its colour
  void ButtonClick(int tag);     // "色設定" beside swatch 1..7
  void Button1Click(int tag);    // recall preset 1..5
  void Button15Click(int tag);   // register the swatches as preset 1..5
  void Button20Click();          // "ﾃﾞﾌｫﾙﾄ"
  void Button13Click();          // OK
  void Button14Click();          // Cancel
  void HintChange();
  // The key filter of the width and point-size fields: true when the typed
  // character may reach the field (a digit, Backspace, Enter, Escape).
  static bool Edit1KeyPress(QChar key);

  const ColourPresets& Presets() const { return m_presets; }
  ColourSwatch* Shape(int n) const { return m_shapes[static_cast<std::size_t>(n - 1)]; }
  UpDown* WidthUpDown(int pen) const { return m_updowns[static_cast<std::size_t>(pen - 1)]; }
  UpDown* UpDown8() const { return m_updown8; }
  PanelImage* PresetImage(int n) const { return m_preset_images[static_cast<std::size_t>(n - 1)]; }
  QTabWidget* PageControl1() const { return m_pages; }
  QComboBox* ComboBox1() const { return m_fonts; }

 public slots:
  void done(int result) override;

 private:
  void BuildPenPage(QWidget* page);
  void BuildOptionsPage(QWidget* page);
  void LoadWorkingCopy();
  void DrawPresetImage(int n);
  void PickColour(int tag);

  Settings& m_settings;
  const SettingsStore& m_store;
  ModalSeam& m_seam;
  ColourPresets m_presets{};
  bool m_accepted = false;

  QTabWidget* m_pages = nullptr;
  std::array<ColourSwatch*, 7> m_shapes{};
  std::array<QLineEdit*, 6> m_edits{};
  std::array<UpDown*, 6> m_updowns{};
  QLineEdit* m_edit8 = nullptr;
  UpDown* m_updown8 = nullptr;
  std::array<PanelImage*, 5> m_preset_images{};
  QCheckBox* m_check_no9 = nullptr;
  QCheckBox* m_check_text = nullptr;
  QCheckBox* m_check_dpi = nullptr;
  QCheckBox* m_check_palette = nullptr;
  QComboBox* m_fonts = nullptr;
};

}  // namespace pelmora
