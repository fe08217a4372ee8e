#include "app/quick_panel.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstring>

namespace pelmora {

namespace {

constexpr char kImageList2Resource[] = ":/panel/imagelist2.png";
constexpr char kAllResource[] = ":/panel/all.png";

constexpr int kPanelWidth = 133;
constexpr int kPanelHeight = 57;
constexpr Colour kWhite = 0xFFFFFF;
// Exclusive-or colour of the mark on the group whose layers are shown: white
// turns light green, black turns purple.
constexpr Colour kMarkColour = 0x800080;

const char kHexDigits[] = "0123456789ABCDEF";

bool Shown(std::uint8_t flag) { return flag == 1; }
std::uint8_t Toggled(std::uint8_t flag) { return flag == 1 ? 0 : 1; }

// Buttons of one row pair: index 0..7 upper row, 8..15 lower row; neighbours
// overlap by one pixel.
QPoint ButtonPosition(int index) { return {20 + 13 * (index % 8), index < 8 ? 20 : 35}; }

QFrame* MakePanel(const char* name, QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setFixedSize(kPanelWidth, kPanelHeight);
  return panel;
}

}  // namespace

// ---------------------------------------------------------------------------
// ImageList

const ImageList& ImageList::ImageList2() {
  static const ImageList list{(LoadPanelResources(), QImage(QString::fromLatin1(kImageList2Resource)))};
  return list;
}

ImageList::ImageList(const QImage& strip) {
  const int count = strip.height() >= kHeight ? strip.width() / kWidth : 0;
  m_masks.resize(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    auto& mask = m_masks[static_cast<std::size_t>(n)];
    mask.fill(0);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (qGray(strip.pixel(n * kWidth + x, y)) < 128) {
          mask[static_cast<std::size_t>(y * kPitch + x / 8)] |=
              static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
      }
    }
  }
}

void ImageList::Draw(Canvas& canvas, int x, int y, int index) const {
  if (index < 0 || index >= Count()) return;
  canvas.FillMask(x, y, kWidth, kHeight, m_masks[static_cast<std::size_t>(index)].data(), kPitch,
                  0x000000);
}

// ---------------------------------------------------------------------------
// QuickPanel

QuickPanel::QuickPanel(std::array<std::uint8_t, 256>& LayerVisible,
                       std::array<std::uint8_t, 16>& GroupVisible, int& LayerPanelGroup,
                       bool& PreviewStale, QWidget* parent)
    : QWidget(parent),
      m_layer_visible(LayerVisible),
      m_group_visible(GroupVisible),
      m_layer_panel_group(LayerPanelGroup),
      m_preview_stale(PreviewStale) {
  setObjectName(QStringLiteral("QuickPanel"));
  m_panel3 = MakePanel("Panel3", this);
  m_panel4 = MakePanel("Panel4", this);
  m_panel4->move(0, kPanelHeight);
  setFixedSize(kPanelWidth, 2 * kPanelHeight);

  auto* caption = new QLabel(QStringLiteral("グループ"), m_panel3);
  caption->setObjectName(QStringLiteral("Label26"));
  caption->move(8, 6);
  m_label27 = new QLabel(QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ 0]"), m_panel4);
  m_label27->setObjectName(QStringLiteral("Label27"));
  m_label27->move(8, 6);

  LoadPanelResources();
  const QImage all_picture(QString::fromLatin1(kAllResource));
  m_image18 = new PanelImage(14, 31, kAllTag, m_panel3);
  m_image18->setObjectName(QStringLiteral("Image18"));
  m_image18->move(7, 20);
  m_image18->SetPicture(all_picture);
  m_image18->OnPress([this](Qt::MouseButton button, int) { Image18MouseDown(button); });

  m_image27a = new PanelImage(14, 31, kAllTag, m_panel4);
  m_image27a->setObjectName(QStringLiteral("Image27a"));
  m_image27a->move(7, 20);
  m_image27a->SetPicture(all_picture);
  m_image27a->OnPress([this](Qt::MouseButton button, int) { Image27aMouseDown(button); });

  for (int n = 0; n < 16; ++n) {
    auto* group = new PanelImage(ImageList::kWidth, ImageList::kHeight, n, m_panel3);
    group->setObjectName(QStringLiteral("Image%1").arg(n + 2));
    group->move(ButtonPosition(n));
    group->OnPress([this](Qt::MouseButton button, int tag) { Image2MouseDown(button, tag); });
    m_group_buttons[static_cast<std::size_t>(n)] = group;
  }
  for (int n = 0; n < 16; ++n) {
    auto* layer = new PanelImage(ImageList::kWidth, ImageList::kHeight, n, m_panel4);
    layer->setObjectName(QStringLiteral("Image%1").arg(n + 19));
    layer->move(ButtonPosition(n));
    layer->OnPress([this](Qt::MouseButton button, int tag) { Image19MouseDown(button, tag); });
    m_layer_buttons[static_cast<std::size_t>(n)] = layer;
  }
}

void QuickPanel::SetPanelsVisible(bool visible) {
  m_panel3->setVisible(visible);
  m_panel4->setVisible(visible);
  // The container follows, so that a hidden panel leaves no gap in its parent.
  setVisible(visible);
}

void QuickPanel::DrawButtons(const std::array<PanelImage*, 16>& buttons,
                             const std::function<bool(int index)>& shown) {
  const ImageList& glyphs = ImageList::ImageList2();
  for (int n = 0; n < 16; ++n) {
    PanelImage* button = buttons[static_cast<std::size_t>(n)];
    Canvas canvas(button->Picture());
    canvas.SetPenMode(PenMode::kCopy);
    canvas.SetPenColour(kWhite);
    canvas.SetBrushColour(kWhite);
    canvas.SetBrushStyle(BrushStyle::kSolid);
    canvas.Rectangle(0, 0, 15, 17);
    glyphs.Draw(canvas, 0, 0, shown(n) ? 2 * n : 2 * n + 1);
  }
}

void QuickPanel::preGroupe() {
  DrawButtons(m_group_buttons, [this](int g) { return Shown(m_group_visible[g]); });
  if (m_layer_panel_group >= 0 && m_layer_panel_group < 16) {
    PanelImage* marked = m_group_buttons[static_cast<std::size_t>(m_layer_panel_group)];
    Canvas canvas(marked->Picture());
    canvas.SetPenMode(PenMode::kXor);
    canvas.SetPenColour(kMarkColour);
    canvas.SetPenWidth(1);
    for (int x = 1; x <= 12; ++x) {
      canvas.MoveTo(x, 1);
      canvas.LineTo(x, 16);
    }
  }
  for (PanelImage* button : m_group_buttons) button->PictureChanged();
  if (group_tip)
    for (int g = 0; g < 16; ++g) m_group_buttons[static_cast<std::size_t>(g)]->setToolTip(group_tip(g));
}

void QuickPanel::preLayer() {
  const int base = (m_layer_panel_group & 15) * 16;
  DrawButtons(m_layer_buttons, [this, base](int l) { return Shown(m_layer_visible[base + l]); });
  for (PanelImage* button : m_layer_buttons) button->PictureChanged();
  if (layer_tip)
    for (int l = 0; l < 16; ++l)
      m_layer_buttons[static_cast<std::size_t>(l)]->setToolTip(layer_tip(base + l));
}

void QuickPanel::UpdateLabel27() {
  m_label27->setText(QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ ") +
                     QLatin1Char(kHexDigits[m_layer_panel_group & 15]) + QLatin1Char(']'));
}

void QuickPanel::Image2MouseDown(Qt::MouseButton button, int tag) {
  if (tag < 0 || tag >= 16) return;
  if (button == Qt::RightButton) {
    m_layer_panel_group = tag;
    m_group_visible[tag] = 1;
    preLayer();
  } else {
    m_group_visible[tag] = Toggled(m_group_visible[tag]);
  }
  preGroupe();
  m_preview_stale = true;
  UpdateLabel27();
}

void QuickPanel::Image18MouseDown(Qt::MouseButton) {
  // Group 0 alone decides, whatever the other fifteen show.
  m_group_visible.fill(Shown(m_group_visible[0]) ? 0 : 1);
  preGroupe();
  m_preview_stale = true;
}

void QuickPanel::Image19MouseDown(Qt::MouseButton, int tag) {
  if (tag < 0 || tag >= 16) return;
  std::uint8_t& flag = m_layer_visible[(m_layer_panel_group & 15) * 16 + tag];
  flag = Toggled(flag);
  preLayer();
  m_preview_stale = true;
}

void QuickPanel::Image27aMouseDown(Qt::MouseButton) {
  const int base = (m_layer_panel_group & 15) * 16;
  const std::uint8_t value = Shown(m_layer_visible[base]) ? 0 : 1;
  std::memset(m_layer_visible.data() + base, value, 16);
  preLayer();
  m_preview_stale = true;
}

}  // namespace pelmora
