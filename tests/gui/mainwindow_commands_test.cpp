// The main window's settings commands: resolution (with the custom input
// box), colour depth and its re-render, the toolbar and information toggles,
// the dialogs' re-renders, the stale preview, the progress bar during a render,
// and the settings surviving a restart.
#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include "app/preview_widgets.h"
#include "app/quick_panel.h"
#include "dialogs/unit3.h"
#include "dialogs/unit4.h"
#include "dialogs/unit5.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

using test::A4Drawing;
using test::PreviewPixel;
using test::WindowFixture;

namespace {

constexpr Colour kCyan = 0xFFFF00;   // Color1, the default pen 1
constexpr Colour kWhite = 0xFFFFFF;

// A vertical line of pen 1 at x = 20 on layer 0 of group 0, on A4.
JwcWriter DrawingWithLine() {
  JwcWriter drawing = A4Drawing();
  drawing.AddLine({.X1 = 20, .Y1 = 10, .X2 = 20, .Y2 = 200, .LineType = 1, .PenColor = 1});
  return drawing;
}

// Records what the progress panel shows each time it is painted, and whether
// anything else was handled meanwhile.
class PaintWatch : public QObject {
 public:
  PaintWatch(ProgressPanel* panel, QWidget* window) : m_panel(panel), m_window(window) {
    panel->installEventFilter(this);
  }
  QList<int> bars;
  QList<bool> window_enabled;
  QList<bool> marker_seen;
  bool marker_delivered = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_panel && event->type() == QEvent::Paint) {
      bars << m_panel->Bar();
      window_enabled << m_window->isEnabled();
      marker_seen << marker_delivered;
    }
    return false;
  }
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      marker_delivered = true;
      return true;
    }
    return QObject::event(event);
  }

 private:
  ProgressPanel* m_panel;
  QWidget* m_window;
};

}  // namespace

class MainWindowCommandsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;

  TForm1& Form() { return fixture->Form(); }
  QString Label(const char* name) {
    return Form().findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  bool Checked(const char* name) { return fixture->Action(name)->isChecked(); }
  QStringList CheckedOf(const char* prefix, int count) {
    QStringList checked;
    for (int tag = 1; tag <= count; ++tag) {
      const std::string name = prefix + std::to_string(tag);
      if (Checked(name.c_str())) checked << QString::fromStdString(name);
    }
    return checked;
  }
  void CustomDpi(std::optional<QString> answer) {
    fixture->Seam().inputs.push_back(std::move(answer));
    fixture->Trigger("S2_8");
  }

 private slots:
  void init() { fixture = std::make_unique<WindowFixture>(); }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
  }

  void fixed_resolutions_check_both_lists() {
    fixture->Trigger("P2_3");
    QCOMPARE(Form().settings().dpi, 100);
    QCOMPARE(Label("Label23"), QStringLiteral("100dpi"));
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_3"});
    QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_3"});
    fixture->Trigger("S2_2");
    QCOMPARE(Form().settings().dpi, 72);
    QCOMPARE(Label("Label23"), QStringLiteral(" 72dpi"));
    Form().S2_Click(99);  // any other tag is 36 dpi
    QCOMPARE(Form().settings().dpi, 36);
    QCOMPARE(Label("Label23"), QStringLiteral(" 36dpi"));
    QVERIFY(fixture->Seam().log.isEmpty());
  }

  void custom_resolution_accepts_1_to_600() {
    fixture->Open(fixture->Write(QStringLiteral("a4.jwc"), A4Drawing()));
    fixture->Trigger("E2_5");
    fixture->Seam().Clear();
    CustomDpi(QStringLiteral("600"));
    QCOMPARE(fixture->Seam().log,
             QStringList{"input: ｶｽﾀﾑ | 1～600の間で解像度を入れて下さい。(整数) | 36"});
    QCOMPARE(Form().settings().dpi, 600);
    QCOMPARE(Label("Label23"), QStringLiteral("600dpi"));
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_8"});
    QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_8"});
    // The size labels follow the resolution (297 mm at 600 dpi).
    QCOMPARE(Label("Label4"), QStringLiteral(" 7016 x  4961"));

    // A menu value typed as custom still checks the custom items.
    CustomDpi(QStringLiteral("72"));
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_8"});
    QCOMPARE(Label("Label23"), QStringLiteral(" 72dpi"));
    CustomDpi(QStringLiteral("1"));
    QCOMPARE(Label("Label23"), QStringLiteral("  1dpi"));
  }

  void custom_resolution_refuses_bad_numbers_and_changes_nothing() {
    fixture->Trigger("S2_4");  // 144 dpi
    for (const char* text : {"601", "0", "-5", "abc", "", "1e2", " 300", "300 "}) {
      fixture->Seam().Clear();
      CustomDpi(QString::fromLatin1(text));
      QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("入力数値が無効です。")});
      QCOMPARE(Form().settings().dpi, 144);
      QCOMPARE(Label("Label23"), QStringLiteral("144dpi"));
      QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_4"});
      QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_4"});
    }
  }

  void cancelling_the_custom_resolution_keeps_the_value_but_checks_custom() {
    fixture->Trigger("S2_6");  // 300 dpi
    fixture->Seam().Clear();
    CustomDpi(std::nullopt);
    QVERIFY(fixture->Seam().Messages().isEmpty());
    QCOMPARE(Form().settings().dpi, 300);
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_8"});
    QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_8"});
    QCOMPARE(Label("Label23"), QStringLiteral("300dpi"));
  }

  void colour_depth_without_a_drawing_still_renders() {
    fixture->Trigger("P1_1");
    QCOMPARE(Form().settings().ColorMode, 1);
    QCOMPARE(Label("Label21"), QStringLiteral(" 1bit (白黒)"));
    QCOMPARE(CheckedOf("S1_", 5), QStringList{"S1_1"});
    QCOMPARE(CheckedOf("P1_", 5), QStringList{"P1_1"});
    // The re-render ran: an empty picture, and the window is usable again.
    QVERIFY(Form().Preview() != nullptr);
    QCOMPARE(Form().Preview()->Width(), 0);
    QVERIFY(Form().isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    fixture->Trigger("S1_4");
    QCOMPARE(Label("Label21"), QStringLiteral("16bit (65536色)"));
    Form().S1_Click(0);  // any other tag is 24 bits
    QCOMPARE(Form().settings().ColorMode, 24);
    QCOMPARE(CheckedOf("P1_", 5), QStringList{"P1_5"});
  }

  void colour_depth_rerenders_the_preview_with_the_box() {
    fixture->Open(fixture->Write(QStringLiteral("line.jwc"), DrawingWithLine()));
    QCOMPARE(PreviewPixel(Form(), 20, 150), kCyan);
    fixture->Trigger("S1_1");
    // One bit: black drawing on white, and the box redrawn over it.
    QCOMPARE(PreviewPixel(Form(), 20, 150), Colour{0});
    QCOMPARE(PreviewPixel(Form(), 200, 150), kWhite);
    QCOMPARE(Form().DrawnBox().x2, 100);
    QCOMPARE(PreviewPixel(Form(), 100, 50), kWhite ^ 0x0000FFu);  // box over white
    QCOMPARE(Label("Label10"), QStringLiteral("約3KB"));  // 142 x 142 at 1 bit: 2606 bytes
    QVERIFY(!Form().PreviewStale());
  }

  void the_progress_bar_moves_while_nothing_else_is_handled() {
    JwcWriter drawing = A4Drawing();
    for (int i = 0; i < 4000; ++i)
      drawing.AddLine({.X1 = float(i % 297), .Y1 = 0, .X2 = 0, .Y2 = 200, .LineType = 1,
                       .PenColor = 1});
    fixture->Open(fixture->Write(QStringLiteral("many.jwc"), drawing));
    Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form()));

    PaintWatch watch(Form().progressPanel(), &Form());
    QCoreApplication::postEvent(&watch, new QEvent(QEvent::User));
    fixture->Trigger("S1_3");  // re-renders the preview with the window disabled
    // 1000, 2000, 3000 and 4000 of 4000 lines: 50, 100, 150 and 200 pixels.
    QVERIFY2(watch.bars.contains(50) && watch.bars.contains(150), qPrintable(QString::number(watch.bars.size())));
    QVERIFY(watch.bars.contains(200));
    for (qsizetype i = 0; i < watch.bars.size(); ++i) {
      if (watch.bars[i] == 0) continue;
      QVERIFY(!watch.window_enabled[i]);
      QVERIFY2(!watch.marker_seen[i], "an event was handled during the render");
    }
    QCOMPARE(Form().progressPanel()->Bar(), 0);  // cleared at the end
    QVERIFY(Form().isEnabled());
    QTRY_VERIFY(watch.marker_delivered);
  }

  void a_stale_preview_is_rendered_at_the_next_mouse_move() {
    fixture->Open(fixture->Write(QStringLiteral("line.jwc"), DrawingWithLine()));
    // The quick panel hides group 0: nothing is rendered at the click.
    Form().quickPanel()->Image2MouseDown(Qt::LeftButton, 0);
    QVERIFY(Form().PreviewStale());
    QCOMPARE(PreviewPixel(Form(), 20, 150), kCyan);
    Form().ImageMouseMove(250, 190);
    QVERIFY(!Form().PreviewStale());
    QCOMPARE(PreviewPixel(Form(), 20, 150), Colour{0});
    QCOMPARE(PreviewPixel(Form(), 0, 50), Colour{0x0000FF});  // box redrawn
    QVERIFY(Form().isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Without a drawing a stale flag waits.
    WindowFixture empty;
    empty.Form().quickPanel()->Image2MouseDown(Qt::LeftButton, 0);
    empty.Form().ImageMouseMove(10, 10);
    QVERIFY(empty.Form().PreviewStale());
  }

  void settings_dialog_rerenders_only_after_ok() {
    fixture->Open(fixture->Write(QStringLiteral("line.jwc"), DrawingWithLine()));
    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      auto& form3 = static_cast<TForm3&>(dialog);
      QCOMPARE(form3.PageControl1()->currentIndex(), 0);
      form3.Shape(7)->SetColor(kWhite);  // background
      form3.Button14Click();             // Cancel
    });
    fixture->Trigger("S3");
    QCOMPARE(Form().settings().BackColor, Colour{0});
    QCOMPARE(PreviewPixel(Form(), 200, 150), Colour{0});

    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      auto& form3 = static_cast<TForm3&>(dialog);
      QCOMPARE(form3.PageControl1()->currentIndex(), 1);  // S5: the options page
      form3.Shape(7)->SetColor(kWhite);
      form3.Button13Click();  // OK
    });
    fixture->Trigger("S5");
    QCOMPARE(Form().settings().BackColor, kWhite);
    QCOMPARE(PreviewPixel(Form(), 200, 150), kWhite);
    // The box now shows red over the white background.
    QCOMPARE(PreviewPixel(Form(), 0, 50), Colour{0x0000FF});
    QVERIFY(fixture->Seam().Messages().isEmpty());
  }

  void layer_dialog_rerenders_however_it_closes() {
    fixture->Open(fixture->Write(QStringLiteral("line.jwc"), DrawingWithLine()));
    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      auto& form5 = static_cast<TForm5&>(dialog);
      form5.Button3Click();  // hide every layer of group 0
      form5.Button1Click();  // OK
    });
    fixture->Trigger("S4");
    QCOMPARE(Form().LayerVisible()[0], std::uint8_t{0});
    QCOMPARE(PreviewPixel(Form(), 20, 150), Colour{0});
    // The quick panel shows the new flags at once.
    QCOMPARE(Form().quickPanel()->LayerButton(0)->Picture().ColourAt(1, 8), kWhite);

    Form().LayerVisible()[0] = 1;  // as if the quick panel had been used
    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      static_cast<TForm5&>(dialog).Button2Click();  // Cancel
    });
    fixture->Trigger("S4");
    QCOMPARE(PreviewPixel(Form(), 20, 150), kCyan);
  }

  void version_dialog_switches_the_quick_panel() {
    Form().show();
    QVERIFY(!Form().quickPanel()->isVisible());
    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      static_cast<TForm4&>(dialog).Image2Click();
      static_cast<TForm4&>(dialog).Button1Click();
    });
    fixture->Trigger("H10");
    QVERIFY(Form().settings().LGBMode);
    QVERIFY(Form().quickPanel()->isVisible());
  }

  void toolbar_and_information_toggles() {
    Form().settings().LGBMode = true;
    Form().quickPanel()->SetPanelsVisible(true);
    Form().show();
    auto* toolbar = Form().findChild<QToolBar*>(QStringLiteral("ToolBar1"));
    auto* info = Form().findChild<QScrollArea*>(QStringLiteral("Panel1Scroll"));
    QVERIFY(toolbar->isVisible());
    QCOMPARE(fixture->Action("E11")->text(), QStringLiteral("ﾂｰﾙﾊﾞｰを隠す(&T)"));
    fixture->Trigger("E11");
    QVERIFY(!toolbar->isVisible());
    QVERIFY(!Form().settings().ToolMode);
    QCOMPARE(fixture->Action("E11")->text(), QStringLiteral("ﾂｰﾙﾊﾞｰを表示(&T)"));
    fixture->Trigger("E11");
    QVERIFY(toolbar->isVisible());

    fixture->Trigger("E12");
    QVERIFY(!info->isVisible());
    QVERIFY(!Form().quickPanel()->isVisible());
    QCOMPARE(fixture->Action("E12")->text(), QStringLiteral("情報を表示(&A)"));
    fixture->Trigger("E12");
    QVERIFY(info->isVisible());
    QVERIFY(Form().quickPanel()->isVisible());
    QCOMPARE(fixture->Action("E12")->text(), QStringLiteral("情報を隠す(&A)"));

    // With LGBMode off, showing the information leaves the quick panel hidden.
    Form().quickPanel()->SetPanelsVisible(false);
    Form().settings().LGBMode = false;
    fixture->Trigger("E12");
    fixture->Trigger("E12");
    QVERIFY(info->isVisible());
    QVERIFY(!Form().quickPanel()->isVisible());
  }

  void settings_survive_a_restart() {
    Form().show();
    fixture->Trigger("E11");  // toolbar hidden
    CustomDpi(QStringLiteral("250"));
    fixture->Trigger("S1_2");
    Form().SetBox(SelectionBox{5, 6, 70, 80});
    Form().move(40, 30);
    Form().resize(700, 500);
    fixture->Trigger("F99");  // closes and saves
    QVERIFY(!Form().isVisible());

    const Settings stored = SettingsStore(fixture->SettingsFile().toStdString()).Load();
    QVERIFY(!stored.ToolMode);
    QCOMPARE(stored.dpi, 250);
    QCOMPARE(stored.ColorMode, 4);
    QCOMPARE(stored.x2, 70);
    QCOMPARE(stored.Width, 700);
    QCOMPARE(stored.Height, 500);

    TForm1& again = fixture->Restart();
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QVERIFY(!again.findChild<QToolBar*>(QStringLiteral("ToolBar1"))->isVisible());
    QCOMPARE(fixture->Action("E11")->text(), QStringLiteral("ﾂｰﾙﾊﾞｰを表示(&T)"));
    QCOMPARE(again.settings().dpi, 250);
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_8"});
    QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_8"});
    QCOMPARE(Label("Label23"), QStringLiteral("250dpi"));
    QCOMPARE(CheckedOf("S1_", 5), QStringList{"S1_2"});
    QCOMPARE(Label("Label21"), QStringLiteral(" 4bit (16色)"));
    QCOMPARE(again.Box().y1, 6);
    QCOMPARE(again.size(), QSize(700, 500));
  }

  void a_stored_resolution_outside_the_menu_shows_as_custom() {
    Settings settings;
    settings.dpi = 5;
    QVERIFY(SettingsStore(fixture->SettingsFile().toStdString()).Save(settings));
    fixture->Restart();
    QCOMPARE(Label("Label23"), QStringLiteral("  5dpi"));
    QCOMPARE(CheckedOf("S2_", 8), QStringList{"S2_8"});
    settings.dpi = 180;
    QVERIFY(SettingsStore(fixture->SettingsFile().toStdString()).Save(settings));
    fixture->Restart();
    QCOMPARE(Label("Label23"), QStringLiteral("180dpi"));
    QCOMPARE(CheckedOf("P2_", 8), QStringList{"P2_5"});
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::MainWindowCommandsTest)
#include "mainwindow_commands_test.moc"
