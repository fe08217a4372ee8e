#include "dialogs/unit5.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>


#include "dialogs/layer_names.h"
#include "dialogs/panel_image.h"
#include "dialogs/ui_fonts.h"
#include "render/visibility_render.h"
#include "render/palettes.h"
#include "settings/settings_fields.h"

namespace pelmora {

namespace {

constexpr int kClientWidth = 632;
constexpr int kClientHeight = 334;
constexpr int kStatusHeight = 19;
constexpr int kLeftPanelWidth = 97;
constexpr int kMiddlePanelWidth = 444;
const char* const kGroupCaptions[16] = {
    "ｸﾞﾙｰﾌﾟ 0", "ｸﾞﾙｰﾌﾟ 1", "ｸﾞﾙｰﾌﾟ 2", "ｸﾞﾙｰﾌﾟ 3", "ｸﾞﾙｰﾌﾟ 4", "ｸﾞﾙｰﾌﾟ 5",
    "ｸﾞﾙｰﾌﾟ 6", "ｸﾞﾙｰﾌﾟ 7", "ｸﾞﾙｰﾌﾟ 8", "ｸﾞﾙｰﾌﾟ 9", "ｸﾞﾙｰﾌﾟ A", "ｸﾞﾙｰﾌﾟ B",
    "ｸﾞﾙｰﾌﾟ C", "ｸﾞﾙｰﾌﾟ D", "ｸﾞﾙｰﾌﾟ E", "ｸﾞﾙｰﾌﾟ F"};

QFrame* MakePanel(const char* name, QWidget* parent, const QRect& geometry) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setGeometry(geometry);
  return panel;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int x, int y) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(x, y, 75, 25);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

// ---------------------------------------------------------------------------
// LayerOverlay

LayerOverlay::LayerOverlay(int tag, QWidget* parent) : QWidget(parent), m_tag(tag) {
  setContextMenuPolicy(Qt::PreventContextMenu);
}

void LayerOverlay::SetHatched(bool hatched, Colour cross_colour) {
  m_hatched = hatched;
  m_cross_colour = cross_colour;
  update();
}

void LayerOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The hatch leaves the thumbnail visible between its lines.
  painter.setBackgroundMode(Qt::TransparentMode);
  if (m_hatched) {
    const QColor cross(RedOf(m_cross_colour), GreenOf(m_cross_colour), BlueOf(m_cross_colour));
    painter.fillRect(rect().adjusted(1, 1, -1, -1), QBrush(cross, Qt::DiagCrossPattern));
  }
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void LayerOverlay::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (m_on_press) m_on_press(m_tag);
}

// ---------------------------------------------------------------------------
// TForm5

TForm5::TForm5(const Tjwcin& reader, const Settings& settings,
               std::array<std::uint8_t, 256>& LayerVisible,
               std::array<std::uint8_t, 16>& GroupVisible, QWidget* owner)
    : QDialog(owner),
      m_reader(reader),
      m_settings(settings),
      m_layer_visible(LayerVisible),
      m_group_visible(GroupVisible) {
  setObjectName(QStringLiteral("Form5"));
  setWindowTitle(QStringLiteral("表示ﾚｲﾔ設定"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(GothicFont(false, 12));
  setFixedSize(kClientWidth, kClientHeight);
  BuildControls();

  // FormCreate
  CentreOn(*this, owner);
  m_selected_group = 0;
  m_work_layer_visible = m_layer_visible;
  m_work_group_visible = m_group_visible;
  m_cross_colour = (ColourEntry(m_settings, 0) ^ 0xFFFFFF) & 0xFFFFFF;
}

void TForm5::BuildControls() {
  const int panel_height = kClientHeight - kStatusHeight;
  QFrame* left = MakePanel("Panel1", this, {0, 0, kLeftPanelWidth, panel_height});
  QFrame* middle = MakePanel("Panel2", this, {kLeftPanelWidth, 0, kMiddlePanelWidth, panel_height});
  const int right_x = kLeftPanelWidth + kMiddlePanelWidth;
  QFrame* right = MakePanel("Panel3", this, {right_x, 0, kClientWidth - right_x, panel_height});

  for (int n = 1; n <= 16; ++n) {
    auto* radio = new QRadioButton(QString::fromUtf8(kGroupCaptions[n - 1]), left);
    radio->setObjectName(QStringLiteral("RadioButton%1").arg(n));
    radio->setGeometry(8, 6 + 17 * (n - 1), kLeftPanelWidth - 12, 17);
    radio->setProperty("tag", n);
    connect(radio, &QRadioButton::clicked, this, [this, n] { RadioButton1Click(n); });
    m_radio_buttons[static_cast<std::size_t>(n - 1)] = radio;
  }
  m_radio_buttons[0]->setChecked(true);

  m_check_box = new QCheckBox(QStringLiteral("グループ"), left);
  m_check_box->setObjectName(QStringLiteral("CheckBox1"));
  m_check_box->setGeometry(8, 6 + 17 * 16 + 14, kLeftPanelWidth - 12, 17);
  // Fires when clicked and when DrawImage sets it, as the original's did.
  connect(m_check_box, &QCheckBox::toggled, this, [this](bool checked) { CheckBox1Click(checked); });

  for (int n = 1; n <= 16; ++n) {
    const int row = (n - 1) / 4;
    const int column = (n - 1) % 4;
    const QPoint at(8 + 108 * column, 8 + 76 * row);
    auto* image = new PanelImage(kThumbnailWidth, kThumbnailHeight, n, middle);
    image->setObjectName(QStringLiteral("Image%1").arg(n));
    image->move(at);
    auto* shape = new LayerOverlay(n, middle);
    shape->setObjectName(QStringLiteral("Shape%1").arg(n));
    shape->setGeometry(QRect(at, QSize(kThumbnailWidth, kThumbnailHeight)));
    shape->OnPress([this](int tag) { Shape1MouseDown(tag); });
    m_images[static_cast<std::size_t>(n - 1)] = image;
    m_shapes[static_cast<std::size_t>(n - 1)] = shape;
  }

  QPushButton* hide_all = MakeButton("Button3", QStringLiteral("全て隠す"), right, 8, 8);
  QPushButton* show_all = MakeButton("Button4", QStringLiteral("全て表示"), right, 8, 40);
  QPushButton* invert = MakeButton("Button5", QStringLiteral("選択の反転"), right, 8, 72);
  QPushButton* ok = MakeButton("Button1", QStringLiteral("OK"), right, 8, panel_height - 66);
  QPushButton* cancel =
      MakeButton("Button2", QStringLiteral("Cancel"), right, 8, panel_height - 34);
  connect(hide_all, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(show_all, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(invert, &QPushButton::clicked, this, [this] { Button5Click(); });
  // Enter means OK wherever the focus is; Escape is Cancel (QDialog's reject).
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(cancel, &QPushButton::clicked, this, [this] { Button2Click(); });

  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusBar1"));
  status->setSizeGripEnabled(false);
  status->setGeometry(0, panel_height, kClientWidth, kStatusHeight);
  auto* hint = new QLabel(QStringLiteral("表示の切替はイメージをクリックする度に変わります。"), status);
  status->addWidget(hint, 1);
}

void TForm5::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_shown_once) {
    m_shown_once = true;
    FormShow();
  }
}

void TForm5::FormShow() {
  m_selected_group = 0;
  DrawImage(kThumbnailWidth, kThumbnailHeight, 0, kThumbnailHeight, kThumbnailScale, 0);
}

int TForm5::DrawImage(int width, int height, int originX, int originY, float scale, int) {
  // Disabling the dialog takes the focus away; the control the user chose the
  // group with gets it back.
  QPointer<QWidget> focused = QApplication::focusWidget();
  if (focused != nullptr && !isAncestorOf(focused)) focused = nullptr;
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);

  const auto images = DrawLayerImages(m_reader, m_settings, GroupMask(m_selected_group), width,
                                      height, originX, originY, scale);
  for (std::size_t k = 0; k < images.size(); ++k) m_images[k]->SetPicture(*images[k]);

  const int base = m_selected_group * 16;
  for (int n = 1; n <= 16; ++n) ShowLayer(n, m_work_layer_visible[base + n - 1] != 0);
  for (int n = 1; n <= 16; ++n)
    m_images[static_cast<std::size_t>(n - 1)]->setToolTip(LayerTip(m_reader, base + n - 1));
  m_check_box->setChecked(m_work_group_visible[m_selected_group] == 1);

  QApplication::restoreOverrideCursor();
  setEnabled(true);
  if (focused != nullptr) focused->setFocus(Qt::OtherFocusReason);
  return 0;
}

void TForm5::ShowLayer(int n, bool shown) {
  m_shapes[static_cast<std::size_t>(n - 1)]->SetHatched(!shown, m_cross_colour);
}

void TForm5::RadioButton1Click(int tag) {
  if (tag < 1 || tag > 16) return;
  m_selected_group = tag - 1;
  DrawImage(kThumbnailWidth, kThumbnailHeight, 0, kThumbnailHeight, kThumbnailScale, 0);
}

void TForm5::Shape1MouseDown(int tag) {
  if (tag < 1 || tag > 16) return;
  // The overlay's look decides, not the flag; every change sets both.
  std::uint8_t& flag = m_work_layer_visible[m_selected_group * 16 + tag - 1];
  if (!m_shapes[static_cast<std::size_t>(tag - 1)]->Hatched()) {
    flag = 0;
    ShowLayer(tag, false);
  } else {
    flag = 1;
    ShowLayer(tag, true);
  }
}

void TForm5::Button3Click() {
  for (int n = 1; n <= 16; ++n) {
    m_work_layer_visible[m_selected_group * 16 + n - 1] = 0;
    ShowLayer(n, false);
  }
}

void TForm5::Button4Click() {
  for (int n = 1; n <= 16; ++n) {
    m_work_layer_visible[m_selected_group * 16 + n - 1] = 1;
    ShowLayer(n, true);
  }
}

void TForm5::Button5Click() {
  for (int n = 1; n <= 16; ++n) Shape1MouseDown(n);
}

void TForm5::CheckBox1Click(bool checked) {
  m_work_group_visible[m_selected_group] = checked ? 1 : 0;
}

void TForm5::Button1Click() {
  m_layer_visible = m_work_layer_visible;
  m_group_visible = m_work_group_visible;
  accept();
}

void TForm5::Button2Click() { reject(); }

}  // namespace pelmora
