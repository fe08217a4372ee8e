// The custom size dialog: its layout, the two limits, the messages and which
// field gets the focus after a refusal.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/unit2.h"
#include "tests/gui/scripted_seam_helpers.h"

namespace pelmora {

using test::ScriptedSeam;

class Form2Test : public QObject {
  Q_OBJECT

 private:
  ScriptedSeam seam;

  // Types both fields and presses OK; returns the messages it caused.
  QStringList PressOk(TForm2& dialog, const QString& width, const QString& height) {
    seam.Clear();
    dialog.Edit1()->setText(width);
    dialog.Edit2()->setText(height);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    return seam.Messages();
  }

 private slots:
  void layout_matches_the_form() {
    TForm2 dialog(nullptr, seam);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ｶｽﾀﾑ"));
    QCOMPARE(dialog.size(), QSize(206, 153));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());  // fixed border
    QCOMPARE(dialog.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->geometry(),
             QRect(4, 0, 197, 121));
    QCOMPARE(dialog.Edit1()->geometry(), QRect(12, 84, 73, 20));
    QCOMPARE(dialog.Edit2()->geometry(), QRect(112, 84, 73, 20));
    for (QLineEdit* edit : {dialog.Edit1(), dialog.Edit2()}) {
      QCOMPARE(edit->maxLength(), 4);
      QCOMPARE(edit->text(), QStringLiteral("0"));
      QVERIFY(!edit->testAttribute(Qt::WA_InputMethodEnabled));
    }
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("Button2"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->geometry(), QRect(72, 128, 61, 21));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(cancel->geometry(), QRect(140, 128, 61, 21));
    auto* text = dialog.findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(text->text(),
             QStringLiteral("選択範囲の縦横のサイズをミリ単位で入れて下さい。このサイズは出力されるサイズです。"));
    QVERIFY(text->wordWrap());
    QVERIFY(!dialog.Ok());
  }

  void centres_on_the_main_window_truncating() {
    QWidget main;
    main.setGeometry(101, 51, 681, 480);
    TForm2 dialog(&main, seam);
    // 101 + (681 − 206) / 2 = 101 + 237; 51 + (480 − 153) / 2 = 51 + 163.
    QCOMPARE(dialog.pos(), QPoint(338, 214));
  }

  void accepts_the_a0_limits() {
    TForm2 dialog(nullptr, seam);
    dialog.show();
    QVERIFY(PressOk(dialog, QStringLiteral("1189"), QStringLiteral("841")).isEmpty());
    QVERIFY(dialog.Ok());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
  }

  void refuses_sizes_out_of_range_not_as_non_integers() {
    const QString range = QStringLiteral("入力値が範囲をこえています。");
    struct Case {
      const char* width;
      const char* height;
      const char* focused;
    };
    for (const Case& c : {Case{"1190", "10", "Edit1"}, Case{"0", "10", "Edit1"},
                          Case{"-5", "10", "Edit1"}, Case{"10", "842", "Edit2"},
                          Case{"10", "0", "Edit2"}, Case{"10", "-5", "Edit2"}}) {
      TForm2 dialog(nullptr, seam);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QCOMPARE(PressOk(dialog, QString::fromLatin1(c.width), QString::fromLatin1(c.height)),
               QStringList{range});
      QVERIFY2(!dialog.Ok(), c.width);
      QVERIFY2(dialog.isVisible(), "the dialog stays open after a refusal");
      QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.focused));
    }
  }

  void refuses_text_that_is_no_integer() {
    const QString integer = QStringLiteral("整数を入れて下さい。");
    struct Case {
      const char* width;
      const char* height;
      const char* focused;
    };
    for (const Case& c : {Case{"", "10", "Edit1"}, Case{"12a", "10", "Edit1"},
                          Case{" 12", "10", "Edit1"}, Case{"abc", "x", "Edit1"},
                          Case{"100", "", "Edit2"}, Case{"100", "5mm", "Edit2"}}) {
      TForm2 dialog(nullptr, seam);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QCOMPARE(PressOk(dialog, QString::fromLatin1(c.width), QString::fromLatin1(c.height)),
               QStringList{integer});
      QVERIFY(!dialog.Ok());
      QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.focused));
    }
  }

  void checks_the_width_before_the_height() {
    TForm2 dialog(nullptr, seam);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Both bad: only the width is reported.
    QCOMPARE(PressOk(dialog, QStringLiteral("2000"), QStringLiteral("x")),
             QStringList{QStringLiteral("入力値が範囲をこえています。")});
    QCOMPARE(QApplication::focusWidget(), dialog.Edit1());
    // Fixed width, still a bad height: now the height is reported and focused.
    QCOMPARE(PressOk(dialog, QStringLiteral("200"), QStringLiteral("x")),
             QStringList{QStringLiteral("整数を入れて下さい。")});
    QCOMPARE(QApplication::focusWidget(), dialog.Edit2());
    // Corrected: accepted.
    QVERIFY(PressOk(dialog, QStringLiteral("200"), QStringLiteral("100")).isEmpty());
    QVERIFY(dialog.Ok());
  }

  void cancel_returns_no_ok_even_after_valid_entries() {
    TForm2 dialog(nullptr, seam);
    dialog.show();
    dialog.Edit1()->setText(QStringLiteral("100"));
    dialog.Edit2()->setText(QStringLiteral("100"));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
    QVERIFY(!dialog.Ok());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    TForm2 closed(nullptr, seam);
    closed.show();
    closed.Edit1()->setText(QStringLiteral("100"));
    closed.Edit2()->setText(QStringLiteral("100"));
    closed.close();  // the window's close box
    QVERIFY(!closed.Ok());
  }

  void fields_hold_four_characters() {
    TForm2 dialog(nullptr, seam);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.Edit1()->clear();
    dialog.Edit1()->setFocus();
    QTest::keyClicks(dialog.Edit1(), QStringLiteral("123456"));
    QCOMPARE(dialog.Edit1()->text(), QStringLiteral("1234"));
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::Form2Test)
#include "form2_test.moc"
