#include "dialogs/unit4.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include <functional>

#include "dialogs/panel_image.h"
#include "dialogs/ui_fonts.h"
#include "pelmora_version.h"

namespace pelmora {

namespace {

// A picture that reports a click (left button pressed and released on it).
class ClickableImage : public QLabel {
 public:
  ClickableImage(QWidget* parent, std::function<void()> on_click)
      : QLabel(parent), m_on_click(std::move(on_click)) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      m_on_click();
    }
  }

 private:
  std::function<void()> m_on_click;
};

}  // namespace

TForm4::TForm4(Settings& settings, std::function<void(bool shown)> show_quick_panel,
               QWidget* owner)
    : QDialog(owner), m_settings(settings), m_show_quick_panel(std::move(show_quick_panel)) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(GothicFont(true, 12));
  setFixedSize(258, 153);
  LoadPanelResources();

  // The logo's background is see-through: the dialog's colour shows around it.
  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("Image1"));
  logo->setGeometry(88, 20, 84, 32);
  logo->setPixmap(QPixmap(QStringLiteral(":/version/logo.png")));

  auto* icon = new ClickableImage(this, [this] { Image2Click(); });
  icon->setObjectName(QStringLiteral("Image2"));
  icon->setGeometry(200, 20, 32, 32);
  icon->setPixmap(QPixmap(QStringLiteral(":/icons/pelmora-32.png")));

  auto* version = new QLabel(QStringLiteral("Version " PELMORA_PRODUCT_VERSION), this);
  version->setObjectName(QStringLiteral("Label1"));
  version->move(96, 68);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setGeometry(100, 124, 65, 21);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Button1Click(); });

  CentreOn(*this, owner);
}

void TForm4::Button1Click() { accept(); }

void TForm4::Image2Click() {
  const bool v = m_settings.LGBMode;
  if (m_show_quick_panel) m_show_quick_panel(!v);
  m_settings.LGBMode = !v;
}

}  // namespace pelmora
