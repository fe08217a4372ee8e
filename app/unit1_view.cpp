// The main window's newer comforts: the view's zoom and panning, nudging the
// box from the keyboard, the recent drawings, the title and the layer tips.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/preview_widgets.h"
#include "app/quick_panel.h"
#include "app/unit1.h"
#include "dialogs/batch_dialog.h"
#include "dialogs/layer_names.h"
#include "dialogs/modal_seam.h"

namespace pelmora {

namespace {

// The zoom steps, device pixels per preview pixel.
constexpr double kZoomSteps[] = {1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6,
                                 1.0 / 4,  1.0 / 3,  1.0 / 2,  2.0 / 3,  1.0,     1.5,
                                 2.0,      3.0,      4.0,      6.0,      8.0,     16.0};
constexpr double kMinZoom = kZoomSteps[0];
constexpr double kMaxZoom = 16.0;

enum class ZoomIcon { kFit, kActual, kIn, kOut };

// The view buttons' pictures are drawn rather than shipped, so that they stay
// sharp at any device pixel ratio.
QIcon MakeZoomIcon(ZoomIcon kind) {
  QIcon icon;
  for (int ratio : {1, 2}) {
    QPixmap picture(20 * ratio, 20 * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.6));
    if (kind == ZoomIcon::kFit) {
      painter.drawRect(QRectF(3.5, 5.5, 13, 9));
      painter.setPen(QPen(QColor(0, 90, 200), 1.4));
      for (const QPointF& corner :
           {QPointF(1, 3), QPointF(19, 3), QPointF(1, 17), QPointF(19, 17)}) {
        const double dx = corner.x() < 10 ? 3 : -3, dy = corner.y() < 10 ? 3 : -3;
        painter.drawLine(corner, corner + QPointF(dx, 0));
        painter.drawLine(corner, corner + QPointF(0, dy));
      }
    } else {
      painter.drawEllipse(QPointF(8.5, 8.5), 6, 6);
      painter.setPen(QPen(QColor(40, 40, 40), 2.6, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(13, 13), QPointF(18, 18));
      painter.setPen(QPen(QColor(0, 90, 200), 1.6));
      if (kind == ZoomIcon::kActual) {
        QFont font = painter.font();
        font.setPixelSize(7);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRectF(2.5, 2.5, 12, 12), Qt::AlignCenter, QStringLiteral("1:1"));
      } else {
        painter.drawLine(QPointF(5.5, 8.5), QPointF(11.5, 8.5));
        if (kind == ZoomIcon::kIn) painter.drawLine(QPointF(8.5, 5.5), QPointF(8.5, 11.5));
      }
    }
    painter.end();
    icon.addPixmap(picture);
  }
  return icon;
}

QAction* NewAction(QObject* parent, const char* name, const QString& caption,
                   const QKeySequence& key = {}) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) action->setShortcut(key);
  return action;
}

}  // namespace

void TForm1::BuildViewActions() {
  m_print =
      NewAction(this, "Print", QStringLiteral("印刷(&P)..."), QKeySequence(Qt::CTRL | Qt::Key_P));
  m_batch = NewAction(this, "Batch", QStringLiteral("一括変換(&V)..."));
  m_fit = NewAction(this, "ViewFit", QStringLiteral("用紙全体(&W)"),
                    QKeySequence(Qt::CTRL | Qt::Key_0));
  m_actual =
      NewAction(this, "ViewActual", QStringLiteral("100%(&1)"), QKeySequence(Qt::CTRL | Qt::Key_1));
  m_zoom_in = NewAction(this, "ZoomIn", QStringLiteral("拡大(&I)"));
  m_zoom_in->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus),
                           QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence::ZoomIn});
  m_zoom_out = NewAction(this, "ZoomOut", QStringLiteral("縮小(&O)"));
  m_zoom_out->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Minus), QKeySequence::ZoomOut});
  m_quick = NewAction(this, "QuickPanel", QStringLiteral("ﾚｲﾔ･ｸﾞﾙｰﾌﾟﾊﾟﾈﾙ(&L)"));
  m_quick->setCheckable(true);
  m_fit->setIcon(MakeZoomIcon(ZoomIcon::kFit));
  m_actual->setIcon(MakeZoomIcon(ZoomIcon::kActual));
  m_zoom_in->setIcon(MakeZoomIcon(ZoomIcon::kIn));
  m_zoom_out->setIcon(MakeZoomIcon(ZoomIcon::kOut));

  const auto on = [this](QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
  };
  on(m_print, [this] { PrintClick(); });
  on(m_batch, [this] { BatchClick(); });
  on(m_fit, [this] { ZoomFit(); });
  on(m_actual, [this] { ZoomActual(); });
  on(m_zoom_in, [this] { ZoomIn(); });
  on(m_zoom_out, [this] { ZoomOut(); });
  on(m_quick, [this] { ToggleQuickPanel(); });

  // The arrow keys move the box a pixel, ten with Shift. They belong to the
  // window, not to a menu, and are off without a drawing (the keys then
  // scroll the preview as before).
  const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down};
  const int dx[] = {-1, 1, 0, 0}, dy[] = {0, 0, -1, 1};
  for (std::size_t k = 0; k < 4; ++k) {
    for (int step : {1, 10}) {
      const QByteArray name = (step == 1 ? QByteArray("Nudge") : QByteArray("NudgeFar")) +
                              QByteArray::number(static_cast<int>(k));
      QAction* action = NewAction(this, name.constData(), QString(),
                                  QKeySequence(step == 1 ? QKeyCombination(keys[k])
                                                         : QKeyCombination(Qt::SHIFT | keys[k])));
      addAction(action);
      on(action, [this, k, step, dx, dy] { NudgeBox(dx[k] * step, dy[k] * step); });
      (step == 1 ? m_nudge : m_nudge_far)[k] = action;
    }
  }
}

void TForm1::BuildViewButtons() {
  m_toolbar->addSeparator();
  for (QAction* action : {m_fit, m_actual, m_zoom_in, m_zoom_out}) {
    auto* b = new QToolButton(m_toolbar);
    b->setObjectName(action->objectName() + QStringLiteral("Button"));
    b->setDefaultAction(action);
    b->setIconSize(QSize(20, 20));
    b->setFixedSize(27, 27);
    b->setAutoRaise(true);
    b->setToolTip(QString(action->text())
                      .remove(QStringLiteral("(&W)"))
                      .remove(QStringLiteral("(&1)"))
                      .remove(QStringLiteral("(&I)"))
                      .remove(QStringLiteral("(&O)")) +
                  QStringLiteral(" (") + action->shortcut().toString(QKeySequence::NativeText) +
                  QLatin1Char(')'));
    b->setMouseTracking(true);
    b->installEventFilter(this);
    m_toolbar->addWidget(b);
  }
}

// ---------------------------------------------------------------- zoom

double TForm1::ViewZoom() const {
  return Image1()->Zoom();
}

void TForm1::LayOutPreview() {
  const QSize picture = Image1()->size();
  m_panel2->setMinimumSize(picture.isEmpty() ? QSize(0, 0)
                                             : picture + QSize(2 * PreviewArea::kImageMargin,
                                                               2 * PreviewArea::kImageMargin));
  // Setting the property again makes the scroll area size its widget and
  // place its scroll bars now rather than at the next layout pass, so that a
  // zoom can set the scroll position that keeps its anchor still.
  m_preview_scroll->setWidgetResizable(true);
}

double TForm1::FitZoom() const {
  const QSize picture = Image1()->Shown().size();
  if (picture.isEmpty()) return 1.0;
  const QSize room = m_preview_scroll->maximumViewportSize() -
                     QSize(2 * PreviewArea::kImageMargin, 2 * PreviewArea::kImageMargin);
  const double ratio = devicePixelRatioF();
  const double zoom = std::min(std::max(room.width(), 1) * ratio / picture.width(),
                               std::max(room.height(), 1) * ratio / picture.height());
  return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void TForm1::ApplyZoom(double zoom) {
  // The reduced view copies the picture when the zoom is set: take the XOR box
  // out of the bitmap for that moment, so that the copy holds no box. The
  // bitmap is the same afterwards, byte for byte.
  XorDrawnBox();
  Image1()->SetZoom(std::clamp(zoom, kMinZoom, kMaxZoom));
  XorDrawnBox();
  LayOutPreview();
  UpdateOverlay();
  ShowZoom();
}

void TForm1::SetViewZoom(double zoom, const QPointF& anchor) {
  m_fit_view = false;
  QScrollBar* across = m_preview_scroll->horizontalScrollBar();
  QScrollBar* down = m_preview_scroll->verticalScrollBar();
  const QPointF margin(PreviewArea::kImageMargin, PreviewArea::kImageMargin);
  const QPointF offset(across->value(), down->value());
  const QPointF under = Image1()->PreviewAt(anchor + offset - margin);
  ApplyZoom(zoom);
  const QPointF moved = under * Image1()->Scale() + margin - anchor;
  across->setValue(static_cast<int>(std::lround(moved.x())));
  down->setValue(static_cast<int>(std::lround(moved.y())));
}

void TForm1::ZoomFit() {
  ApplyZoom(FitZoom());
  m_fit_view = true;
  ShowZoom();
}

void TForm1::ZoomActual() {
  SetViewZoom(1.0, QPointF(m_preview_scroll->viewport()->rect().center()));
  ShowZoom();
}

void TForm1::ZoomIn() {
  const double zoom = ViewZoom();
  const double* next =
      std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom * 1.0001);
  SetViewZoom(next != std::end(kZoomSteps) ? *next : kMaxZoom,
              QPointF(m_preview_scroll->viewport()->rect().center()));
}

void TForm1::ZoomOut() {
  const double zoom = ViewZoom();
  const double* next =
      std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom / 1.0001);
  SetViewZoom(next != std::begin(kZoomSteps) ? *(next - 1) : kMinZoom,
              QPointF(m_preview_scroll->viewport()->rect().center()));
}

void TForm1::ShowZoom() {
  if (m_zoom_label == nullptr) return;
  const QString percent = QString::number(ViewZoom() * 100, 'f', ViewZoom() < 0.1 ? 1 : 0);
  m_zoom_label->setText((m_fit_view ? QStringLiteral("用紙全体 ") : QString()) + percent +
                        QLatin1Char('%'));
}

void TForm1::UpdateOverlay() {
  const bool shown = m_preview && Image1()->Zoom() < 1.0;
  Image1()->SetOverlay(shown ? std::optional<SelectionBox>(m_drawn_box) : std::nullopt,
                       (m_settings.BackColor ^ 0x0000FFu) & 0xFFFFFFu);
}

bool TForm1::ViewEvent(QObject* watched, QEvent* event) {
  // The toolbar's buttons are watched before the preview exists.
  if (m_panel2 == nullptr || m_preview_scroll == nullptr) return false;
  if (watched == m_preview_scroll) {
    if (event->type() == QEvent::Resize && m_fit_view)
      QTimer::singleShot(0, this, [this] {
        if (m_fit_view) ZoomFit();
      });
    return false;
  }
  const bool preview =
      watched == Image1() || watched == m_panel2 || watched == m_preview_scroll->viewport();
  if (!preview) return false;
  QScrollBar* across = m_preview_scroll->horizontalScrollBar();
  QScrollBar* down = m_preview_scroll->verticalScrollBar();
  switch (event->type()) {
    case QEvent::Wheel: {
      auto* wheel = static_cast<QWheelEvent*>(event);
      if (!(wheel->modifiers() & Qt::ControlModifier)) return false;
      const int steps = wheel->angleDelta().y();
      if (steps == 0) return true;
      const QPointF anchor = m_preview_scroll->viewport()->mapFromGlobal(wheel->globalPosition());
      const double* at =
          steps > 0
              ? std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), ViewZoom() * 1.0001)
              : std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), ViewZoom() / 1.0001);
      const double zoom = steps > 0 ? (at != std::end(kZoomSteps) ? *at : kMaxZoom)
                                    : (at != std::begin(kZoomSteps) ? *(at - 1) : kMinZoom);
      Run([&] { SetViewZoom(zoom, anchor); });
      return true;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::MiddleButton) return false;
      m_panning = true;
      m_pan_from = mouse->globalPosition().toPoint();
      return true;
    }
    case QEvent::MouseMove: {
      if (!m_panning) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!(mouse->buttons() & Qt::MiddleButton)) {
        m_panning = false;
        return false;
      }
      const QPoint now = mouse->globalPosition().toPoint();
      across->setValue(across->value() - (now.x() - m_pan_from.x()));
      down->setValue(down->value() - (now.y() - m_pan_from.y()));
      m_pan_from = now;
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::MiddleButton) return false;
      m_panning = false;
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------- keyboard

void TForm1::NudgeBox(int dx, int dy) {
  if (!m_drawing_loaded || m_dragging) return;
  SelectionBox box = Box();
  // A step toward an edge stops there; a box already beyond it (stored
  // settings may hold anything) is not pulled back by a step away from it.
  const auto step = [](int wanted, std::int64_t a, std::int64_t b, std::int64_t paper) {
    const std::int64_t low = std::min(a, b), high = std::max(a, b);
    return wanted < 0 ? std::max<std::int64_t>(wanted, std::min<std::int64_t>(0, -low))
                      : std::min<std::int64_t>(wanted, std::max<std::int64_t>(0, paper - high));
  };
  const std::int64_t sx = step(dx, box.x1, box.x2, m_preview_width);
  const std::int64_t sy = step(dy, box.y1, box.y2, m_preview_height);
  if (sx == 0 && sy == 0) return;
  box.x1 = static_cast<int>(box.x1 + sx);
  box.x2 = static_cast<int>(box.x2 + sx);
  box.y1 = static_cast<int>(box.y1 + sy);
  box.y2 = static_cast<int>(box.y2 + sy);
  SetBox(box);
  DrawBox();
  SizeSet();
}

void TForm1::ToggleQuickPanel() {
  m_settings.LGBMode = !m_settings.LGBMode;
  m_quick_panel->SetPanelsVisible(m_settings.LGBMode);
}

// ---------------------------------------------------------------- recent drawings

void TForm1::AddRecent(const QString& path) {
  m_recent.removeAll(path);
  m_recent.prepend(path);
  while (m_recent.size() > kRecentLimit) m_recent.removeLast();
  SaveRecent();
  FillRecentMenu();
}

void TForm1::SaveRecent() {
  std::vector<std::string> paths;
  for (const QString& path : m_recent) paths.push_back(path.toStdString());
  std::string error;
  // The list is a convenience: a store that cannot be written is said at close.
  if (!m_store.SaveRecentFiles(paths, &error))
    qWarning("pelmora: the recent drawings could not be saved: %s", error.c_str());
}

void TForm1::FillRecentMenu() {
  m_recent_menu->clear();
  for (qsizetype k = 0; k < m_recent.size(); ++k) {
    const QString path = m_recent[k];
    QString label = QDir::toNativeSeparators(path);
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action = m_recent_menu->addAction(QStringLiteral("&%1 %2").arg(k + 1).arg(label));
    action->setObjectName(QStringLiteral("Recent%1").arg(k + 1));
    action->setData(path);
    connect(action, &QAction::triggered, this, [this, path] { Run([&] { OpenRecent(path); }); });
  }
  m_recent_menu->setEnabled(!m_recent.isEmpty());
}

void TForm1::OpenRecent(const QString& path) {
  if (!QFileInfo::exists(path)) {
    m_recent.removeAll(path);
    SaveRecent();
    FillRecentMenu();
    m_seam.Message(this, QStringLiteral("%1 が見つかりません。最近使ったファイルから削除しました。")
                             .arg(QDir::toNativeSeparators(path)));
    return;
  }
  OpenDrawing(path);
}

// ---------------------------------------------------------------- batch conversion

void TForm1::BatchClick() {
  BatchDialog dialog(m_settings, m_seam, this);
  dialog.SetOutputFolder(QString::fromStdString(m_settings.SaveDir));
  m_seam.ShowModal(dialog);
}

// ---------------------------------------------------------------- title and tips

void TForm1::ShowTitle() {
  setWindowTitle(m_drawing_loaded
                     ? QFileInfo(m_drawing_file).fileName() + QStringLiteral(" - ") + kAppTitle
                     : kAppTitle);
}

void TForm1::LayerTips() {
  m_quick_panel->group_tip = [this](int group) { return GroupTip(*m_reader, group); };
  m_quick_panel->layer_tip = [this](int layer) { return LayerTip(*m_reader, layer); };
  preGroupe();
  preLayer();
}

}  // namespace pelmora
