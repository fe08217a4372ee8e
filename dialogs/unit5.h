// TForm5, "表示ﾚｲﾔ設定": shows and hides the drawing's 256 layers and 16 groups,
// one group at a time as a 4 × 4 grid of layer thumbnails with a clickable
// overlay each. Edits working copies; only OK writes the main window's tables.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>

#include "platform/raster/bitmap.h"
#include "settings/settings.h"

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace pelmora {

class PanelImage;
class Tjwcin;

// The visibility overlay over one thumbnail: a black outline, see-through
// while the layer is shown, a diagonal cross hatch while it is hidden.
class LayerOverlay : public QWidget {
 public:
  LayerOverlay(int tag, QWidget* parent);

  int Tag() const { return m_tag; }
  bool Hatched() const { return m_hatched; }
  void SetHatched(bool hatched, Colour cross_colour);
  void OnPress(std::function<void(int tag)> handler) { m_on_press = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int m_tag;
  bool m_hatched = true;  // every overlay is hatched until the first render
  Colour m_cross_colour = 0;
  std::function<void(int tag)> m_on_press;
};

class TForm5 : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kThumbnailWidth = 104;
  static constexpr int kThumbnailHeight = 73;
  static constexpr float kThumbnailScale = 0.2f;  // thumbnail pixels per drawing unit

  // FormCreate: centred on `owner`, group 0 selected, working copies of the
  // tables. The reader, the settings and both tables must outlive the dialog;
  // the tables are written by OK only.
  TForm5(const Tjwcin& reader, const Settings& settings,
         std::array<std::uint8_t, 256>& LayerVisible, std::array<std::uint8_t, 16>& GroupVisible,
         QWidget* owner);

  // Renders the 16 thumbnails of SelectedGroup and brings the overlays and the
  // check box in line with the working copies. Always called with 104, 73, 0,
  // 73, 0.2; returns 0.
  int DrawImage(int width, int height, int originX, int originY, float scale, int spare);

  void RadioButton1Click(int tag);
  void Shape1MouseDown(int tag);
  void Button3Click();  // 全て隠す
  void Button4Click();  // 全て表示
  void Button5Click();  // 選択の反転
  void CheckBox1Click(bool checked);
  void Button1Click();  // OK
  void Button2Click();  // Cancel

  int SelectedGroup() const { return m_selected_group; }
  Colour CrossColor() const { return m_cross_colour; }
  const std::array<std::uint8_t, 256>& WorkLayerVisible() const { return m_work_layer_visible; }
  const std::array<std::uint8_t, 16>& WorkGroupVisible() const { return m_work_group_visible; }
  PanelImage* Thumbnail(int n) const { return m_images[static_cast<std::size_t>(n - 1)]; }
  LayerOverlay* Overlay(int n) const { return m_shapes[static_cast<std::size_t>(n - 1)]; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void BuildControls();
  void ShowLayer(int n, bool shown);

  const Tjwcin& m_reader;
  const Settings& m_settings;
  std::array<std::uint8_t, 256>& m_layer_visible;
  std::array<std::uint8_t, 16>& m_group_visible;

  std::array<std::uint8_t, 256> m_work_layer_visible{};
  std::array<std::uint8_t, 16> m_work_group_visible{};
  int m_selected_group = 0;
  Colour m_cross_colour = 0;
  bool m_shown_once = false;

  std::array<QRadioButton*, 16> m_radio_buttons{};
  QCheckBox* m_check_box = nullptr;
  std::array<PanelImage*, 16> m_images{};
  std::array<LayerOverlay*, 16> m_shapes{};
};

}  // namespace pelmora
