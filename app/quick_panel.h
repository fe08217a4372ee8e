// The layer and group quick panel at the bottom of the information panel: a
// row of 16 group buttons (Panel3) and a row of 16 layer buttons of one group
// (Panel4), each row with an ALL button. A click flips visibility flags of the
// main window at once and only marks the preview stale; the window re-renders
// it at the next mouse move over the preview.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "dialogs/panel_image.h"

class QFrame;
class QLabel;

namespace pelmora {

// ImageList2: 32 black-and-white glyphs of 14 × 16 pixels. Glyph 2 × i is the
// hexadecimal digit i inside a rounded frame (the flag is 1, shown), glyph
// 2 × i + 1 the same digit without frame (hidden).
class ImageList {
 public:
  static constexpr int kWidth = 14;
  static constexpr int kHeight = 16;
  static constexpr int kCount = 32;

  // The glyphs of the program's resources (one strip of 32 glyphs).
  static const ImageList& ImageList2();

  // Builds the list from a strip of glyphs laid side by side; a dark pixel
  // (grey below 128) is part of the glyph, a light one is see-through.
  explicit ImageList(const QImage& strip);

  int Count() const { return static_cast<int>(m_masks.size()); }
  // Masked drawing: the glyph's dark pixels are painted black with their
  // top-left corner at (x, y); the light ones leave the canvas as it was.
  // An index outside 0..Count()-1 draws nothing.
  void Draw(Canvas& canvas, int x, int y, int index) const;

 private:
  static constexpr int kPitch = (kWidth + 7) / 8;  // bytes per mask row
  std::vector<std::array<std::uint8_t, kPitch * kHeight>> m_masks;
};

class QuickPanel : public QWidget {
 public:
  // Tags of the two ALL buttons.
  static constexpr int kAllTag = 17;

  // The panel edits the main window's own tables; they must outlive it.
  // A flag counts as shown only when it equals 1.
  QuickPanel(std::array<std::uint8_t, 256>& LayerVisible,
             std::array<std::uint8_t, 16>& GroupVisible, int& LayerPanelGroup,
             bool& PreviewStale, QWidget* parent = nullptr);

  // Redraw the 16 group buttons from GroupVisible and mark LayerPanelGroup.
  void preGroupe();
  // Redraw the 16 layer buttons from the layers of LayerPanelGroup.
  void preLayer();

  // Mouse presses, by the pressed control's tag (group or layer 0..15).
  // Tool tips of the buttons: a group's (0..15) and a layer's (layer byte
  // 0..255); empty functions leave the buttons without tips.
  std::function<QString(int group)> group_tip;
  std::function<QString(int layer)> layer_tip;

  void Image2MouseDown(Qt::MouseButton button, int tag);
  void Image18MouseDown(Qt::MouseButton button);
  void Image19MouseDown(Qt::MouseButton button, int tag);
  void Image27aMouseDown(Qt::MouseButton button);

  // Panel3 (groups) and Panel4 (layers) are shown and hidden together.
  void SetPanelsVisible(bool visible);
  QFrame* Panel3() const { return m_panel3; }
  QFrame* Panel4() const { return m_panel4; }
  QLabel* Label27() const { return m_label27; }
  PanelImage* GroupButton(int group) const { return m_group_buttons[group]; }
  PanelImage* LayerButton(int layer) const { return m_layer_buttons[layer]; }
  PanelImage* Image18() const { return m_image18; }
  PanelImage* Image27a() const { return m_image27a; }

 private:
  void DrawButtons(const std::array<PanelImage*, 16>& buttons,
                   const std::function<bool(int index)>& shown);
  void UpdateLabel27();

  std::array<std::uint8_t, 256>& m_layer_visible;
  std::array<std::uint8_t, 16>& m_group_visible;
  int& m_layer_panel_group;
  bool& m_preview_stale;

  QFrame* m_panel3 = nullptr;
  QFrame* m_panel4 = nullptr;
  QLabel* m_label27 = nullptr;
  std::array<PanelImage*, 16> m_group_buttons{};  // Image2 .. Image17
  std::array<PanelImage*, 16> m_layer_buttons{};  // Image19 .. Image34
  PanelImage* m_image18 = nullptr;
  PanelImage* m_image27a = nullptr;
};

}  // namespace pelmora
