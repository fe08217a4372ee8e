// The layer display dialog: working copies, OK and Cancel, the bulk buttons,
// the overlays and the thumbnails it draws of one group at a time.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <array>
#include <cstdint>
#include <memory>

#include "app/quick_panel.h"
#include "app/unit1.h"
#include "dialogs/unit5.h"
#include "drawing/jwcunit.h"
#include "settings/settings.h"
#include "tests/gui/window_helpers.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

using LayerTable = std::array<std::uint8_t, 256>;
using GroupTable = std::array<std::uint8_t, 16>;

// Pixels of a thumbnail that differ from the background.
int Inked(const PanelImage* image, Colour background) {
  int count = 0;
  const Bitmap& picture = image->Picture();
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) count += picture.ColourAt(x, y) != background;
  return count;
}

// Pixels of a row painted in `colour`.
int InRow(const PanelImage* image, int y, Colour colour) {
  int count = 0;
  for (int x = 0; x < image->Picture().Width(); ++x) count += image->Picture().ColourAt(x, y) == colour;
  return count;
}

// FNV-1a over the pixels of the 16 thumbnails, in order.
std::uint64_t Fingerprint(const TForm5& dialog) {
  std::uint64_t hash = 14695981039346656037ull;
  for (int n = 1; n <= 16; ++n) {
    const Bitmap& picture = dialog.Thumbnail(n)->Picture();
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x) {
        hash ^= picture.ColourAt(x, y);
        hash *= 1099511628211ull;
      }
  }
  return hash;
}

// Lines, arcs, texts and dots over groups 0 and 3, with the walk's quirks in
// play: dash patterns chosen by entities of other groups, texts stroked in the
// line type the arcs left, a line type that keeps the previous pattern, a
// style with no colour, pens outside the colour table.
JwcWriter ThumbnailScene() {
  JwcWriter drawing = JwcWriter().Paper(2).WindowWidth(520);
  drawing.TextStyle(0, 3, 30, 30, 0).TextStyle(4, 9, 20, 20, 0);
  const std::uint8_t layers[] = {0x00, 0x05, 0x37, 0x3F, 0x10, 0x30};
  int n = 0;
  for (std::uint8_t layer : layers) {
    for (int k = 0; k < 4; ++k, ++n) {
      const float x = 12.5f + 37.3f * static_cast<float>(k) + 3.1f * static_cast<float>(n);
      const float y = 40.0f + 61.7f * static_cast<float>(k % 3) + 2.5f * static_cast<float>(n);
      drawing.AddLine({.X1 = x, .Y1 = y, .X2 = x + 310.0f - 20.0f * static_cast<float>(k),
                       .Y2 = y + 117.5f, .LineType = static_cast<std::uint8_t>(1 + (n % 9)),
                       .PenColor = static_cast<std::uint8_t>(n % 10), .Layer = layer});
      drawing.AddLine({.X1 = x, .Y1 = 300.0f - y, .X2 = x + 60.0f, .Y2 = 300.0f - y,
                       .LineType = static_cast<std::uint8_t>(n % 3 == 0 ? 12 : 2 + n % 4),
                       .PenColor = 2, .Layer = layer});
      drawing.AddArc({.CenterX = 260.0f - x / 2, .CenterY = 180.0f + y / 3,
                      .Radius = 22.5f + 17.0f * static_cast<float>(k), .Flatness = k == 2 ? 0.5f : 1.0f,
                      .StartAngle = 15.0f * static_cast<float>(k), .EndAngle = k == 0 ? 360.0f : 250.0f,
                      .Tilt = 30.0f * static_cast<float>(k % 2),
                      .LineType = static_cast<std::uint8_t>(2 + (n % 8)),
                      .PenColor = static_cast<std::uint8_t>(1 + n % 7), .Layer = layer});
      drawing.AddText({.X1 = x + 5.0f, .Y1 = y + 50.0f, .X2 = x + 205.0f, .Y2 = y + 90.5f,
                       .Text = "AB", .Style = static_cast<std::uint8_t>(k == 3 ? 12 : (k == 1 ? 4 : 0)),
                       .Layer = layer});
      drawing.AddDot({.X = x + 100.0f, .Y = y + 10.0f, .Layer = layer,
                      .PenColor = static_cast<std::uint8_t>(n % 8)});
    }
  }
  return drawing;
}

}  // namespace

// Fingerprints of groups 0, 3 and 1 of ThumbnailScene.
constexpr char kThumbnailPixels[] = "d3d7edc8e561f178 35e20ce7839fc5ce d993fcc2aa7d82e7";

class Form5Test : public QObject {
  Q_OBJECT

 private:
  Tjwcin reader;
  Settings settings;
  LayerTable layers{};
  GroupTable groups{};
  std::unique_ptr<TForm5> dialog;

  void Load(const JwcWriter& writer) { QCOMPARE(reader.JwcLoadBytes(writer.Bytes()), 0); }
  void Open() {
    dialog = std::make_unique<TForm5>(reader, settings, layers, groups, nullptr);
    dialog->show();
  }
  void Click(const char* name) {
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void SelectGroup(int group) {
    Click(QStringLiteral("RadioButton%1").arg(group + 1).toLatin1().constData());
    QCOMPARE(dialog->SelectedGroup(), group);
  }

 private slots:
  void init() {
    settings = Settings();
    settings.BackColor = 0x000000;
    settings.Color1 = 0x00FFFF;
    settings.Color2 = 0xFFFFFF;
    layers.fill(1);
    groups.fill(1);
    QCOMPARE(reader.JwcLoadBytes(JwcWriter().Bytes()), 0);
  }
  void cleanup() { dialog.reset(); }

  void layoutAndCaptions() {
    Open();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("表示ﾚｲﾔ設定"));
    QCOMPARE(dialog->size(), QSize(632, 334));
    const char* const captions[16] = {"ｸﾞﾙｰﾌﾟ 0", "ｸﾞﾙｰﾌﾟ 1", "ｸﾞﾙｰﾌﾟ 2", "ｸﾞﾙｰﾌﾟ 3",
                                      "ｸﾞﾙｰﾌﾟ 4", "ｸﾞﾙｰﾌﾟ 5", "ｸﾞﾙｰﾌﾟ 6", "ｸﾞﾙｰﾌﾟ 7",
                                      "ｸﾞﾙｰﾌﾟ 8", "ｸﾞﾙｰﾌﾟ 9", "ｸﾞﾙｰﾌﾟ A", "ｸﾞﾙｰﾌﾟ B",
                                      "ｸﾞﾙｰﾌﾟ C", "ｸﾞﾙｰﾌﾟ D", "ｸﾞﾙｰﾌﾟ E", "ｸﾞﾙｰﾌﾟ F"};
    for (int n = 1; n <= 16; ++n) {
      auto* radio = dialog->findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(n));
      QVERIFY(radio);
      QCOMPARE(radio->text(), QString::fromUtf8(captions[n - 1]));
      QCOMPARE(radio->isChecked(), n == 1);
      // Image and overlay n share a cell of the 4 × 4 grid, layers 0..3 on top.
      const QRect cell(8 + 108 * ((n - 1) % 4), 8 + 76 * ((n - 1) / 4), 104, 73);
      QCOMPARE(dialog->Thumbnail(n)->geometry(), cell);
      QCOMPARE(dialog->Overlay(n)->geometry(), cell);
      QCOMPARE(dialog->Overlay(n)->Tag(), n);
    }
    QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->text(),
             QStringLiteral("グループ"));
    QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("Button3"))->text(),
             QStringLiteral("全て隠す"));
    QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("Button4"))->text(),
             QStringLiteral("全て表示"));
    QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("Button5"))->text(),
             QStringLiteral("選択の反転"));
  }

  void centresOnTheMainWindow() {
    QWidget owner;
    owner.setGeometry(100, 50, 801, 600);
    owner.show();
    TForm5 centred(reader, settings, layers, groups, &owner);
    // (801 − 632) / 2 = 84 and (600 − 334) / 2 = 133, truncated.
    QCOMPARE(centred.pos(), QPoint(100 + 84, 50 + 133));
  }

  // OK is the default button: Enter applies, Escape is Cancel.
  void enterIsOkAndEscapeIsCancel() {
    Open();
    Click("Button3");  // hide the 16 layers of group 0
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(layers[0], 1);
    Open();
    Click("Button3");
    QTest::keyClick(dialog->findChild<QRadioButton*>(QStringLiteral("RadioButton1")), Qt::Key_Return);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(layers[0], 0);
    QCOMPARE(layers[15], 0);
    QCOMPARE(layers[16], 1);
  }

  // Choosing a group re-renders with the dialog disabled; the focus stays on
  // the radio button the user chose it with.
  void choosingAGroupKeepsTheFocus() {
    Open();
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* radio = dialog->findChild<QRadioButton*>(QStringLiteral("RadioButton3"));
    radio->setFocus();
    QCOMPARE(QApplication::focusWidget(), radio);
    QTest::keyClick(radio, Qt::Key_Space);
    QCOMPARE(dialog->SelectedGroup(), 2);
    QCOMPARE(QApplication::focusWidget(), radio);
    QTest::keyClick(radio, Qt::Key_Down);  // arrows move the choice, and the focus with it
    auto* next = dialog->findChild<QRadioButton*>(QStringLiteral("RadioButton4"));
    QCOMPARE(QApplication::focusWidget(), next);
  }

  // The exact pixels of the thumbnails of two groups, taken from the dialog
  // as it drew them when they were first pinned down.
  void thumbnailsKeepTheirPixels() {
    settings.Color3 = 0x00FF00;
    settings.Color4 = 0xFF0000;
    Load(ThumbnailScene());
    Open();
    QStringList seen;
    seen << QString::number(Fingerprint(*dialog), 16);
    SelectGroup(3);
    seen << QString::number(Fingerprint(*dialog), 16);
    SelectGroup(1);
    seen << QString::number(Fingerprint(*dialog), 16);
    QCOMPARE(seen.join(' '), QString::fromLatin1(kThumbnailPixels));
  }

  void cancelChangesNothing() {
    layers[7] = 0;
    groups[2] = 0;
    const LayerTable layers_before = layers;
    const GroupTable groups_before = groups;
    Open();
    QTest::mouseClick(dialog->Overlay(3), Qt::LeftButton);
    Click("Button5");
    Click("CheckBox1");
    SelectGroup(2);
    Click("Button4");
    Click("CheckBox1");
    QVERIFY(dialog->WorkLayerVisible() != layers_before);
    Click("Button2");
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(layers == layers_before);
    QVERIFY(groups == groups_before);
  }

  void closeBoxIsCancel() {
    Open();
    Click("Button3");
    dialog->close();
    for (auto flag : layers) QCOMPARE(flag, std::uint8_t{1});
  }

  void hideAllThenOkTouchesOnlyTheSelectedGroup() {
    layers[3] = 0;
    layers[200] = 2;  // not a plain flag: must survive untouched
    const LayerTable before = layers;
    Open();
    SelectGroup(4);
    Click("Button3");
    for (int n = 1; n <= 16; ++n) QVERIFY(dialog->Overlay(n)->Hatched());
    Click("Button1");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    for (int i = 0; i < 256; ++i) {
      QCOMPARE(layers[i], i >= 64 && i < 80 ? std::uint8_t{0} : before[i]);
    }
    for (auto flag : groups) QCOMPARE(flag, std::uint8_t{1});
  }

  void showAllShowsTheGroup() {
    for (int i = 16; i < 32; ++i) layers[i] = static_cast<std::uint8_t>(i % 3);
    Open();
    SelectGroup(1);
    Click("Button4");
    Click("Button1");
    for (int i = 16; i < 32; ++i) QCOMPARE(layers[i], std::uint8_t{1});
  }

  void invertWithLayersZeroAndFiveHidden() {
    layers[0] = 0;
    layers[5] = 0;
    Open();
    QVERIFY(dialog->Overlay(1)->Hatched());
    QVERIFY(dialog->Overlay(6)->Hatched());
    QVERIFY(!dialog->Overlay(2)->Hatched());
    Click("Button5");
    for (int n = 1; n <= 16; ++n) QCOMPARE(dialog->Overlay(n)->Hatched(), n != 1 && n != 6);
    Click("Button1");
    for (int i = 0; i < 16; ++i) QCOMPARE(layers[i], std::uint8_t(i == 0 || i == 5 ? 1 : 0));
    for (int i = 16; i < 256; ++i) QCOMPARE(layers[i], std::uint8_t{1});
  }

  // Any button on an overlay toggles its layer; the look decides, not the flag.
  void overlayClicksToggle() {
    Open();
    SelectGroup(9);
    QTest::mouseClick(dialog->Overlay(4), Qt::RightButton);
    QCOMPARE(dialog->WorkLayerVisible()[9 * 16 + 3], std::uint8_t{0});
    QVERIFY(dialog->Overlay(4)->Hatched());
    QTest::mouseClick(dialog->Overlay(4), Qt::LeftButton);
    QCOMPARE(dialog->WorkLayerVisible()[9 * 16 + 3], std::uint8_t{1});
    QVERIFY(!dialog->Overlay(4)->Hatched());
  }

  void groupCheckBoxFollowsTheSelectedGroup() {
    groups[6] = 0;
    groups[8] = 3;  // only 1 counts as shown
    layers[6 * 16 + 1] = 0;
    Open();
    auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
    QVERIFY(box->isChecked());
    SelectGroup(6);
    QVERIFY(!box->isChecked());
    SelectGroup(8);
    QVERIFY(!box->isChecked());
    SelectGroup(5);
    Click("CheckBox1");  // untick group 5
    Click("Button1");
    QCOMPARE(groups[5], std::uint8_t{0});
    QCOMPARE(groups[6], std::uint8_t{0});
    for (int i = 80; i < 96; ++i) QCOMPARE(layers[i], std::uint8_t{1});  // layers stay
    QCOMPARE(layers[6 * 16 + 1], std::uint8_t{0});
  }

  // The hatch is drawn in the background colour's opposite and leaves the
  // thumbnail visible between its lines.
  void hatchColourAndLook() {
    settings.BackColor = 0x123456;
    Open();
    QCOMPARE(dialog->CrossColor(), Colour{0xEDCBA9});
    QTest::mouseClick(dialog->Overlay(2), Qt::LeftButton);
    const QImage hatched = dialog->Overlay(2)->grab().toImage();
    const QImage shown = dialog->Overlay(1)->grab().toImage();
    int cross = 0, cross_in_shown = 0;
    for (int y = 2; y < 70; ++y) {
      for (int x = 2; x < 100; ++x) {
        cross += hatched.pixel(x, y) == qRgb(0xA9, 0xCB, 0xED);
        cross_in_shown += shown.pixel(x, y) == qRgb(0xA9, 0xCB, 0xED);
      }
    }
    QVERIFY(cross > 300);
    QVERIFY(cross < 98 * 68 / 2);  // a hatch, not a fill
    QCOMPARE(cross_in_shown, 0);
    // Black outline on both.
    QCOMPARE(hatched.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(103, 72), qRgb(0, 0, 0));
  }

  // Layer byte 0x37 is layer 7 of group 3: image 8, only while group 3 shows.
  void lineOnLayer0x37IsInImage8OfGroup3Only() {
    Load(JwcWriter().AddLine(
        {.X1 = 50, .Y1 = 100, .X2 = 400, .Y2 = 300, .LineType = 1, .PenColor = 2, .Layer = 0x37}));
    Open();
    for (int n = 1; n <= 16; ++n) QCOMPARE(Inked(dialog->Thumbnail(n), 0), 0);
    SelectGroup(3);
    for (int n = 1; n <= 16; ++n) {
      if (n == 8)
        QVERIFY(Inked(dialog->Thumbnail(n), 0) > 60);
      else
        QCOMPARE(Inked(dialog->Thumbnail(n), 0), 0);
    }
    SelectGroup(7);  // layer 3 of group 7 is 0x73, not 0x37
    for (int n = 1; n <= 16; ++n) QCOMPARE(Inked(dialog->Thumbnail(n), 0), 0);
  }

  void groupAShowsLayers160To175() {
    Load(JwcWriter()
             .AddDot({.X = 100, .Y = 100, .Layer = 160, .PenColor = 2})
             .AddDot({.X = 200, .Y = 150, .Layer = 175, .PenColor = 2})
             .AddDot({.X = 300, .Y = 150, .Layer = 176, .PenColor = 2}));
    layers[175] = 0;
    Open();
    SelectGroup(10);
    QCOMPARE(dialog->Thumbnail(1)->Picture().ColourAt(20, 73 - 20), Colour{0xFFFFFF});
    QCOMPARE(dialog->Thumbnail(16)->Picture().ColourAt(40, 73 - 30), Colour{0xFFFFFF});
    // A hidden layer's thumbnail is still drawn, under the hatch.
    QVERIFY(dialog->Overlay(16)->Hatched());
    QVERIFY(!dialog->Overlay(1)->Hatched());
    // Dots are single pixels.
    QCOMPARE(Inked(dialog->Thumbnail(1), 0), 1);
    QCOMPARE(Inked(dialog->Thumbnail(16), 0), 1);
  }

  // 0.2 pixels per drawing unit whatever the paper: 520 units span the 104
  // pixels; beyond them nothing shows. y grows upwards from row 73.
  void thumbnailScale() {
    Load(JwcWriter()
             .WindowWidth(1040)
             .AddLine({.X1 = 0, .Y1 = 100, .X2 = 520, .Y2 = 100, .LineType = 1, .PenColor = 1})
             .AddLine({.X1 = 525, .Y1 = 0, .X2 = 1040, .Y2 = 700, .LineType = 1, .PenColor = 1,
                       .Layer = 1}));
    Open();
    QCOMPARE(InRow(dialog->Thumbnail(1), 53, 0x00FFFF), 104);
    QCOMPARE(Inked(dialog->Thumbnail(1), 0), 104);
    QCOMPARE(Inked(dialog->Thumbnail(2), 0), 0);
  }

  // Pens without a colour-table entry draw as the renderer draws them, and
  // every stroke is one pixel wide whatever the pen widths.
  void pensLikeTheRenderer() {
    settings.PenWidth3 = 9;
    Load(JwcWriter()
             .AddLine({.X1 = 0, .Y1 = 100, .X2 = 100, .Y2 = 100, .LineType = 1, .PenColor = 9})
             .AddLine({.X1 = 0, .Y1 = 200, .X2 = 100, .Y2 = 200, .LineType = 1, .PenColor = 3,
                       .Layer = 1}));
    settings.Color3 = 0x0000FF;
    Open();
    // x = 0..20: solid lines paint both end pixels.
    QCOMPARE(InRow(dialog->Thumbnail(1), 53, settings.Color1), 21);
    QCOMPARE(InRow(dialog->Thumbnail(2), 33, 0x0000FF), 21);
    QCOMPARE(Inked(dialog->Thumbnail(2), 0), 21);
  }

  // A text is a straight stroke from its start to its end point, in the line
  // type that the lines before it left, even a line of another group.
  void textsUseTheLineTypeLeftBehind() {
    const auto drawing = [](std::uint8_t other_group_type) {
      return JwcWriter()
          .TextStyle(0, 2, 30, 30, 0)
          .AddLine({.X1 = 0, .Y1 = 0, .X2 = 10, .Y2 = 0, .LineType = other_group_type,
                    .PenColor = 1, .Layer = 0x20})
          .AddText({.X1 = 0, .Y1 = 100, .X2 = 500, .Y2 = 100, .Text = "ABC", .Style = 0});
    };
    Load(drawing(1));
    Open();
    QCOMPARE(InRow(dialog->Thumbnail(1), 53, settings.Color2), 101);
    dialog.reset();

    Load(drawing(3));
    Open();
    const int dashed = InRow(dialog->Thumbnail(1), 53, settings.Color2);
    QVERIFY(dashed > 20);
    QVERIFY(dashed < 80);
  }

  // S4Click: the preview follows the dialog's flags, and so do the quick
  // panel's buttons, as soon as the dialog closes.
  void s4ClickRerendersAndRedrawsThePanel() {
    test::WindowFixture fixture;
    TForm1& form = fixture.Form();
    form.show();
    fixture.Open(fixture.Write(QStringLiteral("plan.jwc"),
                               test::A4Drawing().AddLine({.X1 = 10, .Y1 = 100, .X2 = 200,
                                                          .Y2 = 100, .LineType = 1,
                                                          .PenColor = 1, .Layer = 0x05})));
    const Colour pen = form.settings().Color1;
    QCOMPARE(test::PreviewPixel(form, 100, 110), pen);
    QuickPanel* quick = form.quickPanel();
    QVERIFY(quick->LayerButton(5)->Picture().ColourAt(1, 8) == 0x000000);  // framed

    fixture.Seam().dialogs.push_back([](QDialog& shown) {
      auto& layer_dialog = dynamic_cast<TForm5&>(shown);
      QVERIFY(Inked(layer_dialog.Thumbnail(6), layer_dialog.CrossColor() ^ 0xFFFFFF) > 0);
      QTest::mouseClick(layer_dialog.Overlay(6), Qt::LeftButton);
      QTest::mouseClick(layer_dialog.findChild<QPushButton*>(QStringLiteral("Button1")),
                        Qt::LeftButton);
    });
    form.S4Click();
    QCOMPARE(form.LayerVisible()[5], std::uint8_t{0});
    QCOMPARE(test::PreviewPixel(form, 100, 110), form.settings().BackColor);
    QVERIFY(quick->LayerButton(5)->Picture().ColourAt(1, 8) == 0xFFFFFF);  // frameless
    QVERIFY(fixture.Seam().Unexpected().isEmpty());
    QVERIFY(fixture.Seam().Messages().isEmpty());

    // Cancel: the tables stay, the preview is rendered the same.
    fixture.Seam().dialogs.push_back([](QDialog& shown) {
      QTest::mouseClick(shown.findChild<QPushButton*>(QStringLiteral("Button4")), Qt::LeftButton);
      QTest::mouseClick(shown.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
    });
    form.S4Click();
    QCOMPARE(form.LayerVisible()[5], std::uint8_t{0});
    QCOMPARE(test::PreviewPixel(form, 100, 110), form.settings().BackColor);
  }

  // Each opening starts from the main window's tables with group 0 selected.
  void everyOpeningStartsAfresh() {
    Open();
    SelectGroup(12);
    Click("Button3");
    Click("Button2");
    Open();
    QCOMPARE(dialog->SelectedGroup(), 0);
    for (auto flag : dialog->WorkLayerVisible()) QCOMPARE(flag, std::uint8_t{1});
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::Form5Test)
#include "form5_test.moc"
