// The version dialog: layout, pictures, and the icon that switches the quick
// panel; and the main window's H10Click around it.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cstdint>

#include "app/quick_panel.h"
#include "app/unit1.h"
#include "dialogs/unit4.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

class Form4Test : public QObject {
  Q_OBJECT

 private:
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  int layer_panel_group = 0;
  bool stale = false;

  static void ClickIcon(QDialog& dialog) {
    auto* icon = dialog.findChild<QLabel*>(QStringLiteral("Image2"));
    QVERIFY(icon != nullptr);
    QTest::mouseClick(icon, Qt::LeftButton, {}, QPoint(16, 16));
  }

 private slots:
  void layoutAndPictures() {
    Settings settings;
    TForm4 dialog(settings, nullptr, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(dialog.size(), QSize(258, 153));
    auto* logo = dialog.findChild<QLabel*>(QStringLiteral("Image1"));
    auto* icon = dialog.findChild<QLabel*>(QStringLiteral("Image2"));
    QCOMPARE(logo->geometry(), QRect(88, 20, 84, 32));
    QCOMPARE(icon->geometry(), QRect(200, 20, 32, 32));
    QCOMPARE(logo->pixmap().size(), QSize(84, 32));
    QCOMPARE(icon->pixmap().size(), QSize(32, 32));
    // The logo is drawn transparent: its corner lets the dialog show through.
    QCOMPARE(qAlpha(logo->pixmap().toImage().pixel(0, 0)), 0);
    auto* version = dialog.findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(version->text(), QStringLiteral("Version 2.03b"));
    QCOMPARE(version->pos(), QPoint(96, 68));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->geometry(), QRect(100, 124, 65, 21));
  }

  void okCloses() {
    Settings settings;
    TForm4 dialog(settings, nullptr, nullptr);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void iconFlipsThePanelAndTwoClicksRestoreIt() {
    Settings settings;
    settings.LGBMode = false;
    QWidget info;
    QuickPanel panel(layers, groups, layer_panel_group, stale, &info);
    panel.SetPanelsVisible(false);
    info.show();
    TForm4 dialog(
        settings, [&panel](bool shown) { panel.SetPanelsVisible(shown); }, nullptr);
    dialog.show();

    ClickIcon(dialog);
    QVERIFY(settings.LGBMode);
    QVERIFY(panel.Panel3()->isVisible());
    QVERIFY(panel.Panel4()->isVisible());
    QVERIFY(dialog.isVisible());  // the dialog stays open

    ClickIcon(dialog);
    QVERIFY(!settings.LGBMode);
    QVERIFY(!panel.Panel3()->isVisible());
    QVERIFY(!panel.Panel4()->isVisible());
    QVERIFY(!stale);  // nothing else changes
  }

  // With the information panel hidden the click still flips LGBMode; the
  // panel appears once the information panel is shown again.
  void clickWhileTheInformationPanelIsHidden() {
    Settings settings;
    settings.LGBMode = false;
    QWidget info;
    QuickPanel panel(layers, groups, layer_panel_group, stale, &info);
    panel.SetPanelsVisible(false);
    info.show();
    info.hide();
    TForm4 dialog(
        settings, [&panel](bool shown) { panel.SetPanelsVisible(shown); }, nullptr);
    dialog.show();
    ClickIcon(dialog);
    QVERIFY(settings.LGBMode);
    QVERIFY(!panel.Panel3()->isVisible());
    info.show();
    QVERIFY(panel.Panel3()->isVisible());
    QVERIFY(panel.Panel4()->isVisible());
  }

  // Through the window: the icon is the only switch, and the new state is
  // saved with the other settings.
  void h10ClickAndTheSavedState() {
    test::WindowFixture fixture;
    TForm1& form = fixture.Form();
    form.show();
    QCOMPARE(form.settings().LGBMode, false);
    QVERIFY(!form.quickPanel()->Panel3()->isVisible());

    fixture.Seam().dialogs.push_back([](QDialog& dialog) {
      QCOMPARE(QString::fromLatin1(dialog.metaObject()->className()),
               QStringLiteral("pelmora::TForm4"));
      ClickIcon(dialog);
      ClickIcon(dialog);
      ClickIcon(dialog);
      QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    });
    form.H10Click();
    QVERIFY(form.settings().LGBMode);
    QVERIFY(form.quickPanel()->Panel3()->isVisible());
    QVERIFY(form.quickPanel()->Panel4()->isVisible());
    QVERIFY(fixture.Seam().Unexpected().isEmpty());

    form.close();  // saves the settings
    TForm1& again = fixture.Restart();
    again.show();
    QVERIFY(again.settings().LGBMode);
    QVERIFY(again.quickPanel()->Panel3()->isVisible());
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::Form4Test)
#include "form4_test.moc"
