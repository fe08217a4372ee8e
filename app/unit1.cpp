#include "app/unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "dialogs/modal_seam.h"
#include "render/vector_walk.h"
#include "vector/vector_file.h"
#include "app/preview_widgets.h"
#include "app/quick_panel.h"
#include "dialogs/ui_fonts.h"
#include "dialogs/unit2.h"
#include "dialogs/unit3.h"
#include "dialogs/unit4.h"
#include "dialogs/unit5.h"
#include "drawing/jwcunit.h"
#include "drawing/summary.h"
#include "output/bmp_writer.h"
#include "output/clipboard.h"
#include "output/file_encoder.h"
#include "output/image_format.h"
#include "platform/raster/canvas.h"
#include "render/draw_image.h"
#include "settings/settings_fields.h"

// Qt's resource initialiser must be called from the global namespace; the
// pictures live in this static library and would otherwise be dropped.
static void InitPelmoraResources() { Q_INIT_RESOURCE(pelmora); }

namespace pelmora {

namespace {

// Resolutions of the menu items with tags 1..7; tag 8 is the custom value.
constexpr std::array<int, 7> kMenuDpi = {36, 72, 100, 144, 180, 300, 360};
constexpr int kCustomDpiTag = 8;
// Colour depths of the items with tags 1..5.
constexpr std::array<int, 5> kMenuDepth = {1, 4, 8, 16, 24};

const QString kOpenFilter = QStringLiteral("JW_CAD図面(*.jwc)");
// The extension of the chosen name decides the format; a name without one
// gets ".bmp" from the dialog.
const QString kSaveFilter = QStringLiteral(
    "ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp);;PNG(*.png);;TIFF(*.tif *.tiff);;PDF (ベクター)(*.pdf);;PDF (画像)(*.pdf);;"
    "SVG(*.svg);;DXF(*.dxf)");
// The filter that makes a .pdf one image; any other makes it a vector document.
const QString kImagePdfFilter = QStringLiteral("PDF (画像)(*.pdf)");

// Runs a function when the scope is left, unless dismissed.
class ScopeExit {
 public:
  explicit ScopeExit(std::function<void()> action) : m_action(std::move(action)) {}
  ~ScopeExit() {
    if (m_action) m_action();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void Run() {
    if (m_action) std::exchange(m_action, nullptr)();
  }

 private:
  std::function<void()> m_action;
};

// round() of the window's geometry, halves to even, held within the range of
// a pixel coordinate (stored settings may hold anything).
int RoundPixel(long double value) {
  if (std::isnan(value)) return 0;
  constexpr long double kLimit = std::numeric_limits<int>::max();
  return static_cast<int>(std::nearbyint(std::clamp(value, -kLimit, kLimit)));
}

int Saturate(std::int64_t value) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 30;
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

// The box outline and its eight 8 × 8 handles, as DrawBox paints them.
void PaintBox(Canvas& canvas, const SelectionBox& box) {
  canvas.MoveTo(box.x1, box.y1);
  canvas.LineTo(box.x1, box.y2);
  canvas.LineTo(box.x2, box.y2);
  canvas.LineTo(box.x2, box.y1);
  canvas.LineTo(box.x1, box.y1);
  const std::int64_t mx = Middle(box.x1, box.x2), my = Middle(box.y1, box.y2);
  const std::pair<std::int64_t, std::int64_t> centres[] = {
      {box.x1, box.y1}, {box.x1, box.y2}, {box.x2, box.y1}, {box.x2, box.y2},
      {mx, box.y1},     {box.x1, my},     {box.x2, my},     {mx, box.y2}};
  for (const auto& [cx, cy] : centres)
    canvas.Rectangle(Saturate(cx - 4), Saturate(cy - 4), Saturate(cx + 4), Saturate(cy + 4));
}

std::filesystem::path NativePath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString StartFolder(const std::string& stored) {
  const QString folder = QString::fromStdString(stored);
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

QLabel* MakeLabel(const QString& text, const char* name = nullptr) {
  auto* label = new QLabel(text);
  if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
  // A long file name is cut at the panel's edge rather than widening it.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  label->setMinimumWidth(1);
  return label;
}

QAction* MakeAction(QObject* parent, const char* name, const QString& caption, int tag = 0) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  action->setData(tag);
  return action;
}

}  // namespace

QRect PlacedOnScreen(const QRect& window, const QList<QRect>& screens, const QRect& primary) {
  for (const QRect& screen : screens)
    if (screen.intersects(window)) return window;
  if (primary.isEmpty()) return window;
  return QRect(primary.topLeft(), window.size().boundedTo(primary.size()));
}

TForm1::TForm1(ModalSeam& seam, SettingsStore store, QWidget* parent)
    : QMainWindow(parent), m_seam(seam), m_store(std::move(store)) {
  InitPelmoraResources();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kAppTitle);
  setFont(GothicFont(/*proportional=*/false));
  setAcceptDrops(true);
  QIcon icon;
  for (int size : {16, 32, 48, 256})
    icon.addFile(QStringLiteral(":/icons/pelmora-%1.png").arg(size), QSize(size, size));
  setWindowIcon(icon);

  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildPanels();
  BuildStatusBar();
  FormCreate();
}

TForm1::~TForm1() {
  // The override cursors are the application's; leave none behind.
  while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------- building

void TForm1::BuildActions() {
  m_F1 = MakeAction(this, "F1", QStringLiteral("開く(&O)..."));
  m_F1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  m_F2_1 = MakeAction(this, "F2_1", QStringLiteral("BMP(&B)..."));
  m_F2_1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  m_F2_2 = MakeAction(this, "F2_2", QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞ(&C)"));
  m_F2_2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  m_F99 = MakeAction(this, "F99", QStringLiteral("終了(&X)"));
  m_F99->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  m_E1 = MakeAction(this, "E1", QStringLiteral("全体を選択(&A)"));
  m_E3 = MakeAction(this, "E3", QStringLiteral("指定の幅で選択(&S)..."));
  m_E11 = MakeAction(this, "E11", QStringLiteral("ﾂｰﾙﾊﾞｰを隠す(&T)"));
  m_E12 = MakeAction(this, "E12", QStringLiteral("情報を隠す(&A)"));
  m_S3 = MakeAction(this, "S3", QStringLiteral("線色設定(&L)..."), 3);
  m_S4 = MakeAction(this, "S4", QStringLiteral("表示ﾚｲﾔ設定(&V)..."));
  m_S5 = MakeAction(this, "S5", QStringLiteral("環境設定(&O)..."), 5);
  m_H10 = MakeAction(this, "H10", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
  m_N4 = MakeAction(this, "N4", QStringLiteral("ＢＭＰ出力"));
  m_N5 = MakeAction(this, "N5", QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ"));

  const auto on = [this](QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
  };
  on(m_F1, [this] { F1Click(); });
  on(m_F2_1, [this] { SaveBmp(); });
  on(m_N4, [this] { SaveBmp(); });
  on(m_F2_2, [this] { ToolButton3Click(); });
  on(m_N5, [this] { ToolButton3Click(); });
  on(m_F99, [this] { F99Click(); });
  on(m_E1, [this] { E1Click(); });
  on(m_E3, [this] { E3Click(); });
  on(m_E11, [this] { E11Click(); });
  on(m_E12, [this] { E12Click(); });
  on(m_S3, [this] { S3Click(3); });
  on(m_S5, [this] { S3Click(5); });
  on(m_S4, [this] { S4Click(); });
  on(m_H10, [this] { H10Click(); });

  // Radio groups. Qt checks a clicked item by itself; Run() puts the checks
  // back to what the command decided (a cancelled custom size checks nothing).
  const auto radio = [&](auto& items, const char* prefix, int count, auto caption_of,
                         auto handler) {
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (int tag = 1; tag <= count; ++tag) {
      const QByteArray name = QByteArray(prefix) + QByteArray::number(tag);
      QAction* action = MakeAction(this, name.constData(), caption_of(tag), tag);
      action->setCheckable(true);
      group->addAction(action);
      items[static_cast<std::size_t>(tag - 1)] = action;
      on(action, [handler, tag] { handler(tag); });
    }
  };
  const QString s1_captions[] = {QStringLiteral("1bit　（白黒）"), QStringLiteral("4bit　（16色）"),
                                 QStringLiteral("8bit　（256色）"), QStringLiteral("16bit （65536色）"),
                                 QStringLiteral("24bit （1677万色）")};
  const QString p1_captions[] = {QStringLiteral("1bit  (白黒)"), QStringLiteral("4bit  (16色)"),
                                 QStringLiteral("8bit  (256色)"), QStringLiteral("16bit (65536色)"),
                                 QStringLiteral("24bit (1677万色)")};
  const auto dpi_caption = [](int tag) {
    return tag == kCustomDpiTag ? QStringLiteral("ｶｽﾀﾑ...")
                                : QStringLiteral("%1dpi").arg(kMenuDpi[tag - 1]);
  };
  const auto paper_caption = [](int tag) {
    return QString::fromUtf8(PaperPresetByTag(tag)->caption.data(),
                             static_cast<qsizetype>(PaperPresetByTag(tag)->caption.size()));
  };
  const auto depth = [this](int tag) { S1_Click(tag); };
  const auto dpi = [this](int tag) { S2_Click(tag); };
  const auto paper = [this](int tag) { E2_Click(tag); };
  radio(m_S1, "S1_", 5, [&](int tag) { return s1_captions[tag - 1]; }, depth);
  radio(m_P1, "P1_", 5, [&](int tag) { return p1_captions[tag - 1]; }, depth);
  radio(m_S2, "S2_", 8, dpi_caption, dpi);
  radio(m_P2, "P2_", 8, dpi_caption, dpi);
  radio(m_E2, "E2_", 10, paper_caption, paper);
  radio(m_P3, "P3_", 10, paper_caption, paper);
  BuildViewActions();
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  const auto menu = [this](QMenu* parent_menu, const char* name, const QString& title) {
    QMenu* m = parent_menu != nullptr ? parent_menu->addMenu(title) : menuBar()->addMenu(title);
    m->setObjectName(QString::fromLatin1(name));
    m->setAttribute(Qt::WA_WindowPropagation);  // the window's Japanese font
    return m;
  };
  bar->setObjectName(QStringLiteral("MainMenu1"));

  QMenu* f0 = menu(nullptr, "F0", QStringLiteral("ﾌｧｲﾙ(&F)"));
  f0->addAction(m_F1);
  QMenu* f2 = menu(f0, "F2", QStringLiteral("出力(&P)"));
  f2->addAction(m_F2_1);
  f2->addAction(m_F2_2);
  f0->addAction(m_print);
  f0->addAction(m_batch);
  f0->addSeparator();
  m_recent_menu = menu(f0, "Recent", QStringLiteral("最近使ったファイル"));
  f0->addSeparator();
  f0->addAction(m_F99);

  QMenu* e0 = menu(nullptr, "E0", QStringLiteral("編集(&E)"));
  e0->addAction(m_E1);
  QMenu* e2 = menu(e0, "E2", QStringLiteral("用紙サイズで選択(&P)"));
  for (QAction* action : m_E2) e2->addAction(action);
  e0->addAction(m_E3);
  e0->addSeparator();
  e0->addAction(m_E11);
  e0->addAction(m_E12);

  m_view_menu = menu(nullptr, "V0", QStringLiteral("表示(&V)"));
  m_view_menu->addAction(m_fit);
  m_view_menu->addAction(m_actual);
  m_view_menu->addAction(m_zoom_in);
  m_view_menu->addAction(m_zoom_out);
  m_view_menu->addSeparator();
  m_view_menu->addAction(m_quick);

  QMenu* s0 = menu(nullptr, "S0", QStringLiteral("設定(&S)"));
  QMenu* s1 = menu(s0, "S1", QStringLiteral("ｶﾗｰﾓｰﾄﾞ(&C)"));
  for (QAction* action : m_S1) s1->addAction(action);
  QMenu* s2 = menu(s0, "S2", QStringLiteral("出力解像度(&D)"));
  for (QAction* action : m_S2) s2->addAction(action);
  s0->addAction(m_S3);
  s0->addAction(m_S4);
  s0->addSeparator();
  s0->addAction(m_S5);

  QMenu* h0 = menu(nullptr, "H0", QStringLiteral("ﾍﾙﾌﾟ(&H)"));
  h0->addAction(m_H10);

  // The toolbar's drop-down lists and the preview's context menu.
  const auto popup = [this](const char* name, const auto& actions) {
    auto* m = new QMenu(this);
    m->setObjectName(QString::fromLatin1(name));
    m->setAttribute(Qt::WA_WindowPropagation);
    for (QAction* action : actions) m->addAction(action);
    return m;
  };
  m_popup1 = popup("PopupMenu1", m_P1);
  m_popup2 = popup("PopupMenu2", m_P2);
  m_popup3 = popup("PopupMenu3", m_P3);
  m_popup4 = popup("PopupMenu4", std::array<QAction*, 2>{m_N4, m_N5});
}

void TForm1::BuildToolBar() {
  m_toolbar = new QToolBar(this);
  m_toolbar->setObjectName(QStringLiteral("ToolBar1"));
  m_toolbar->setMovable(false);
  m_toolbar->setFloatable(false);
  m_toolbar->setFixedHeight(36);
  m_toolbar->setIconSize(QSize(20, 20));
  m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
  m_toolbar->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, m_toolbar);

  const auto button = [this](const char* name, const char* image, const QString& hint,
                             std::function<void()> command, QMenu* list = nullptr) {
    auto* b = new QToolButton(m_toolbar);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(QIcon(QStringLiteral(":/toolbar/%1").arg(QString::fromLatin1(image))));
    b->setIconSize(QSize(20, 20));
    b->setToolTip(hint);
    b->setAutoRaise(true);  // flat
    if (list != nullptr) {
      // A drop-down button has no action of its own; its arrow opens the list.
      b->setMenu(list);
      b->setPopupMode(QToolButton::MenuButtonPopup);
      b->setFixedSize(27 + 12, 27);
    } else {
      b->setFixedSize(27, 27);
      connect(b, &QToolButton::clicked, this, [this, command] { Run(command); });
    }
    b->setMouseTracking(true);
    b->installEventFilter(this);
    m_toolbar->addWidget(b);
    return b;
  };
  const auto gap = [this] {
    auto* spacer = new QWidget(m_toolbar);
    spacer->setFixedWidth(8);
    m_toolbar->addWidget(spacer);
  };

  m_tool1 = button("ToolButton1", "tool0_open.png", QStringLiteral("ﾌｧｲﾙを開く"),
                   [this] { F1Click(); });
  gap();
  m_tool2 = button("ToolButton2", "tool1_bmp.png", QStringLiteral("BMP保存"), [this] { SaveBmp(); });
  m_tool3 = button("ToolButton3", "tool2_clipboard.png", QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞへ"),
                   [this] { ToolButton3Click(); });
  m_toolbar->addSeparator();
  m_tool6 = button("ToolButton6", "tool3_select_all.png", QStringLiteral("全体を選択"),
                   [this] { E1Click(); });
  m_tool7 = button("ToolButton7", "tool4_a4.png", QStringLiteral("用紙ｻｲｽﾞで選択"), nullptr,
                   m_popup3);
  m_tool8 = button("ToolButton8", "tool5_cm.png", QStringLiteral("指定の幅で選択"),
                   [this] { E3Click(); });
  gap();
  m_tool10 = button("ToolButton10", "tool6_colour.png", QStringLiteral("ｶﾗｰﾓｰﾄﾞ"), nullptr,
                    m_popup1);
  m_tool11 = button("ToolButton11", "tool7_dpi.png", QStringLiteral("出力解像度"), nullptr,
                    m_popup2);
  BuildViewButtons();
  m_toolbar->setMouseTracking(true);
  m_toolbar->installEventFilter(this);
}

void TForm1::BuildPanels() {
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  setCentralWidget(central);

  // Panel1, the information panel, 145 pixels wide; it scrolls when the window
  // is too low for both group boxes and the quick panel.
  m_panel1 = new InfoPanel(nullptr);
  m_info_scroll = new QScrollArea(central);
  m_info_scroll->setObjectName(QStringLiteral("Panel1Scroll"));
  m_info_scroll->setFrameShape(QFrame::NoFrame);
  m_info_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_info_scroll->setWidgetResizable(true);
  m_info_scroll->setFixedWidth(145);
  m_info_scroll->setWidget(m_panel1);
  row->addWidget(m_info_scroll);
  // The panel keeps its 145 pixels when it scrolls: the scroll bar widens the
  // area instead of squeezing the counts and the quick panel's buttons.
  QScrollBar* info_bar = m_info_scroll->verticalScrollBar();
  connect(info_bar, &QScrollBar::rangeChanged, this, [this, info_bar](int, int maximum) {
    m_info_scroll->setFixedWidth(maximum > 0 ? 145 + info_bar->sizeHint().width() : 145);
  });

  auto* column = new QVBoxLayout(m_panel1);
  column->setContentsMargins(4, 2, 6, 2);
  column->setSpacing(2);

  const auto heading = [](QGridLayout* grid, int row_index, const QString& text) {
    grid->addWidget(MakeLabel(text), row_index, 0, 1, 2);
  };
  const auto value = [](QGridLayout* grid, int row_index, QLabel* label) {
    label->setContentsMargins(10, 0, 0, 0);
    grid->addWidget(label, row_index, 0, 1, 2);
  };
  const auto count = [](QGridLayout* grid, int row_index, const QString& caption,
                        QLabel* label) {
    QLabel* head = MakeLabel(caption);
    head->setContentsMargins(6, 0, 0, 0);
    grid->addWidget(head, row_index, 0);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(label, row_index, 1);
  };

  auto* file_box = new QGroupBox(QStringLiteral("読込ﾌｧｲﾙ情報"), m_panel1);
  file_box->setObjectName(QStringLiteral("GroupBox1"));
  auto* file_grid = new QGridLayout(file_box);
  file_grid->setContentsMargins(4, 4, 4, 4);
  file_grid->setVerticalSpacing(1);
  file_grid->setHorizontalSpacing(2);
  m_label6 = MakeLabel(QString(), "Label6");
  m_label8 = MakeLabel(QString(), "Label8");
  m_label25 = MakeLabel(QString(), "Label25");
  m_label16 = MakeLabel(QStringLiteral("0"), "Label16");
  m_label17 = MakeLabel(QStringLiteral("0"), "Label17");
  m_label18 = MakeLabel(QStringLiteral("0"), "Label18");
  m_label19 = MakeLabel(QStringLiteral("0"), "Label19");
  heading(file_grid, 0, QStringLiteral("(ﾌｧｲﾙ名)"));
  value(file_grid, 1, m_label6);
  heading(file_grid, 2, QStringLiteral("(日付)"));
  value(file_grid, 3, m_label8);
  heading(file_grid, 4, QStringLiteral("(図面ｻｲｽﾞ)"));
  value(file_grid, 5, m_label25);
  heading(file_grid, 6, QStringLiteral("(ﾌｧｲﾙ内容)"));
  count(file_grid, 7, QStringLiteral("線分数："), m_label16);
  count(file_grid, 8, QStringLiteral("円弧数："), m_label17);
  count(file_grid, 9, QStringLiteral("文列数："), m_label18);
  count(file_grid, 10, QStringLiteral("点　数："), m_label19);
  column->addWidget(file_box);

  auto* image_box = new QGroupBox(QStringLiteral("作成ｲﾒｰｼﾞ情報"), m_panel1);
  image_box->setObjectName(QStringLiteral("GroupBox2"));
  auto* image_grid = new QGridLayout(image_box);
  image_grid->setContentsMargins(4, 4, 4, 4);
  image_grid->setVerticalSpacing(1);
  m_label4 = MakeLabel(QStringLiteral("0 x 0"), "Label4");
  m_label5 = MakeLabel(QStringLiteral("0 x 0"), "Label5");
  m_label10 = MakeLabel(QStringLiteral("約0KB"), "Label10");
  m_label21 = MakeLabel(QStringLiteral(" 1bit (白黒)"), "Label21");
  m_label23 = MakeLabel(QStringLiteral("36dpi"), "Label23");
  heading(image_grid, 0, QStringLiteral("(WxH Pixel) "));
  value(image_grid, 1, m_label4);
  heading(image_grid, 2, QStringLiteral("(WxH mm)"));
  value(image_grid, 3, m_label5);
  heading(image_grid, 4, QStringLiteral("(出力ｻｲｽﾞ)"));
  value(image_grid, 5, m_label10);
  heading(image_grid, 6, QStringLiteral("(ｶﾗｰﾓｰﾄﾞ)"));
  value(image_grid, 7, m_label21);
  heading(image_grid, 8, QStringLiteral("(解像度)"));
  value(image_grid, 9, m_label23);
  column->addWidget(image_box);

  // The quick panel (Panel3 groups, Panel4 layers) edits this window's tables.
  m_quick_panel = new QuickPanel(m_layer_visible, m_group_visible, m_layer_panel_group,
                                 m_preview_stale, m_panel1);
  column->addWidget(m_quick_panel, 0, Qt::AlignLeft);
  column->addStretch(1);

  // Panel2, the preview area, scrolls so that a paper larger than the window
  // can be reached; Image1 keeps one pixel per drawing unit.
  m_panel2 = new PreviewArea(nullptr);
  m_preview_scroll = new QScrollArea(central);
  m_preview_scroll->setObjectName(QStringLiteral("Panel2Scroll"));
  m_preview_scroll->setFrameShape(QFrame::NoFrame);
  m_preview_scroll->setWidgetResizable(true);
  m_preview_scroll->setWidget(m_panel2);
  row->addWidget(m_preview_scroll, 1);

  PreviewImage* image = m_panel2->Image1();
  image->on_press = [this](Qt::MouseButton button, int x, int y) {
    Run([&] { ImageMouseDown(button, x, y); });
  };
  image->on_move = [this](Qt::MouseButton button, int x, int y) {
    // A release the picture never saw (over a popup, in another window) ends the drag.
    if (button != Qt::LeftButton) EndDrag();
    Run([&] { ImageMouseMove(x, y); });
  };
  image->on_release = [this](Qt::MouseButton button, int x, int y) {
    Run([&] { ImageMouseUp(button, x, y); });
  };
  image->on_context_menu = [this](const QPoint& global) {
    // The menu takes the mouse: its release would never reach the picture.
    EndDrag();
    m_popup4->exec(global);
  };
  // Scroll bars, panels and the status bar border the picture directly when
  // it is scrolled: the box cursors must not follow the mouse there.
  image->on_leave = [this] {
    if (!m_dragging) SetDefaultCursor();
  };
  m_panel2->on_mouse_move = [this] { Panel2MouseMove(); };
  // Zoom with Ctrl and the wheel, pan with the middle button, follow the
  // window's size in the fit view.
  for (QObject* watched : std::initializer_list<QObject*>{
           image, m_panel2, m_preview_scroll, m_preview_scroll->viewport()})
    watched->installEventFilter(this);
}

void TForm1::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  m_progress = new ProgressPanel(bar);
  bar->addWidget(m_progress);
  m_status_panel2 = new QLabel(bar);
  m_status_panel2->setObjectName(QStringLiteral("StatusPanel2"));
  m_status_panel2->setFixedWidth(50);
  bar->addWidget(m_status_panel2);
  m_zoom_label = new QLabel(bar);
  m_zoom_label->setObjectName(QStringLiteral("ZoomLabel"));
  bar->addPermanentWidget(m_zoom_label);
  ShowZoom();
}

// ---------------------------------------------------------------- lifecycle

void TForm1::FormCreate() {
  m_hand_cursor = QCursor(QPixmap(QStringLiteral(":/cursors/user1_open_hand.png")), 0, 0);

  std::string unreadable;
  m_settings = m_store.Load(&unreadable);
  if (!unreadable.empty()) {
    qWarning("pelmora: the saved settings could not be read: %s", unreadable.c_str());
    m_seam.Message(this, QStringLiteral("保存された設定を読み込めませんでした。既定の設定を使います。"));
  }
  move(m_settings.Left, m_settings.Top);
  resize(m_settings.Width, m_settings.Height);
  KeepOnScreen();

  ShowDpi();
  ShowDepth();
  NoFileSet();
  // At start the custom size is the checked paper-size item and no preset is
  // offered in either list.
  CheckPaper(kCustomPaperTag);
  for (QAction* action : m_P3) action->setEnabled(false);

  m_reader = std::make_unique<Tjwcin>();

  m_layer_panel_group = 0;
  m_layer_visible.fill(1);
  m_group_visible.fill(1);
  preGroupe();
  preLayer();
  m_quick_panel->SetPanelsVisible(m_settings.LGBMode);

  for (const std::string& path : m_store.LoadRecentFiles())
    if (m_recent.size() < kRecentLimit) m_recent << QString::fromStdString(path);
  FillRecentMenu();
}

void TForm1::KeepOnScreen() {
  // A monitor that is gone, or hand-edited bounds, must not hide the window.
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr) return;
  const QRect placed = PlacedOnScreen(QRect(pos(), size()), screens, primary->availableGeometry());
  move(placed.topLeft());
  resize(placed.size());
}

void TForm1::FormShow() {
  // Each toggle inverts its flag back and sets the visibility and caption.
  m_settings.ToolMode = !m_settings.ToolMode;
  m_settings.InfoMode = !m_settings.InfoMode;
  E11Click();
  E12Click();
}

void TForm1::FormClose() {
  const QRect frame = frameGeometry();
  m_settings.Left = frame.left();
  m_settings.Top = frame.top();
  m_settings.Width = width();
  m_settings.Height = height();
  std::string error;
  if (!m_store.Save(m_settings, &error)) {
    // Said before the window goes, while the user can still act on it.
    qWarning("pelmora: the settings could not be saved: %s", error.c_str());
    m_seam.Error(this, QStringLiteral("設定を保存できませんでした。\n%1")
                           .arg(QDir::toNativeSeparators(QString::fromStdString(m_store.Location()))));
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shown_once) {
    m_shown_once = true;
    FormShow();
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

// ---------------------------------------------------------------- enabling and checks

void TForm1::NoFileSet() {
  for (QAction* action : {m_N4, m_N5, m_S4, m_F2_1, m_F2_2, m_E1, m_E3}) action->setEnabled(false);
  m_print->setEnabled(false);
  for (QAction* action : m_nudge) action->setEnabled(false);
  for (QAction* action : m_nudge_far) action->setEnabled(false);
  for (QAction* action : m_E2) action->setEnabled(false);
  for (QToolButton* button : {m_tool2, m_tool3, m_tool6, m_tool7, m_tool8})
    button->setEnabled(false);
}

void TForm1::OkFileSet() {
  for (QAction* action : {m_N4, m_N5, m_S4, m_F2_1, m_F2_2, m_E1, m_E3}) action->setEnabled(true);
  m_print->setEnabled(true);
  for (QAction* action : m_nudge) action->setEnabled(true);
  for (QAction* action : m_nudge_far) action->setEnabled(true);
  // The paper-size items follow the paper (DefaultSet); a drawing of an
  // unknown paper keeps what the previous paper offered, in both lists.
  for (int n = 1; n <= 9; ++n)
    m_E2[static_cast<std::size_t>(n - 1)]->setEnabled(m_preset_fits[static_cast<std::size_t>(n - 1)]);
  m_E2[kCustomPaperTag - 1]->setEnabled(true);
  for (QToolButton* button : {m_tool2, m_tool3, m_tool6, m_tool7, m_tool8})
    button->setEnabled(true);
}

void TForm1::CheckDepth(int bits) {
  for (int tag = 1; tag <= 5; ++tag) {
    const bool on = kMenuDepth[static_cast<std::size_t>(tag - 1)] == bits;
    m_S1[static_cast<std::size_t>(tag - 1)]->setChecked(on);
    m_P1[static_cast<std::size_t>(tag - 1)]->setChecked(on);
  }
}

void TForm1::CheckDpi(int dpi_tag) {
  for (int tag = 1; tag <= 8; ++tag) {
    m_S2[static_cast<std::size_t>(tag - 1)]->setChecked(tag == dpi_tag);
    m_P2[static_cast<std::size_t>(tag - 1)]->setChecked(tag == dpi_tag);
  }
}

void TForm1::CheckPaper(int tag) {
  for (int n = 1; n <= 10; ++n) {
    m_E2[static_cast<std::size_t>(n - 1)]->setChecked(n == tag);
    m_P3[static_cast<std::size_t>(n - 1)]->setChecked(n == tag);
  }
  m_paper_tag = tag;
}

void TForm1::ShowDpi() {
  const auto fixed = std::find(kMenuDpi.begin(), kMenuDpi.end(), m_settings.dpi);
  m_dpi_tag = fixed != kMenuDpi.end() ? static_cast<int>(fixed - kMenuDpi.begin()) + 1
                                      : kCustomDpiTag;
  CheckDpi(m_dpi_tag);
  m_label23->setText(QString::asprintf("%3ddpi", m_settings.dpi));
}

void TForm1::ShowDepth() {
  m_settings.ColorMode = ColorModeBitsFromCode(ColorModeCodeFromBits(m_settings.ColorMode));
  CheckDepth(m_settings.ColorMode);
  m_label21->setText(QString::fromUtf8(ColorModeLabel(m_settings.ColorMode).data(),
                                       static_cast<qsizetype>(ColorModeLabel(m_settings.ColorMode).size())));
}

void TForm1::ApplyChecks() {
  m_quick->setChecked(m_settings.LGBMode);
  CheckDepth(m_settings.ColorMode);
  CheckDpi(m_dpi_tag);
  CheckPaper(m_paper_tag);
}

// ---------------------------------------------------------------- cursors

void TForm1::SetScreenCursor(ZoneCursor cursor) {
  if (cursor == m_screen_cursor && !m_wait_cursor) return;
  m_wait_cursor = false;
  m_screen_cursor = cursor;
  QCursor shape;
  switch (cursor) {
    case ZoneCursor::kDefault:
      while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
      return;
    case ZoneCursor::kSizeNwse: shape = QCursor(Qt::SizeFDiagCursor); break;
    case ZoneCursor::kSizeNs: shape = QCursor(Qt::SizeVerCursor); break;
    case ZoneCursor::kSizeNesw: shape = QCursor(Qt::SizeBDiagCursor); break;
    case ZoneCursor::kSizeWe: shape = QCursor(Qt::SizeHorCursor); break;
    case ZoneCursor::kOpenHand: shape = m_hand_cursor; break;
  }
  if (QGuiApplication::overrideCursor() != nullptr)
    QGuiApplication::changeOverrideCursor(shape);
  else
    QGuiApplication::setOverrideCursor(shape);
}

void TForm1::SetWaitCursor() {
  if (QGuiApplication::overrideCursor() != nullptr)
    QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
  else
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  m_wait_cursor = true;
}

void TForm1::SetDefaultCursor() {
  m_wait_cursor = false;
  m_screen_cursor = ZoneCursor::kDefault;
  while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
}

void TForm1::Panel2MouseMove() { SetDefaultCursor(); }

void TForm1::ToolBar1MouseMove() { SetDefaultCursor(); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (ViewEvent(watched, event)) return true;
  if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter)
    if (watched == m_toolbar || (watched->parent() == m_toolbar)) ToolBar1MouseMove();
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::Run(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& failure) {
    setEnabled(true);
    SetDefaultCursor();
    m_seam.Error(this, QString::fromLocal8Bit(failure.what()));
  }
  ApplyChecks();
}

// ---------------------------------------------------------------- file open

int TForm1::IsSupported(const QString& file_name) {
  // A file that cannot be opened or read is as unsupported as one without the
  // signature: the caller's message is the same.
  try {
    return JwcFileHasSignature(QFile::encodeName(file_name).toStdString()) ? 1 : 0;
  } catch (const std::system_error&) {
    return 0;
  }
}

void TForm1::F1Click() {
  const std::optional<QString> chosen =
      m_seam.OpenFile(this, StartFolder(m_settings.OpenDir), kOpenFilter);
  if (!chosen) return;
  OpenDrawing(*chosen);
}

bool TForm1::OpenDrawing(const QString& path) {
  const QFileInfo info(path);
  m_drawing_file = info.absoluteFilePath();
  m_settings.OpenDir = info.absolutePath().toStdString();
  m_drawing_loaded = false;
  ShowTitle();

  // A file that cannot be read at all is an input/output failure, not a
  // foreign file; only regular files are opened (a pipe would block).
  if (QFile file(m_drawing_file); !info.isFile() || !file.open(QIODevice::ReadOnly)) {
    m_seam.Message(this, QStringLiteral("読込みエラー。"));
    return false;
  }
  if (IsSupported(m_drawing_file) == 0) {
    m_seam.Message(this, QStringLiteral("JW_CADのファイルではありません。"));
    return false;
  }

  // Name and date show at once, and stay when the load fails.
  const std::time_t modified = info.lastModified().toSecsSinceEpoch();
  m_label6->setText(info.fileName());
  m_label8->setText(QString::fromStdString(FormatFileDate(modified)));
  QCoreApplication::processEvents();
  NoFileSet();

  SetWaitCursor();
  setEnabled(false);
  ScopeExit restore([this] {
    SetDefaultCursor();
    setEnabled(true);
  });
  const auto fail = [&] {
    restore.Run();
    m_seam.Message(this, QStringLiteral("読込みエラー。"));
    return false;
  };

  std::int32_t loaded = 1;
  try {
    loaded = m_reader->JwcLoadFile(NativePath(m_drawing_file));
  } catch (const std::exception&) {
    loaded = 1;  // the file vanished or became unreadable after the test
  }
  if (loaded != 0) return fail();

  DefaultSet();
  const int width = m_reader->JwcWindowWidth();
  const int height = PreviewHeight(width);
  for (int l = 0; l < 256; ++l)
    m_layer_visible[static_cast<std::size_t>(l)] = m_reader->JwcViewLayer(l) == 1 ? 1 : 0;
  for (int g = 0; g < 16; ++g)
    m_group_visible[static_cast<std::size_t>(g)] = m_reader->JwcViewGroupe(g) == 1 ? 1 : 0;

  m_preview_width = width;
  m_preview_height = height;
  if (DrawImage(width, height, 0, height, 1.0f, kRenderPreview) == 0) return fail();

  m_drawing_loaded = true;
  m_drawn_box = SelectionBox{};
  DrawBox();
  SizeSet();
  OkFileSet();
  restore.Run();

  ShowSummary(SummarizeDrawing(*m_reader, info.fileName().toStdString(), modified));
  preGroupe();
  preLayer();
  m_preview_stale = false;
  ShowTitle();
  AddRecent(m_drawing_file);
  LayerTips();
  if (m_fit_view) ZoomFit();
  return true;
}

void TForm1::DefaultSet() {
  CheckPaper(9);
  m_E2[kCustomPaperTag - 1]->setEnabled(true);
  m_P3[kCustomPaperTag - 1]->setEnabled(true);

  const int code = m_reader->JwcPaperSize();
  if (const std::optional<PaperSize> paper = PaperForCode(code)) {
    m_paper_width_mm = paper->width_mm;
    m_paper_height_mm = paper->height_mm;
    m_pixels_per_mm = static_cast<float>(static_cast<long double>(m_reader->JwcWindowWidth()) /
                                         paper->width_mm);
    for (int n = 1; n <= 9; ++n) {
      const bool fits = PresetFitsPaper(*PaperPresetByTag(n), *paper);
      m_preset_fits[static_cast<std::size_t>(n - 1)] = fits;
      m_E2[static_cast<std::size_t>(n - 1)]->setEnabled(fits);
      m_P3[static_cast<std::size_t>(n - 1)]->setEnabled(fits);
    }
  }
  m_label25->setText(QString::fromStdString(PaperLabel(code)));
}

void TForm1::ShowSummary(const DrawingSummary& summary) {
  m_label6->setText(QString::fromStdString(summary.file_name));
  m_label8->setText(QString::fromStdString(summary.date));
  m_label25->setText(QString::fromStdString(summary.paper));
  m_label16->setText(QString::number(summary.lines));
  m_label17->setText(QString::number(summary.arcs));
  m_label18->setText(QString::number(summary.texts));
  m_label19->setText(QString::number(summary.dots));
}

// ---------------------------------------------------------------- rendering

int TForm1::DrawImage(int width, int height, int originX, int originY, float scale, int mode) {
  std::string error;
  RenderContext context;
  context.reader = m_reader.get();
  context.settings = &m_settings;
  context.LayerVisible = &m_layer_visible;
  context.GroupVisible = &m_group_visible;
  context.PixelsPerMm = m_pixels_per_mm;
  context.progress = [this](std::int64_t position, std::int64_t total) {
    Progress(position, total);
  };
  context.error = &error;
  m_failure_reported = false;

  switch (mode) {
    case kRenderPreview:
      context.delivery = [this](const Bitmap& image, std::string* why) {
        // The preview keeps its own 24-bit copy; the box is drawn into it.
        std::unique_ptr<Bitmap> copy = Bitmap::Create(image.Width(), image.Height(), 24, why);
        if (!copy) return false;
        if (image.BitsPerPixel() == 24 && image.SizeBytes() > 0)
          std::memcpy(copy->Row(0), image.Row(0), image.SizeBytes());
        m_preview = std::move(copy);
        ShowPreview();
        return true;
      };
      break;
    case kRenderFile: {
      // Every format, BMP included, is rendered in bands on all cores straight into
      // its encoder; a name without a known extension is a bitmap, as always.
      const std::optional<ImageFormat> format =
          FormatFromName(QFile::encodeName(m_output_file).toStdString());
      if (format && IsVectorFormat(*format) && (!IsRasterFormat(*format) || m_save_vector))
        return SaveVector(context, *format, width, height, originX, originY, scale);
      return SaveEncoded(context, format.value_or(ImageFormat::kBmp), width, height, originX,
                         originY, scale);
    }
    case kRenderClipboard:
      context.delivery = [this](const Bitmap& image, std::string* why) {
        if (QGuiApplication::clipboard() == nullptr) {
          m_failure_reported = true;
          m_seam.Error(this, QStringLiteral("クリップボードを開くことができません"));
          return false;
        }
        return CopyToClipboard(image, m_settings.dpi, why);
      };
      break;
    default:
      break;
  }

  const int result = ::pelmora::DrawImage(context, width, height, originX, originY, scale, mode);
  if (result == 1 && (mode == kRenderFile || mode == kRenderClipboard))
    m_seam.Message(this, QStringLiteral("完了"));
  return result;
}

int TForm1::SaveEncoded(const RenderContext& context, ImageFormat format, int width, int height,
                        int originX, int originY, float scale) {
  const auto cannot_create = [this] {
    m_failure_reported = true;
    m_seam.Error(this, QStringLiteral("ファイル %1 を作成できません")
                           .arg(QDir::toNativeSeparators(m_output_file)));
  };
  // The save dialog already asked before an existing file is replaced.
  OutputStatus status;
  std::unique_ptr<FileEncoder> encoder = CreateFileEncoder(
      format, QFile::encodeName(m_output_file).toStdString(), {.replace = true}, &status);
  if (!encoder) {
    cannot_create();
    return 0;
  }
  if (DrawImageBands(context, width, height, originX, originY, scale, *encoder) != 1) {
    if (encoder->Status().error == OutputError::kCannotCreate) cannot_create();
    return 0;
  }
  m_seam.Message(this, QStringLiteral("完了"));
  return 1;
}

int TForm1::SaveVector(const RenderContext& context, ImageFormat format, int width, int height,
                       int originX, int originY, float scale) {
  // The save dialog already asked before an existing file is replaced.
  VectorFile file(format, QFile::encodeName(m_output_file).toStdString(), {.replace = true});
  if (!file.Open(context.error) ||
      DrawVector(context, width, height, originX, originY, scale, file) != 1) {
    if (file.Status().error == OutputError::kCannotCreate ||
        file.Status().error == OutputError::kExists) {
      m_failure_reported = true;
      m_seam.Error(this, QStringLiteral("ファイル %1 を作成できません")
                             .arg(QDir::toNativeSeparators(m_output_file)));
    }
    return 0;
  }
  m_seam.Message(this, QStringLiteral("完了"));
  return 1;
}

void TForm1::Progress(std::int64_t position, std::int64_t total) {
  int bar = 0;
  if (position != 0 && total > 0)
    bar = 2 * RoundPixel(static_cast<long double>(position) / total * 100);
  m_progress->SetBar(bar);
  // Painted at once: no other window message is processed during a render.
  m_progress->repaint();
}

void TForm1::ShowPreview() {
  m_panel2->Image1()->SetPicture(m_preview.get());
  LayOutPreview();
  m_panel2->update();
}

bool TForm1::RenderPreview() {
  const int width = m_reader->JwcWindowWidth();
  const int height = PreviewHeight(width);
  const bool replaced = DrawImage(width, height, 0, height, 1.0f, kRenderPreview) == 1;
  if (replaced) {
    m_preview_width = width;
    m_preview_height = height;
  }
  return replaced;
}

bool TForm1::RefreshPreview(bool blocking) {
  ScopeExit restore([this, blocking] {
    SetDefaultCursor();
    if (blocking) setEnabled(true);
  });
  if (blocking) setEnabled(false);
  SetWaitCursor();
  const bool replaced = RenderPreview();
  if (blocking) {
    m_preview_stale = false;
    SetDefaultCursor();
  } else if (!replaced) {
    m_seam.Message(this, QStringLiteral("エラー。"));
  }
  // A new picture carries no box; after a failure the old picture, box and
  // all, is still shown and DrawBox leaves it as it is.
  if (replaced) m_drawn_box = SelectionBox{};
  DrawBox();
  restore.Run();
  return replaced;
}

// ---------------------------------------------------------------- selection box

SelectionBox TForm1::Box() const {
  return SelectionBox{m_settings.x1, m_settings.y1, m_settings.x2, m_settings.y2};
}

void TForm1::SetBox(const SelectionBox& box) {
  m_settings.x1 = box.x1;
  m_settings.y1 = box.y1;
  m_settings.x2 = box.x2;
  m_settings.y2 = box.y2;
}

PreviewImage* TForm1::Image1() const { return m_panel2->Image1(); }

void TForm1::DrawBox() {
  const SelectionBox box = Box();
  if (m_preview && m_preview->Width() > 0 && m_preview->Height() > 0) {
    Canvas canvas(*m_preview);
    canvas.SetPenMode(PenMode::kXor);
    // Over the background the box shows pure red.
    canvas.SetPenColour((m_settings.BackColor ^ 0x0000FFu) & 0xFFFFFFu);
    canvas.SetPenWidth(1);
    canvas.SetBrushStyle(BrushStyle::kClear);
    PaintBox(canvas, m_drawn_box);
    PaintBox(canvas, box);
    Image1()->update();
  }
  m_drawn_box = box;
  UpdateOverlay();
}

void TForm1::XorDrawnBox() {
  if (!m_preview || m_preview->Width() <= 0 || m_preview->Height() <= 0) return;
  Canvas canvas(*m_preview);
  canvas.SetPenMode(PenMode::kXor);
  canvas.SetPenColour((m_settings.BackColor ^ 0x0000FFu) & 0xFFFFFFu);
  canvas.SetPenWidth(1);
  canvas.SetBrushStyle(BrushStyle::kClear);
  PaintBox(canvas, m_drawn_box);
}

void TForm1::SizeSet() {
  if (!m_drawing_loaded) return;
  if (!(m_pixels_per_mm > 0.0f)) {
    // No paper is known yet (a first drawing of an unknown paper code).
    m_label4->setText(QStringLiteral("0 x 0"));
    m_label5->setText(QStringLiteral("0 x 0"));
    m_label10->setText(QStringLiteral("約0KB"));
    return;
  }
  const SizeEstimate size =
      ComputeSizeEstimate(Box(), m_pixels_per_mm, m_settings.dpi, m_settings.ColorMode);
  m_label4->setText(QString::fromStdString(size.pixels_label));
  m_label5->setText(QString::fromStdString(size.mm_label));
  m_label10->setText(QString::fromStdString(size.size_label));
}

void TForm1::ImageMouseDown(Qt::MouseButton button, int X, int Y) {
  if (m_grab_zone == kNoZone) return;
  if (button == Qt::LeftButton) m_dragging = true;
  m_grab = GrabAt(Box(), X, Y);
}

void TForm1::ImageMouseMove(int X, int Y) {
  if (m_preview_stale && m_drawing_loaded) RefreshPreview(/*blocking=*/true);
  if (!m_drawing_loaded) return;
  if (m_dragging) {
    SelectionBox box = Box();
    DragBox(box, m_grab_zone, m_grab, X, Y, m_preview_width, m_preview_height);
    SetBox(box);
    DrawBox();
    if (IsResizeZone(m_grab_zone)) CheckPaper(kCustomPaperTag);
    SizeSet();
    return;
  }
  m_grab_zone = GrabZoneAt(Box(), X, Y);
  SetScreenCursor(CursorForZone(m_grab_zone));
}

void TForm1::ImageMouseUp(Qt::MouseButton, int, int) {
  m_dragging = false;
  SelectionBox box = Box();
  if (ReleaseBox(box)) SetDefaultCursor();
  SetBox(box);
}

void TForm1::EndDrag() {
  if (!m_dragging) return;
  ImageMouseUp(Qt::LeftButton, 0, 0);
  SetDefaultCursor();
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate) EndDrag();
  return QMainWindow::event(event);
}

void TForm1::PlaceBoxMm(long double width_mm, long double height_mm) {
  SetBox(SelectionBox{0, 0, RoundPixel(width_mm * m_pixels_per_mm),
                      RoundPixel(height_mm * m_pixels_per_mm)});
  DrawBox();
  SizeSet();
}

void TForm1::E1Click() {
  SetBox(SelectionBox{0, 0, RoundPixel(static_cast<long double>(m_paper_width_mm) * m_pixels_per_mm),
                      RoundPixel(static_cast<long double>(m_paper_height_mm) * m_pixels_per_mm)});
  DrawBox();
  CheckPaper(kCustomPaperTag);
  SizeSet();
}

void TForm1::E2_Click(int tag) {
  if (tag == kCustomPaperTag) {
    AskCustomSize();
    return;
  }
  const PaperPreset* preset = PaperPresetByTag(tag);
  if (preset == nullptr) return;
  CheckPaper(tag);
  PlaceBoxMm(preset->width_mm, preset->height_mm);
}

void TForm1::E3Click() { AskCustomSize(); }

void TForm1::AskCustomSize() {
  const SelectionBox box = Box();
  const auto mm = [this](std::int64_t pixels) {
    if (!(m_pixels_per_mm > 0.0f)) return 0;
    return RoundPixel(static_cast<long double>(pixels) / m_pixels_per_mm);
  };
  int width_mm = 0, height_mm = 0;
  {
    TForm2 dialog(this, m_seam);
    dialog.Edit1()->setText(QString::number(mm(static_cast<std::int64_t>(box.x2) - box.x1)));
    dialog.Edit2()->setText(QString::number(mm(static_cast<std::int64_t>(box.y2) - box.y1)));
    m_seam.ShowModal(dialog);
    if (!dialog.Ok()) return;
    // OK is set only after both fields passed the dialog's checks.
    width_mm = ParseStoredInteger(dialog.Edit1()->text().toStdString()).value_or(0);
    height_mm = ParseStoredInteger(dialog.Edit2()->text().toStdString()).value_or(0);
    CheckPaper(kCustomPaperTag);
  }
  PlaceBoxMm(width_mm, height_mm);
}

// ---------------------------------------------------------------- save and clipboard

QString TForm1::SuggestedBmpName(const QString& drawing_file) {
  const QString name = QFileInfo(drawing_file).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return (dot >= 0 ? name.left(dot) : name) + QStringLiteral(".bmp");
}

OutputGeometry TForm1::Geometry() const {
  return ComputeOutputGeometry(Box(), m_pixels_per_mm, m_settings.dpi,
                               m_reader->JwcWindowWidth());
}

QString TForm1::SaveStartFolder() const {
  if (!m_save_folder_chosen && !m_drawing_file.isEmpty()) {
    const QFileInfo drawing(m_drawing_file);
    if (drawing.dir().exists()) return drawing.absolutePath();
  }
  return StartFolder(m_settings.SaveDir);
}

void TForm1::SaveBmp() {
  QString filter;
  const std::optional<QString> chosen =
      m_seam.SaveFile(this, SaveStartFolder(), SuggestedBmpName(m_drawing_file), kSaveFilter,
                      QStringLiteral("bmp"), &filter);
  if (!chosen) return;
  m_save_folder_chosen = true;
  m_save_vector = filter != kImagePdfFilter;
  m_settings.SaveDir = QFileInfo(*chosen).absolutePath().toStdString();
  QCoreApplication::processEvents();
  m_output_file = QFileInfo(*chosen).absoluteFilePath();
  m_failure_reported = false;

  const OutputGeometry geometry = Geometry();
  int result = 0;
  if (geometry.Renderable()) {
    SetWaitCursor();
    ScopeExit restore([this] { SetDefaultCursor(); });
    result = DrawImage(geometry.width, geometry.height, geometry.originX, geometry.originY,
                       geometry.scale, kRenderFile);
  }
  if (result == 0 && !m_failure_reported)
    m_seam.Message(this, QStringLiteral("保存出来ませんでした。"));
}

void TForm1::ToolButton3Click() {
  if (!m_seam.Confirm(this, kAppTitle,
                      QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰします。\n\rよろしいですか？")))
    return;
  QCoreApplication::processEvents();

  const OutputGeometry geometry = Geometry();
  int result = 0;
  m_failure_reported = false;
  if (geometry.Renderable()) {
    SetWaitCursor();
    ScopeExit restore([this] { SetDefaultCursor(); });
    result = DrawImage(geometry.width, geometry.height, geometry.originX, geometry.originY,
                       geometry.scale, kRenderClipboard);
  }
  if (result == 0 && !m_failure_reported)
    m_seam.Message(this, QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ出来ませんでした。"));
}

// ---------------------------------------------------------------- settings commands

void TForm1::S1_Click(int tag) {
  const int bits = tag >= 1 && tag <= 5 ? kMenuDepth[static_cast<std::size_t>(tag - 1)] : 24;
  m_settings.ColorMode = bits;
  ShowDepth();
  // Runs with or without a drawing: without one the render is empty.
  RefreshPreview(/*blocking=*/true);
  SizeSet();
}

void TForm1::S2_Click(int tag) {
  if (tag == kCustomDpiTag) {
    const QString text = m_seam.InputBox(this, QStringLiteral("ｶｽﾀﾑ"),
                                         QStringLiteral("1～600の間で解像度を入れて下さい。(整数)"),
                                         QString::number(m_settings.dpi));
    const std::optional<int> dpi = ParseStoredInteger(text.toStdString());
    if (!dpi || *dpi < 1 || *dpi > 600) {
      m_seam.Message(this, QStringLiteral("入力数値が無効です。"));
      return;
    }
    m_settings.dpi = *dpi;
    m_dpi_tag = kCustomDpiTag;
  } else {
    const int index = tag >= 2 && tag <= 7 ? tag - 1 : 0;
    m_settings.dpi = kMenuDpi[static_cast<std::size_t>(index)];
    m_dpi_tag = index + 1;
  }
  CheckDpi(m_dpi_tag);
  m_label23->setText(QString::asprintf("%3ddpi", m_settings.dpi));
  SizeSet();
}

void TForm1::S3Click(int tag) {
  bool accepted = false;
  {
    TForm3 dialog(m_settings, m_store, m_seam, this);
    dialog.ShowPageOfTag(tag);
    m_seam.ShowModal(dialog);
    accepted = dialog.Accepted();
  }
  if (accepted && m_drawing_loaded) RefreshPreview(/*blocking=*/false);
}

void TForm1::S4Click() {
  {
    TForm5 dialog(*m_reader, m_settings, m_layer_visible, m_group_visible, this);
    m_seam.ShowModal(dialog);
  }
  // The quick panel shows the dialog's flags at once.
  preGroupe();
  preLayer();
  if (m_drawing_loaded) RefreshPreview(/*blocking=*/false);
}

void TForm1::H10Click() {
  TForm4 dialog(
      m_settings, [this](bool shown) { m_quick_panel->SetPanelsVisible(shown); }, this);
  m_seam.ShowModal(dialog);
  m_quick->setChecked(m_settings.LGBMode);
}

void TForm1::F99Click() { close(); }

void TForm1::E11Click() {
  if (m_settings.ToolMode) {
    m_E11->setText(QStringLiteral("ﾂｰﾙﾊﾞｰを表示(&T)"));
    m_settings.ToolMode = false;
    m_toolbar->hide();
  } else {
    m_E11->setText(QStringLiteral("ﾂｰﾙﾊﾞｰを隠す(&T)"));
    m_settings.ToolMode = true;
    m_toolbar->show();
  }
}

void TForm1::E12Click() {
  if (m_settings.InfoMode) {
    m_E12->setText(QStringLiteral("情報を表示(&A)"));
    m_settings.InfoMode = false;
    m_info_scroll->hide();
  } else {
    m_E12->setText(QStringLiteral("情報を隠す(&A)"));
    m_settings.InfoMode = true;
    m_info_scroll->show();
  }
}

void TForm1::preGroupe() { m_quick_panel->preGroupe(); }

void TForm1::preLayer() { m_quick_panel->preLayer(); }

// ---------------------------------------------------------------- drag and drop

namespace {

QString DroppedDrawing(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return QString();
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return QString();
  const QString path = url.toLocalFile();
  return QFileInfo(path).suffix().compare(QStringLiteral("jwc"), Qt::CaseInsensitive) == 0
             ? path
             : QString();
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedDrawing(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString path = DroppedDrawing(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop has finished, so the dropping program is not kept
  // waiting by a message box.
  QTimer::singleShot(0, this, [this, path] { Run([&] { OpenDrawing(path); }); });
}

}  // namespace pelmora
