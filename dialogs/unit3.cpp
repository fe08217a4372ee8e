#include "dialogs/unit3.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>
#include <string>

#include "app/modal_seam.h"
#include "app/quick_panel.h"
#include "app/ui_fonts.h"
#include "platform/fonts/face_lookup.h"
#include "platform/raster/canvas.h"
#include "settings/store.h"

namespace pelmora {

namespace {

constexpr int kClientWidth = 379;
constexpr int kClientHeight = 285;
constexpr int kPenWidthMin = 1;
constexpr int kPenWidthMax = 99;
constexpr int kDotMin = 1;
constexpr int kDotMax = 100;
constexpr int kPresetImageWidth = 48;
constexpr int kPresetImageHeight = 4;
const QString kRegisterHint = QStringLiteral("現在の設定をボタンに登録します。");

// "ﾃﾞﾌｫﾙﾄ": swatches 1..6, then the background (swatch 7).
constexpr std::array<Colour, 7> kDefaultSwatches = {0xFFFF00, 0xFFFFFF, 0x00FF00, 0x00FFFF,
                                                     0xFF00FF, 0xFF0000, 0x000000};

// Windows' Japanese faces, offered when the text renderer has a stand-in for them.
const char* const kWindowsJapaneseFaces[] = {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝",
                                             "ＭＳ Ｐ明朝"};

// Slot of a preset that swatch n (1..7) shows: pens 1..6 in slots 1..6, the
// background (swatch 7) in slot 0.
std::size_t SlotOfSwatch(int n) { return n == 7 ? 0 : static_cast<std::size_t>(n); }

QLabel* MakeLabel(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  return label;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent,
                        const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheckBox(const char* name, const QString& caption, QWidget* parent, int x, int y) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->move(x, y);
  return box;
}

// Discards every printable character that TForm3::Edit1KeyPress refuses. Keys
// that type nothing (arrows, Delete, Tab) and the editing shortcuts pass, as
// they never reach a key filter on the original platform.
class DigitKeyFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.isEmpty()) return false;
    const QChar c = text.front();
    // Only printable characters are filtered: control characters (Ctrl+A,
    // Ctrl+C, Ctrl+V, Tab, Delete) and shortcuts keep their editing meaning.
    if (!c.isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) return false;
    return !TForm3::Edit1KeyPress(c);
  }
};

QLineEdit* MakeNumberField(const char* name, QWidget* parent, const QRect& geometry,
                           int max_length, QObject* key_filter) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(geometry);
  edit->setMaxLength(max_length);
  edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edit->setAttribute(Qt::WA_InputMethodEnabled, false);
  edit->installEventFilter(key_filter);
  return edit;
}

}  // namespace

QString ColorHintText(Colour colour) {
  return QStringLiteral("R:%1,G:%2,B:%3").arg(RedOf(colour)).arg(GreenOf(colour)).arg(BlueOf(colour));
}

QStringList FontFaceNames() {
  QStringList names;
  // The process's own fontconfig set-up, the one the text renderer uses.
  if (FcInit()) {
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, nullptr);
    FcFontSet* fonts = (pattern && objects) ? FcFontList(nullptr, pattern, objects) : nullptr;
    for (int i = 0; fonts != nullptr && i < fonts->nfont; ++i) {
      const FcPattern* font = fonts->fonts[i];
      FcChar8* family = nullptr;
      if (FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch) continue;
      QString name = QString::fromUtf8(reinterpret_cast<const char*>(family));
      // The name a Japanese system shows, where the font has one.
      FcChar8* lang = nullptr;
      for (int id = 0; FcPatternGetString(font, FC_FAMILYLANG, id, &lang) == FcResultMatch; ++id) {
        if (qstrcmp(reinterpret_cast<const char*>(lang), "ja") == 0 &&
            FcPatternGetString(font, FC_FAMILY, id, &family) == FcResultMatch) {
          name = QString::fromUtf8(reinterpret_cast<const char*>(family));
          break;
        }
      }
      if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    if (fonts) FcFontSetDestroy(fonts);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
  }
  for (const char* face : kWindowsJapaneseFaces) {
    const QString name = QString::fromUtf8(face);
    if (!names.contains(name) && ChooseFace(face).Found()) names << name;
  }
  return names;
}

// ---------------------------------------------------------------------------
// ColourSwatch

ColourSwatch::ColourSwatch(int tag, QWidget* parent) : QWidget(parent), m_tag(tag) {
  setContextMenuPolicy(Qt::PreventContextMenu);
}

void ColourSwatch::SetColor(Colour colour) {
  m_colour = colour;
  update();
}

void ColourSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(QColor(RedOf(m_colour), GreenOf(m_colour), BlueOf(m_colour)));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ColourSwatch::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (m_on_press) m_on_press(m_tag);
}

// ---------------------------------------------------------------------------
// UpDown

UpDown::UpDown(QLineEdit* associate, int min, int max, QWidget* parent)
    : QWidget(parent), m_edit(associate), m_min(min), m_max(max), m_position(min) {
  const QRect field = associate->geometry();
  setGeometry(field.right() + 1, field.top(), 15, field.height());
  m_up = new QToolButton(this);
  m_up->setArrowType(Qt::UpArrow);
  m_up->setGeometry(0, 0, 15, field.height() / 2);
  m_down = new QToolButton(this);
  m_down->setArrowType(Qt::DownArrow);
  m_down->setGeometry(0, field.height() / 2, 15, field.height() - field.height() / 2);
  for (QToolButton* arrow : {m_up, m_down}) {
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
  }
  connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
  connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
  connect(m_edit, &QLineEdit::textEdited, this, [this] { TakeText(); });
  m_edit->installEventFilter(this);
  SetPosition(min);
}

void UpDown::TakeText() const {
  bool ok = false;
  const int value = m_edit->text().trimmed().toInt(&ok);
  if (ok && value >= m_min && value <= m_max) m_position = value;
}

int UpDown::Position() const {
  TakeText();
  return m_position;
}

void UpDown::SetPosition(int position) {
  m_position = std::clamp(position, m_min, m_max);
  m_edit->setText(QString::number(m_position));
}

void UpDown::Step(int delta) {
  TakeText();
  SetPosition(m_position + delta);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_edit && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// TForm3

TForm3::TForm3(Settings& settings, const SettingsStore& store, ModalSeam& seam, QWidget* owner)
    : QDialog(owner), m_settings(settings), m_store(store), m_seam(seam) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("設定"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(GothicFont(/*proportional=*/false, 12));
  setFixedSize(kClientWidth, kClientHeight);

  m_pages = new QTabWidget(this);
  m_pages->setObjectName(QStringLiteral("PageControl1"));
  m_pages->setGeometry(4, 4, kClientWidth - 8, 246);
  auto* pen_page = new QWidget;
  pen_page->setObjectName(QStringLiteral("TabSheet1"));
  auto* options_page = new QWidget;
  options_page->setObjectName(QStringLiteral("TabSheet2"));
  m_pages->addTab(pen_page, QStringLiteral("線色設定"));
  m_pages->addTab(options_page, QStringLiteral("環境設定"));
  BuildPenPage(pen_page);
  BuildOptionsPage(options_page);

  QPushButton* ok =
      MakeButton("Button13", QStringLiteral("OK"), this, {kClientWidth - 166, 256, 75, 25});
  QPushButton* cancel =
      MakeButton("Button14", QStringLiteral("Cancel"), this, {kClientWidth - 83, 256, 75, 25});
  // Enter means OK wherever the focus is; Escape is Cancel (QDialog's reject).
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Button13Click(); });
  connect(cancel, &QPushButton::clicked, this, [this] { Button14Click(); });

  // FormCreate
  m_presets = m_store.LoadColourPresets();
  CentreOn(*this, owner);
  LoadWorkingCopy();
  m_fonts->addItems(FontFaceNames());
  // Face names compare without regard to case, as the window system's list does.
  const int index =
      m_fonts->findText(QString::fromStdString(m_settings.FontName), Qt::MatchFixedString);
  // An unknown face selects the second entry; a list that short selects nothing.
  m_fonts->setCurrentIndex(index >= 0 ? index : (m_fonts->count() > 1 ? 1 : -1));
  m_accepted = false;
  HintChange();
  for (int n = 1; n <= kColourPresetCount; ++n) DrawPresetImage(n);
}

void TForm3::BuildPenPage(QWidget* page) {
  auto* key_filter = new DigitKeyFilter(this);

  auto* pens = new QGroupBox(QStringLiteral("線色"), page);
  pens->setObjectName(QStringLiteral("GroupBox1"));
  pens->setGeometry(6, 4, 218, 210);
  MakeLabel(QStringLiteral("（線色）"), pens, 50, 18);
  MakeLabel(QStringLiteral("（線幅）"), pens, 146, 18);
  const char* const row_names[7] = {"ペン１", "ペン２", "ペン３", "ペン４",
                                    "ペン５", "ペン６", "背景色"};
  for (int n = 1; n <= 7; ++n) {
    const int y = 38 + 24 * (n - 1);
    MakeLabel(QString::fromUtf8(row_names[n - 1]), pens, 8, y + 3);
    auto* swatch = new ColourSwatch(n, pens);
    swatch->setObjectName(QStringLiteral("Shape%1").arg(n));
    swatch->setGeometry(52, y, 32, 20);
    swatch->OnPress([this](int tag) { ShapeMouseDown(tag); });
    m_shapes[static_cast<std::size_t>(n - 1)] = swatch;
    QPushButton* pick = MakeButton(QStringLiteral("Button%1").arg(n + 5).toLatin1().constData(),
                                   QStringLiteral("色設定"), pens, {90, y, 52, 20});
    pick->setProperty("tag", n);
    connect(pick, &QPushButton::clicked, this, [this, n] { ButtonClick(n); });
    if (n <= 6) {
      QLineEdit* edit = MakeNumberField(QStringLiteral("Edit%1").arg(n).toLatin1().constData(), pens,
                                        {154, y, 30, 20}, 2, key_filter);
      auto* updown = new UpDown(edit, kPenWidthMin, kPenWidthMax, pens);
      updown->setObjectName(QStringLiteral("UpDown%1").arg(n));
      m_edits[static_cast<std::size_t>(n - 1)] = edit;
      m_updowns[static_cast<std::size_t>(n - 1)] = updown;
    }
  }

  auto* presets = new QGroupBox(QStringLiteral("線色簡易設定"), page);
  presets->setObjectName(QStringLiteral("GroupBox2"));
  presets->setGeometry(230, 4, 131, 210);
  for (int n = 1; n <= kColourPresetCount; ++n) {
    const int y = 18 + 32 * (n - 1);
    QPushButton* recall =
        MakeButton(QStringLiteral("Button%1").arg(n).toLatin1().constData(),
                   QString::fromStdString(ColourPresetCaption(n)), presets, {10, y, 80, 20});
    recall->setProperty("tag", n);
    connect(recall, &QPushButton::clicked, this, [this, n] { Button1Click(n); });
    QPushButton* store =
        MakeButton(QStringLiteral("Button%1").arg(n + 14).toLatin1().constData(),
                   QStringLiteral("R"), presets, {94, y, 22, 20});
    store->setProperty("tag", n);
    store->setToolTip(kRegisterHint);
    connect(store, &QPushButton::clicked, this, [this, n] { Button15Click(n); });
    auto* image = new PanelImage(kPresetImageWidth, kPresetImageHeight, n, presets);
    image->setObjectName(QStringLiteral("Image%1").arg(n));
    image->move(10 + (80 - kPresetImageWidth) / 2, y + 23);
    // A fresh picture is white; the six unpainted columns stay so.
    Canvas canvas(image->Picture());
    canvas.SetPenColour(0xFFFFFF);
    canvas.SetBrushColour(0xFFFFFF);
    canvas.Rectangle(0, 0, kPresetImageWidth, kPresetImageHeight);
    m_preset_images[static_cast<std::size_t>(n - 1)] = image;
  }
  QPushButton* defaults =
      MakeButton("Button20", QStringLiteral("ﾃﾞﾌｫﾙﾄ"), presets, {10, 18 + 32 * 5, 80, 22});
  connect(defaults, &QPushButton::clicked, this, [this] { Button20Click(); });
}

void TForm3::BuildOptionsPage(QWidget* page) {
  auto* key_filter = new DigitKeyFilter(this);

  auto* options = new QGroupBox(QStringLiteral("オプション"), page);
  options->setObjectName(QStringLiteral("GroupBox3"));
  options->setGeometry(6, 4, 355, 140);
  m_check_no9 = MakeCheckBox("CheckBox1", QStringLiteral("補助線を描画する。"), options, 16, 22);
  m_check_text = MakeCheckBox("CheckBox2", QStringLiteral("文字を描画する。"), options, 16, 46);
  MakeLabel(QStringLiteral("ﾌｫﾝﾄ名"), options, 36, 73);
  m_fonts = new QComboBox(options);
  m_fonts->setObjectName(QStringLiteral("ComboBox1"));
  m_fonts->setEditable(false);
  m_fonts->setGeometry(90, 69, 220, 22);
  m_fonts->setMaxVisibleItems(16);
  m_check_dpi = MakeCheckBox("CheckBox3", QStringLiteral("解像度を左上に描く。"), options, 16, 96);
  m_check_palette =
      MakeCheckBox("CheckBox4", QStringLiteral("保存ファイルにパレットを設定する。"), options, 16, 118);

  auto* other = new QGroupBox(QStringLiteral("その他"), page);
  other->setObjectName(QStringLiteral("GroupBox4"));
  other->setGeometry(6, 150, 355, 56);
  MakeLabel(QStringLiteral("点の大きさ"), other, 16, 25);
  m_edit8 = MakeNumberField("Edit8", other, {90, 21, 36, 20}, 3, key_filter);
  m_updown8 = new UpDown(m_edit8, kDotMin, kDotMax, other);
  m_updown8->setObjectName(QStringLiteral("UpDown8"));
}

void TForm3::LoadWorkingCopy() {
  const std::array<Colour, 7> colours = {m_settings.Color1, m_settings.Color2, m_settings.Color3,
                                         m_settings.Color4, m_settings.Color5, m_settings.Color6,
                                         m_settings.BackColor};
  for (int n = 1; n <= 7; ++n) Shape(n)->SetColor(colours[static_cast<std::size_t>(n - 1)]);
  const std::array<int, 6> widths = {m_settings.PenWidth1, m_settings.PenWidth2,
                                     m_settings.PenWidth3, m_settings.PenWidth4,
                                     m_settings.PenWidth5, m_settings.PenWidth6};
  for (int n = 1; n <= 6; ++n) WidthUpDown(n)->SetPosition(widths[static_cast<std::size_t>(n - 1)]);
  m_updown8->SetPosition(m_settings.Dot);
  m_check_no9->setChecked(m_settings.No9);
  m_check_text->setChecked(m_settings.TextMode);
  m_check_dpi->setChecked(m_settings.WriteDPI);
  m_check_palette->setChecked(m_settings.usePalette);
}

void TForm3::ShowPageOfTag(int tag) { m_pages->setCurrentIndex(tag == 5 ? 1 : 0); }

void TForm3::HintChange() {
  for (ColourSwatch* swatch : m_shapes) swatch->setToolTip(ColorHintText(swatch->Color()));
}

void TForm3::PickColour(int tag) {
  if (tag < 1 || tag > 7) return;
  ColourSwatch* swatch = Shape(tag);
  if (const auto colour = m_seam.PickColour(this, swatch->Color())) {
    swatch->SetColor(*colour);
    HintChange();
  }
}

void TForm3::ShapeMouseDown(int tag) { PickColour(tag); }
void TForm3::ButtonClick(int tag) { PickColour(tag); }

void TForm3::Button1Click(int tag) {
  if (tag < 1 || tag > kColourPresetCount) return;
  const ColourPreset& preset = m_presets[static_cast<std::size_t>(tag - 1)];
  for (int n = 1; n <= 7; ++n) Shape(n)->SetColor(preset[SlotOfSwatch(n)]);
  HintChange();
}

void TForm3::Button15Click(int tag) {
  if (tag < 1 || tag > kColourPresetCount) return;
  const QString question = QStringLiteral("現在の設定を ") +
                           QString::fromStdString(ColourPresetCaption(tag)) +
                           QStringLiteral(" に登録します。\n\rよろしいですか？");
  if (!m_seam.Confirm(this, kAppTitle, question)) return;
  ColourPreset& preset = m_presets[static_cast<std::size_t>(tag - 1)];
  for (int n = 1; n <= 7; ++n) preset[SlotOfSwatch(n)] = Shape(n)->Color();  // slot 7 stays
  DrawPresetImage(tag);
}

void TForm3::DrawPresetImage(int n) {
  PanelImage* image = PresetImage(n);
  const ColourPreset& preset = m_presets[static_cast<std::size_t>(n - 1)];
  Canvas canvas(image->Picture());
  canvas.SetPenMode(PenMode::kCopy);
  canvas.SetBrushStyle(BrushStyle::kSolid);
  // Pens 1..6 at x = 7(k − 1) .. 7(k − 1) + 6 (exclusive), the background last.
  const auto paint = [&canvas](Colour colour, int left) {
    canvas.SetPenColour(colour);
    canvas.SetBrushColour(colour);
    canvas.Rectangle(left, 0, left + 6, kPresetImageHeight);
  };
  for (int k = 1; k <= 6; ++k) paint(preset[static_cast<std::size_t>(k)], 7 * (k - 1));
  paint(preset[0], 42);
  image->PictureChanged();
}

void TForm3::Button20Click() {
  for (int n = 1; n <= 7; ++n) Shape(n)->SetColor(kDefaultSwatches[static_cast<std::size_t>(n - 1)]);
  HintChange();
}

bool TForm3::Edit1KeyPress(QChar key) {
  const char16_t c = key.unicode();
  return (c >= u'0' && c <= u'9') || c == 8 || c == 13 || c == 27;
}

void TForm3::Button13Click() {
  m_settings.No9 = m_check_no9->isChecked();
  m_settings.TextMode = m_check_text->isChecked();
  m_settings.WriteDPI = m_check_dpi->isChecked();
  m_settings.usePalette = m_check_palette->isChecked();
  m_settings.Color1 = Shape(1)->Color();
  m_settings.Color2 = Shape(2)->Color();
  m_settings.Color3 = Shape(3)->Color();
  m_settings.Color4 = Shape(4)->Color();
  m_settings.Color5 = Shape(5)->Color();
  m_settings.Color6 = Shape(6)->Color();
  m_settings.BackColor = Shape(7)->Color();
  m_settings.PenWidth1 = WidthUpDown(1)->Position();
  m_settings.PenWidth2 = WidthUpDown(2)->Position();
  m_settings.PenWidth3 = WidthUpDown(3)->Position();
  m_settings.PenWidth4 = WidthUpDown(4)->Position();
  m_settings.PenWidth5 = WidthUpDown(5)->Position();
  m_settings.PenWidth6 = WidthUpDown(6)->Position();
  m_settings.Dot = m_updown8->Position();
  // With no entry selected (a font list of fewer than two names) the face stays.
  if (m_fonts->currentIndex() >= 0) m_settings.FontName = m_fonts->currentText().toStdString();
  m_accepted = true;
  accept();
}

void TForm3::Button14Click() { reject(); }

void TForm3::done(int result) {
  // FormClose, however the dialog closes: a registered preset survives Cancel.
  m_store.SaveColourPresets(m_presets);
  QDialog::done(result);
}

}  // namespace pelmora
