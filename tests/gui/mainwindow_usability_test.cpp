// The main window as a newcomer meets it: Qt's own dialogs in Japanese, a
// window that always opens on a screen, box cursors and drags that end when
// the picture loses the mouse, and a failed settings save that is told.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/preview_widgets.h"
#include "app/qt_translations.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

using test::A4Drawing;
using test::ScriptedSeam;
using test::WindowFixture;

class MainWindowUsabilityTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;
  TForm1& Form() { return fixture->Form(); }

  void OpenBlankA4() {
    fixture->Open(fixture->Write(QStringLiteral("blank.jwc"), A4Drawing()));
    QVERIFY(Form().DrawingLoaded());
  }
  // Starts a move of the box (0, 0)-(200, 150) from its middle.
  void StartMove() {
    Form().SetBox(SelectionBox{0, 0, 200, 150});
    Form().ImageMouseMove(50, 50);
    Form().ImageMouseDown(Qt::LeftButton, 50, 50);
    QVERIFY(Form().Dragging());
  }
  void MoveOverPicture(Qt::MouseButtons buttons, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, Form().Image1()->mapToGlobal(at), Qt::NoButton,
                     buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(Form().Image1(), &move);
  }

 private slots:
  void init() { fixture = std::make_unique<WindowFixture>(); }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
    while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
  }

  void qt_dialogs_and_buttons_read_japanese() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Pelmora"), QStringLiteral("x"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
    QVERIFY(LoadQtTranslations(*QCoreApplication::instance()));
    QMessageBox translated(QMessageBox::NoIcon, QStringLiteral("Pelmora"), QStringLiteral("x"),
                           QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(translated.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("アドレス:"));
  }

  void a_window_off_every_screen_opens_on_the_primary_one() {
    const QRect primary(0, 0, 1024, 768);
    const QList<QRect> screens = {primary, QRect(1024, 0, 800, 600)};
    // On a screen, or partly on one: left where it was.
    QCOMPARE(PlacedOnScreen(QRect(100, 50, 680, 480), screens, primary), QRect(100, 50, 680, 480));
    QCOMPARE(PlacedOnScreen(QRect(1700, 500, 680, 480), screens, primary),
             QRect(1700, 500, 680, 480));
    // Off every screen: the primary's top-left, same size or the screen's.
    QCOMPARE(PlacedOnScreen(QRect(5000, -3000, 680, 480), screens, primary),
             QRect(0, 0, 680, 480));
    QCOMPARE(PlacedOnScreen(QRect(1824, 0, 680, 480), screens, primary), QRect(0, 0, 680, 480));
    QCOMPARE(PlacedOnScreen(QRect(-4000, 0, 3000, 500), screens, primary), QRect(0, 0, 1024, 500));

    // The window itself, with such bounds stored.
    QFile conf(fixture->SettingsFile());
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\nLeft=5000\nTop=-3000\nWidth=300\nHeight=200\n");
    conf.close();
    TForm1& form = fixture->Restart();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(screen.intersects(QRect(form.pos(), form.size())));
    QCOMPARE(form.pos(), screen.topLeft());
    QCOMPARE(form.size(), QSize(300, 200));
  }

  void leaving_the_picture_resets_the_box_cursor() {
    OpenBlankA4();
    Form().SetBox(SelectionBox{0, 0, 200, 150});
    Form().ImageMouseMove(50, 50);
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(Form().Image1(), &leave);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void a_move_without_the_button_ends_the_drag() {
    OpenBlankA4();
    StartMove();
    MoveOverPicture(Qt::LeftButton, QPoint(60, 50));
    QVERIFY(Form().Dragging());
    QCOMPARE(Form().Box().x1, 10);
    // The release happened elsewhere: the box stays where the drag left it.
    MoveOverPicture(Qt::NoButton, QPoint(90, 90));
    QVERIFY(!Form().Dragging());
    QCOMPARE(Form().Box().x1, 10);
    QCOMPARE(Form().Box().x2, 210);
  }

  void a_popup_or_a_lost_focus_ends_the_drag() {
    OpenBlankA4();
    StartMove();
    bool closed = false;
    QTimer::singleShot(0, this, [&closed] {
      if (QWidget* popup = QApplication::activePopupWidget()) closed = popup->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(50, 50),
                           Form().Image1()->mapToGlobal(QPoint(50, 50)));
    QCoreApplication::sendEvent(Form().Image1(), &menu);
    QVERIFY(closed);
    QVERIFY(!Form().Dragging());

    StartMove();
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&Form(), &deactivate);
    QVERIFY(!Form().Dragging());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void unreadable_saved_settings_and_a_failed_save_are_told() {
    // A folder where the settings file should be: it cannot be replaced,
    // whoever runs the test.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pelmora.conf"));
    QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
    ScriptedSeam seam;
    {
      TForm1 form(seam, SettingsStore(path.toStdString()));
      // Such a file is never read: the defaults, and the user is told.
      QCOMPARE(seam.log, QStringList{QStringLiteral(
                             "message: 保存された設定を読み込めませんでした。既定の設定を使います。")});
      QCOMPARE(form.settings().Width, 680);
      form.show();
      seam.Clear();
      QVERIFY(form.close());
      QCOMPARE(seam.log.size(), 1);
      QVERIFY2(seam.log.first().startsWith(QStringLiteral("error: 設定を保存できませんでした。")),
               qPrintable(seam.log.first()));
      QVERIFY(seam.log.first().contains(path));
    }
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::MainWindowUsabilityTest)
#include "mainwindow_usability_test.moc"
