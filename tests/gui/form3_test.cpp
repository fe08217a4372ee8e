// The settings dialog: working copy and OK, the swatches and their hints, the
// colour dialog through the seam, the five presets in the store, the width and
// point-size fields, the font list.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "app/quick_panel.h"
#include "app/unit1.h"
#include "dialogs/unit3.h"
#include "settings/settings_fields.h"
#include "settings/store.h"
#include "tests/gui/scripted_seam_helpers.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

class Form3Test : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<SettingsStore> store;
  test::ScriptedSeam seam;
  Settings settings;
  std::unique_ptr<TForm3> dialog;

  void Open() {
    dialog = std::make_unique<TForm3>(settings, *store, seam, nullptr);
    dialog->show();
  }
  void Click(const char* name) {
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QLineEdit* Edit(const char* name) { return dialog->findChild<QLineEdit*>(QString::fromLatin1(name)); }
  QString Hint(int n) { return dialog->Shape(n)->toolTip(); }
  Colour Thumb(int preset, int x, int y = 1) {
    return dialog->PresetImage(preset)->Picture().ColourAt(x, y);
  }

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    store = std::make_unique<SettingsStore>(dir->filePath(QStringLiteral("Pelmora.conf")).toStdString());
    seam.Clear();
    seam.colours.clear();
    seam.confirms.clear();
    settings = Settings();
  }
  void cleanup() {
    dialog.reset();
    QVERIFY2(seam.Unexpected().isEmpty(), qPrintable(seam.Unexpected().join('\n')));
  }

  void captionsAndTags() {
    Open();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("設定"));
    QCOMPARE(dialog->size(), QSize(379, 285));
    QCOMPARE(dialog->PageControl1()->count(), 2);
    QCOMPARE(dialog->PageControl1()->tabText(0), QStringLiteral("線色設定"));
    QCOMPARE(dialog->PageControl1()->tabText(1), QStringLiteral("環境設定"));
    for (int n = 1; n <= 7; ++n) {
      auto* pick = dialog->findChild<QPushButton*>(QStringLiteral("Button%1").arg(n + 5));
      QCOMPARE(pick->text(), QStringLiteral("色設定"));
      QCOMPARE(pick->property("tag").toInt(), n);
      QCOMPARE(dialog->Shape(n)->Tag(), n);
    }
    for (int n = 1; n <= 5; ++n) {
      auto* recall = dialog->findChild<QPushButton*>(QStringLiteral("Button%1").arg(n));
      QCOMPARE(recall->text(), QStringLiteral("ﾕｰｻﾞｰ %1").arg(n));
      auto* store_button = dialog->findChild<QPushButton*>(QStringLiteral("Button%1").arg(n + 14));
      QCOMPARE(store_button->text(), QStringLiteral("R"));
      QCOMPARE(store_button->toolTip(), QStringLiteral("現在の設定をボタンに登録します。"));
      QCOMPARE(dialog->PresetImage(n)->size(), QSize(48, 4));
    }
    QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("Button20"))->text(),
             QStringLiteral("ﾃﾞﾌｫﾙﾄ"));
    QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->text(),
             QStringLiteral("補助線を描画する。"));
    QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox4"))->text(),
             QStringLiteral("保存ファイルにパレットを設定する。"));
    QVERIFY(!dialog->Accepted());
  }

  void opensOnThePageOfTheCommand() {
    Open();
    dialog->ShowPageOfTag(5);
    QCOMPARE(dialog->PageControl1()->currentIndex(), 1);
    dialog->ShowPageOfTag(3);
    QCOMPARE(dialog->PageControl1()->currentIndex(), 0);
  }

  // S3 opens the pen page, S5 the options page; OK re-renders the preview
  // with the new pens, Cancel leaves everything.
  void s3ClickFromTheWindow() {
    test::WindowFixture fixture;
    TForm1& form = fixture.Form();
    form.show();
    fixture.Open(fixture.Write(QStringLiteral("plan.jwc"),
                               test::A4Drawing().AddLine({.X1 = 10, .Y1 = 100, .X2 = 200,
                                                          .Y2 = 100, .LineType = 1,
                                                          .PenColor = 1})));
    QCOMPARE(test::PreviewPixel(form, 100, 110), form.settings().Color1);
    auto& seam = fixture.Seam();

    int page = -1;
    seam.dialogs.push_back([&page](QDialog& shown) {
      auto& settings_dialog = dynamic_cast<TForm3&>(shown);
      page = settings_dialog.PageControl1()->currentIndex();
      QTest::mouseClick(settings_dialog.findChild<QPushButton*>(QStringLiteral("Button14")),
                        Qt::LeftButton);
    });
    fixture.Trigger("S5");
    QCOMPARE(page, 1);

    seam.colours = {Colour{0x3366CC}, Colour{0x00AA00}};
    seam.dialogs.push_back([&page](QDialog& shown) {
      auto& settings_dialog = dynamic_cast<TForm3&>(shown);
      page = settings_dialog.PageControl1()->currentIndex();
      QTest::mouseClick(settings_dialog.findChild<QPushButton*>(QStringLiteral("Button6")),
                        Qt::LeftButton);
      QTest::mouseClick(settings_dialog.findChild<QPushButton*>(QStringLiteral("Button12")),
                        Qt::LeftButton);
      QTest::mouseClick(settings_dialog.findChild<QPushButton*>(QStringLiteral("Button13")),
                        Qt::LeftButton);
    });
    fixture.Trigger("S3");
    QCOMPARE(page, 0);
    QCOMPARE(form.settings().Color1, Colour{0x3366CC});
    QCOMPARE(test::PreviewPixel(form, 100, 110), Colour{0x3366CC});
    QCOMPARE(test::PreviewPixel(form, 5, 5), Colour{0x00AA00});

    seam.colours = {Colour{0x0000FF}};
    seam.dialogs.push_back([](QDialog& shown) {
      QTest::mouseClick(shown.findChild<QPushButton*>(QStringLiteral("Button6")), Qt::LeftButton);
      shown.close();
    });
    fixture.Trigger("S3");
    QCOMPARE(form.settings().Color1, Colour{0x3366CC});
    QCOMPARE(test::PreviewPixel(form, 100, 110), Colour{0x3366CC});
    QVERIFY2(seam.Unexpected().isEmpty(), qPrintable(seam.Unexpected().join('\n')));
  }

  void swatchHints() {
    QCOMPARE(ColorHintText(0x00FFFF), QStringLiteral("R:255,G:255,B:0"));
    settings.Color1 = 0x123456;
    Open();
    QCOMPARE(Hint(1), QStringLiteral("R:86,G:52,B:18"));
    QCOMPARE(Hint(7), QStringLiteral("R:0,G:0,B:0"));
    Click("Button20");
    QCOMPARE(Hint(3), QStringLiteral("R:0,G:255,B:0"));
    QCOMPARE(Hint(1), QStringLiteral("R:0,G:255,B:255"));
  }

  // The colour dialog starts on the swatch's colour; the swatch, a button or
  // any mouse button on the swatch asks; Cancel changes nothing.
  void pickingColours() {
    settings.Color4 = 0x010203;
    Open();
    seam.colours = {Colour{0xABCDEF}, std::nullopt, Colour{0x0000FF}};
    Click("Button9");  // pen 4
    QCOMPARE(dialog->Shape(4)->Color(), Colour{0xABCDEF});
    QCOMPARE(Hint(4), QStringLiteral("R:239,G:205,B:171"));
    QTest::mouseClick(dialog->Shape(4), Qt::RightButton);  // cancelled
    QCOMPARE(dialog->Shape(4)->Color(), Colour{0xABCDEF});
    QTest::mouseClick(dialog->Shape(7), Qt::LeftButton);
    QCOMPARE(dialog->Shape(7)->Color(), Colour{0x0000FF});
    QCOMPARE(seam.log, QStringList({"colour: 0x010203", "colour: 0xabcdef", "colour: 0x000000"}));
    QCOMPARE(settings.Color4, Colour{0x010203});  // not before OK
  }

  void okCopiesTheWorkingCopyBack() {
    settings.Color7 = 0x445566;
    settings.PenWidth3 = 4;
    settings.Dot = 6;
    Open();
    seam.colours = {Colour{0x111111}, Colour{0x222222}};
    Click("Button6");
    Click("Button12");
    Click("CheckBox1");
    Click("CheckBox2");
    Click("CheckBox3");
    Click("CheckBox4");
    Edit("Edit3")->setText(QStringLiteral("12"));
    Edit("Edit8")->setText(QStringLiteral("42"));
    dialog->ComboBox1()->setCurrentIndex(0);
    const QString font = dialog->ComboBox1()->itemText(0);
    Click("Button13");
    QVERIFY(dialog->Accepted());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(settings.Color1, Colour{0x111111});
    QCOMPARE(settings.BackColor, Colour{0x222222});
    QCOMPARE(settings.Color2, Settings().Color2);
    QCOMPARE(settings.Color7, Colour{0x445566});  // never shown, never changed
    QCOMPARE(settings.No9, !Settings().No9);
    QCOMPARE(settings.TextMode, !Settings().TextMode);
    QCOMPARE(settings.WriteDPI, !Settings().WriteDPI);
    QCOMPARE(settings.usePalette, !Settings().usePalette);
    QCOMPARE(settings.PenWidth3, 12);
    QCOMPARE(settings.PenWidth1, 1);
    QCOMPARE(settings.Dot, 42);
    QCOMPARE(QString::fromStdString(settings.FontName), font);
  }

  void cancelLeavesTheSettings() {
    const Settings before = settings;
    Open();
    seam.colours = {Colour{0x111111}};
    Click("Button6");
    Click("Button20");
    Click("CheckBox2");
    Edit("Edit1")->setText(QStringLiteral("9"));
    Click("Button14");
    QVERIFY(!dialog->Accepted());
    QCOMPARE(settings.Color1, before.Color1);
    QCOMPARE(settings.Color3, before.Color3);
    QCOMPARE(settings.TextMode, before.TextMode);
    QCOMPARE(settings.PenWidth1, before.PenWidth1);
    QCOMPARE(settings.FontName, before.FontName);
  }

  void recallingPresetOneOnFirstUse() {
    settings.PenWidth2 = 7;
    Open();
    Click("Button1");
    for (int n = 1; n <= 6; ++n) QCOMPARE(dialog->Shape(n)->Color(), Colour{0});
    QCOMPARE(dialog->Shape(7)->Color(), Colour{0xFFFFFF});
    QCOMPARE(Hint(7), QStringLiteral("R:255,G:255,B:255"));
    QCOMPARE(Edit("Edit2")->text(), QStringLiteral("7"));
    QCOMPARE(dialog->WidthUpDown(2)->Position(), 7);
  }

  // Pens 1..6 in 6-pixel blocks 7 apart, the background last; the gaps stay white.
  void presetThumbnails() {
    Open();
    const Colour pens[6] = {0xFFBC79, 0xDEDEDE, 0x9AD206, 0x7BD2FD, 0xFCA3D8, 0xC66311};
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 48; ++x) {
        Colour expected = 0xFFFFFF;
        if (x >= 42) expected = 0x000000;
        else if (x % 7 != 6) expected = pens[x / 7];
        QCOMPARE(Thumb(4, x, y), expected);
      }
    }
    QCOMPARE(Thumb(1, 0), Colour{0});
    QCOMPARE(Thumb(1, 45), Colour{0xFFFFFF});
  }

  // A registered preset survives Cancel and is there at the next opening.
  void registeredPresetSurvivesCancel() {
    const Settings before = settings;
    Open();
    seam.colours = {Colour{0x0A0B0C}, Colour{0x123456}};
    Click("Button8");   // pen 3
    Click("Button12");  // background
    seam.confirms = {true};
    Click("Button17");  // "R" of preset 3
    QCOMPARE(seam.log.last(),
             QStringLiteral("confirm: Pelmora | 現在の設定を ﾕｰｻﾞｰ 3 に登録します。\n\rよろしいですか？"));
    QCOMPARE(Thumb(3, 14), Colour{0x0A0B0C});
    QCOMPARE(Thumb(3, 47), Colour{0x123456});
    Click("Button14");
    QCOMPARE(settings.Color3, before.Color3);
    QCOMPARE(settings.BackColor, before.BackColor);

    Open();
    const ColourPreset& preset = dialog->Presets()[2];
    QCOMPARE(preset[3], Colour{0x0A0B0C});
    QCOMPARE(preset[0], Colour{0x123456});
    QCOMPARE(preset[1], before.Color1);
    QCOMPARE(Thumb(3, 14), Colour{0x0A0B0C});
    QCOMPARE(Thumb(3, 42), Colour{0x123456});
    Click("Button3");  // recall it
    QCOMPARE(dialog->Shape(3)->Color(), Colour{0x0A0B0C});
    QCOMPARE(dialog->Shape(7)->Color(), Colour{0x123456});
    Click("Button14");
  }

  void refusedRegistrationChangesNothing() {
    Open();
    Click("Button20");
    seam.confirms = {false};
    Click("Button15");  // "R" of preset 1
    QCOMPARE(dialog->Presets()[0], DefaultColourPresets()[0]);
    QCOMPARE(Thumb(1, 0), Colour{0});
    Click("Button13");
    QCOMPARE(store->LoadColourPresets()[0], DefaultColourPresets()[0]);
  }

  // Slot 7 is read, kept and written back, whatever the dialog does.
  void slotSevenIsCarried() {
    ColourPresets stored = DefaultColourPresets();
    stored[0][7] = 123456;
    stored[4][7] = 0xFFFFFFFF;
    QVERIFY(store->SaveColourPresets(stored));
    Open();
    seam.confirms = {true, true};
    Click("Button15");
    Click("Button19");
    dialog->close();  // the close box
    const ColourPresets after = store->LoadColourPresets();
    QCOMPARE(after[0][7], Colour{123456});
    QCOMPARE(after[4][7], Colour{0xFFFFFFFF});
    QCOMPARE(after[0][0], settings.BackColor);  // registered
  }

  void unknownFontSelectsTheSecondEntry() {
    const QStringList fonts = FontFaceNames();
    QVERIFY2(fonts.size() >= 2, "the machine has fewer than two fonts");
    QCOMPARE(QStringList(fonts).removeDuplicates(), 0);
    settings.FontName = "No Such Face 123";
    Open();
    QCOMPARE(dialog->ComboBox1()->count(), fonts.size());
    QCOMPARE(dialog->ComboBox1()->currentIndex(), 1);
    Click("Button13");
    QCOMPARE(QString::fromStdString(settings.FontName), fonts[1]);
  }

  void knownFontIsSelected() {
    const QStringList fonts = FontFaceNames();
    QVERIFY(fonts.size() >= 3);
    settings.FontName = fonts.last().toStdString();
    Open();
    QCOMPARE(dialog->ComboBox1()->currentIndex(), fonts.size() - 1);
    Click("Button14");
    // Names compare without regard to case; OK stores the list's spelling.
    settings.FontName = fonts[2].toLower().toStdString();
    Open();
    QCOMPARE(dialog->ComboBox1()->currentIndex(), 2);
    Click("Button13");
    QCOMPARE(QString::fromStdString(settings.FontName), fonts[2]);
  }

  // The Windows gothic of the defaults stays the font when a stand-in is installed.
  void defaultFaceIsOffered() {
    if (!FontFaceNames().contains(QStringLiteral("ＭＳ ゴシック"))) QSKIP("no Japanese gothic installed");
    Open();
    QCOMPARE(dialog->ComboBox1()->currentText(), QStringLiteral("ＭＳ ゴシック"));
    Click("Button13");
    QCOMPARE(settings.FontName, Settings().FontName);
  }

  void keyFilter() {
    QVERIFY(TForm3::Edit1KeyPress(QLatin1Char('0')));
    QVERIFY(TForm3::Edit1KeyPress(QLatin1Char('9')));
    QVERIFY(TForm3::Edit1KeyPress(QChar(8)));
    QVERIFY(TForm3::Edit1KeyPress(QChar(13)));
    QVERIFY(TForm3::Edit1KeyPress(QChar(27)));
    QVERIFY(!TForm3::Edit1KeyPress(QLatin1Char('a')));
    QVERIFY(!TForm3::Edit1KeyPress(QLatin1Char('-')));
    QVERIFY(!TForm3::Edit1KeyPress(QLatin1Char(' ')));
    QVERIFY(!TForm3::Edit1KeyPress(QChar(0xFF11)));  // full-width digit one

    Open();
    QLineEdit* edit1 = Edit("Edit1");
    edit1->clear();
    QTest::keyClicks(edit1, QStringLiteral("x7-"));
    QCOMPARE(edit1->text(), QStringLiteral("7"));
    QTest::keyClicks(edit1, QStringLiteral("55"));
    QCOMPARE(edit1->text(), QStringLiteral("75"));  // at most 2 digits
    QLineEdit* edit8 = Edit("Edit8");
    edit8->clear();
    QTest::keyClicks(edit8, QStringLiteral("1a0.0"));
    QCOMPARE(edit8->text(), QStringLiteral("100"));
    QCOMPARE(dialog->UpDown8()->Position(), 100);
  }

  // Only printable characters are filtered: the editing shortcuts work.
  void editingShortcutsReachTheNumberFields() {
    Open();
    QLineEdit* edit = Edit("Edit3");
    edit->setText(QStringLiteral("12"));
    edit->setCursorPosition(2);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(edit->selectedText(), QStringLiteral("12"));
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12"));
    QGuiApplication::clipboard()->setText(QStringLiteral("34"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("34"));
    QTest::keyClicks(edit, QStringLiteral("a "));
    QCOMPARE(edit->text(), QStringLiteral("34"));
  }

  // OK is the default button: Enter in a field accepts, Escape cancels.
  void enterIsOkAndEscapeIsCancel() {
    settings.PenWidth1 = 1;
    Open();
    QLineEdit* edit = Edit("Edit1");
    edit->setText(QStringLiteral("7"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(dialog->Accepted());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(settings.PenWidth1, 7);

    Open();
    Edit("Edit1")->setText(QStringLiteral("9"));
    QTest::keyClick(Edit("Edit1"), Qt::Key_Escape);
    QVERIFY(!dialog->Accepted());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(settings.PenWidth1, 7);
  }

  // The position stays within 1..99 (pens) and 1..100 (points); text that is
  // not a number in range leaves the previous position.
  void widthAndPointSizeRanges() {
    settings.PenWidth2 = 3;
    settings.Dot = 100;
    Open();
    UpDown* pen2 = dialog->WidthUpDown(2);
    Edit("Edit2")->setText(QStringLiteral("0"));
    QCOMPARE(pen2->Position(), 3);
    Edit("Edit2")->setText(QString());
    QCOMPARE(pen2->Position(), 3);
    QTest::mouseClick(pen2->UpButton(), Qt::LeftButton);
    QCOMPARE(pen2->Position(), 4);
    QCOMPARE(Edit("Edit2")->text(), QStringLiteral("4"));
    Edit("Edit2")->setText(QStringLiteral("99"));
    pen2->Step(1);
    QCOMPARE(pen2->Position(), 99);
    Edit("Edit2")->setText(QStringLiteral("1"));
    QTest::mouseClick(pen2->DownButton(), Qt::LeftButton);
    QCOMPARE(pen2->Position(), 1);
    QTest::keyClick(Edit("Edit2"), Qt::Key_Up);
    QCOMPARE(Edit("Edit2")->text(), QStringLiteral("2"));

    UpDown* dot = dialog->UpDown8();
    QCOMPARE(dot->Position(), 100);
    dot->Step(1);
    QCOMPARE(dot->Position(), 100);
    Edit("Edit8")->setText(QStringLiteral("101"));
    QCOMPARE(dot->Position(), 100);
    Click("Button13");
    QCOMPARE(settings.PenWidth2, 2);
    QCOMPARE(settings.Dot, 100);
  }

  // Widths stored outside the range open at the nearest end.
  void storedWidthsOutsideTheRange() {
    settings.PenWidth1 = 0;
    settings.PenWidth6 = 500;
    settings.Dot = -3;
    Open();
    QCOMPARE(Edit("Edit1")->text(), QStringLiteral("1"));
    QCOMPARE(Edit("Edit6")->text(), QStringLiteral("99"));
    QCOMPARE(Edit("Edit8")->text(), QStringLiteral("1"));
    Click("Button14");
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::Form3Test)
#include "form3_test.moc"
