// The layer and group quick panel: mouse rules, the button pictures and the
// exclusive-or mark, against the tables it edits.
#include <QLabel>
#include <QTest>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/quick_panel.h"
#include "app/unit1.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {
namespace {

constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kBlack = 0x000000;
constexpr Colour kLightGreen = 0x7FFF7F;  // white XOR 0x800080
constexpr Colour kPurple = 0x800080;      // black XOR 0x800080

// The picture as rows of '.' white, '#' black, 'g' light green, 'p' purple,
// '?' anything else.
std::vector<std::string> Rows(const Bitmap& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.Height(); ++y) {
    std::string row;
    for (int x = 0; x < picture.Width(); ++x) {
      switch (picture.ColourAt(x, y)) {
        case kWhite: row += '.'; break;
        case kBlack: row += '#'; break;
        case kLightGreen: row += 'g'; break;
        case kPurple: row += 'p'; break;
        default: row += '?';
      }
    }
    rows.push_back(row);
  }
  return rows;
}

// The left frame column of a glyph (x = 1) is ink only in framed glyphs.
bool Framed(PanelImage* button) {
  const Colour c = button->Picture().ColourAt(1, 8);
  return c == kBlack || c == kPurple;
}
// Inside the mark's block, a pixel that no glyph ever inks.
bool Marked(PanelImage* button) { return button->Picture().ColourAt(2, 4) == kLightGreen; }

}  // namespace

class QuickPanelTest : public QObject {
  Q_OBJECT

 private:
  std::array<std::uint8_t, 256> layer_visible{};
  std::array<std::uint8_t, 16> group_visible{};
  int layer_panel_group = 0;
  bool preview_stale = false;
  std::unique_ptr<QuickPanel> panel;

  void Press(const char* name, Qt::MouseButton button = Qt::LeftButton) {
    auto* image = panel->findChild<PanelImage*>(QString::fromLatin1(name));
    QVERIFY2(image != nullptr, name);
    QTest::mousePress(image, button, {}, QPoint(6, 6));
    QTest::mouseRelease(image, button, {}, QPoint(6, 6));
  }
  void Redraw() {
    panel->preGroupe();
    panel->preLayer();
  }

 private slots:
  void init() {
    layer_visible.fill(1);
    group_visible.fill(1);
    layer_panel_group = 0;
    preview_stale = false;
    panel = std::make_unique<QuickPanel>(layer_visible, group_visible, layer_panel_group,
                                         preview_stale);
    Redraw();
    panel->show();
  }
  void cleanup() { panel.reset(); }

  void controlsSitOnTheirGrid() {
    QCOMPARE(panel->Panel3()->size(), QSize(133, 57));
    QCOMPARE(panel->Panel4()->size(), QSize(133, 57));
    QCOMPARE(panel->Label27()->text(), QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ 0]"));
    QCOMPARE(panel->Label27()->pos(), QPoint(8, 6));
    for (int g = 0; g < 16; ++g) {
      auto* group = panel->findChild<PanelImage*>(QStringLiteral("Image%1").arg(g + 2));
      auto* layer = panel->findChild<PanelImage*>(QStringLiteral("Image%1").arg(g + 19));
      QVERIFY(group && layer);
      QCOMPARE(group->parentWidget(), panel->Panel3());
      QCOMPARE(layer->parentWidget(), panel->Panel4());
      QCOMPARE(group->Tag(), g);
      QCOMPARE(layer->Tag(), g);
      const QPoint at(20 + 13 * (g % 8), g < 8 ? 20 : 35);
      QCOMPARE(group->geometry(), QRect(at, QSize(14, 16)));
      QCOMPARE(layer->geometry(), QRect(at, QSize(14, 16)));
    }
    QCOMPARE(panel->Image18()->geometry(), QRect(7, 20, 14, 31));
    QCOMPARE(panel->Image27a()->geometry(), QRect(7, 20, 14, 31));
    QCOMPARE(panel->Image18()->Tag(), 17);
  }

  // The shown group's button, a framed "0" with the exclusive-or mark over
  // columns 1..12 and rows 1..15, every pixel.
  void markedGroupButtonPixels() {
    const std::vector<std::string> expected = {
        "..............",  //
        ".ggppppppppgg.",  //
        ".gpggggggggpg.",  //
        ".pggggggggggp.",  //
        ".pggggggggggp.",  //
        ".pgggpppggggp.",  //
        ".pggpgggpgggp.",  //
        ".pggpgggpgggp.",  //
        ".pggpgggpgggp.",  //
        ".pggpgggpgggp.",  //
        ".pggpgggpgggp.",  //
        ".pgggpppggggp.",  //
        ".pggggggggggp.",  //
        ".pggggggggggp.",  //
        ".gpggggggggpg.",  //
        ".ggppppppppgg.",  //
    };
    QCOMPARE(Rows(panel->GroupButton(0)->Picture()), expected);
  }

  // A hidden layer: the digit without frame, no mark on layer buttons.
  void hiddenLayerButtonPixels() {
    layer_visible[1] = 0;
    panel->preLayer();
    const std::vector<std::string> expected = {
        "..............", "..............", "..............", "..............",
        "..............", "......#.......", ".....##.......", "......#.......",
        "......#.......", "......#.......", "......#.......", ".....###......",
        "..............", "..............", "..............", "..............",
    };
    QCOMPARE(Rows(panel->LayerButton(1)->Picture()), expected);
  }

  void theAllPictureReadsUpwards() {
    const Bitmap& all = panel->Image18()->Picture();
    QCOMPARE(all.Width(), 14);
    QCOMPARE(all.Height(), 31);
    const auto rows = Rows(all);
    QCOMPARE(rows.front(), std::string(14, '#'));
    QCOMPARE(rows.back(), std::string(14, '#'));
    // The "A" lies at the bottom, its apex to the left; the "L"s above it.
    QCOMPARE(rows[19], std::string("#....######..#"));
    QCOMPARE(rows[23], std::string("#....######..#"));
    QCOMPARE(rows[11], std::string("#...#######..#"));
    QCOMPARE(Rows(panel->Image27a()->Picture()), rows);
  }

  // Right button on a hidden group: shows it, makes it the layer row's group,
  // moves the mark and rewrites the label.
  void rightClickOnHiddenGroupFive() {
    group_visible[5] = 0;
    layer_visible[5 * 16 + 3] = 0;
    Redraw();
    QVERIFY(!Framed(panel->GroupButton(5)));

    Press("Image7", Qt::RightButton);
    QCOMPARE(group_visible[5], std::uint8_t{1});
    QCOMPARE(layer_panel_group, 5);
    QVERIFY(preview_stale);
    QCOMPARE(panel->Label27()->text(), QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ 5]"));
    QVERIFY(Framed(panel->GroupButton(5)));
    QVERIFY(Marked(panel->GroupButton(5)));
    for (int g = 0; g < 16; ++g) QCOMPARE(Marked(panel->GroupButton(g)), g == 5);
    // The layer row now shows group 5's layers.
    QVERIFY(!Framed(panel->LayerButton(3)));
    QVERIFY(Framed(panel->LayerButton(2)));
  }

  void rightClickOnGroupTenEndsInA() {
    Press("Image12", Qt::RightButton);
    QCOMPARE(layer_panel_group, 10);
    QCOMPARE(panel->Label27()->text(), QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ A]"));
    Press("Image17", Qt::RightButton);
    QCOMPARE(panel->Label27()->text(), QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ F]"));
  }

  // Right button on a group that is already shown keeps it shown.
  void rightClickNeverHides() {
    Press("Image4", Qt::RightButton);
    Press("Image4", Qt::RightButton);
    QCOMPARE(group_visible[2], std::uint8_t{1});
    QCOMPARE(layer_panel_group, 2);
  }

  void leftClickTogglesWithoutChangingTheShownGroup() {
    Press("Image9", Qt::RightButton);  // group 7's layers
    preview_stale = false;
    Press("Image5");                   // group 3
    QCOMPARE(group_visible[3], std::uint8_t{0});
    QCOMPARE(layer_panel_group, 7);
    QCOMPARE(panel->Label27()->text(), QStringLiteral("レイヤ [ｸﾞﾙｰﾌﾟ 7]"));
    QVERIFY(preview_stale);
    QVERIFY(!Framed(panel->GroupButton(3)));
    QVERIFY(Marked(panel->GroupButton(7)));
    Press("Image5", Qt::MiddleButton);
    QCOMPARE(group_visible[3], std::uint8_t{1});
    // Hiding the shown group keeps its mark (drawn over the frameless digit).
    Press("Image9");
    QCOMPARE(group_visible[7], std::uint8_t{0});
    QVERIFY(!Framed(panel->GroupButton(7)));
    QVERIFY(Marked(panel->GroupButton(7)));
  }

  // Only 1 counts as shown: another value reads as hidden and toggles to 1.
  void flagsOtherThanOneAreHidden() {
    group_visible[4] = 2;
    layer_visible[9] = 255;
    Redraw();
    QVERIFY(!Framed(panel->GroupButton(4)));
    QVERIFY(!Framed(panel->LayerButton(9)));
    Press("Image6");
    Press("Image28");
    QCOMPARE(group_visible[4], std::uint8_t{1});
    QCOMPARE(layer_visible[9], std::uint8_t{1});
  }

  // ALL follows group 0 alone.
  void groupAllIsDecidedByGroupZero() {
    group_visible.fill(1);
    group_visible[0] = 0;
    Press("Image18");
    for (auto flag : group_visible) QCOMPARE(flag, std::uint8_t{1});
    QVERIFY(preview_stale);

    group_visible.fill(0);
    group_visible[0] = 1;
    Press("Image18", Qt::RightButton);
    for (auto flag : group_visible) QCOMPARE(flag, std::uint8_t{0});
    for (int g = 0; g < 16; ++g) QVERIFY(!Framed(panel->GroupButton(g)));
    QVERIFY(Marked(panel->GroupButton(0)));
  }

  void layerButtonTogglesOnlyTheShownGroupsLayer() {
    Press("Image4", Qt::RightButton);  // group 2
    const auto before = layer_visible;
    preview_stale = false;
    Press("Image22");  // layer 3
    QCOMPARE(layer_visible[35], std::uint8_t{0});
    for (int i = 0; i < 256; ++i) {
      if (i != 35) QCOMPARE(layer_visible[i], before[i]);
    }
    QVERIFY(preview_stale);
    QVERIFY(!Framed(panel->LayerButton(3)));
    Press("Image22", Qt::RightButton);
    QCOMPARE(layer_visible[35], std::uint8_t{1});
  }

  void layerAllIsDecidedByLayerZeroOfTheShownGroup() {
    Press("Image13", Qt::RightButton);  // group 11: layers 176..191
    layer_visible[176] = 1;
    layer_visible[180] = 0;
    Press("Image27a");
    for (int i = 0; i < 256; ++i) {
      QCOMPARE(layer_visible[i], std::uint8_t(i >= 176 && i < 192 ? 0 : 1));
    }
    Press("Image27a");
    for (int i = 0; i < 256; ++i) QCOMPARE(layer_visible[i], std::uint8_t{1});
    for (int l = 0; l < 16; ++l) QVERIFY(Framed(panel->LayerButton(l)));
  }

  // A double click (press, release, then the double-click event) is two
  // presses, as with the original controls.
  void doubleClickTogglesTwice() {
    auto* image = panel->findChild<PanelImage*>(QStringLiteral("Image2"));
    QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseDClick(image, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(group_visible[0], std::uint8_t{1});
  }

  // In the window: a click only marks the preview stale; the next mouse move
  // over the preview renders it once, whatever the number of clicks.
  void staleAfterClicksRenderedAtTheNextMove() {
    test::WindowFixture fixture;
    TForm1& form = fixture.Form();
    form.show();
    fixture.Open(fixture.Write(QStringLiteral("plan.jwc"),
                               test::A4Drawing()
                                   .AddLine({.X1 = 10, .Y1 = 100, .X2 = 200, .Y2 = 100,
                                             .LineType = 1, .PenColor = 1, .Layer = 0x12})
                                   .AddLine({.X1 = 10, .Y1 = 50, .X2 = 200, .Y2 = 50,
                                             .LineType = 1, .PenColor = 1, .Layer = 0x00})));
    QVERIFY(form.DrawingLoaded());
    const Colour pen = form.settings().Color1;
    const Colour background = form.settings().BackColor;
    QCOMPARE(test::PreviewPixel(form, 100, 110), pen);
    QuickPanel* quick = form.quickPanel();

    quick->Image2MouseDown(Qt::LeftButton, 1);  // hide group 1
    QVERIFY(form.PreviewStale());
    QCOMPARE(form.GroupVisible()[1], std::uint8_t{0});
    quick->Image2MouseDown(Qt::RightButton, 0);  // show group 0's layers
    quick->Image19MouseDown(Qt::LeftButton, 0);  // hide layer 0x00
    QCOMPARE(form.LayerVisible()[0], std::uint8_t{0});
    QCOMPARE(test::PreviewPixel(form, 100, 110), pen);  // nothing rendered yet
    QCOMPARE(test::PreviewPixel(form, 100, 160), pen);

    form.ImageMouseMove(250, 200);
    QVERIFY(!form.PreviewStale());
    QCOMPARE(test::PreviewPixel(form, 100, 110), background);
    QCOMPARE(test::PreviewPixel(form, 100, 160), background);
    QVERIFY(form.isEnabled());

    quick->Image18MouseDown(Qt::LeftButton);  // group 0 shown: ALL hides all
    quick->Image18MouseDown(Qt::LeftButton);  // and shows all again
    quick->Image27aMouseDown(Qt::LeftButton);  // layer 0 hidden: all 16 shown
    form.ImageMouseMove(250, 200);
    QCOMPARE(test::PreviewPixel(form, 100, 110), pen);
    QCOMPARE(test::PreviewPixel(form, 100, 160), pen);
  }

  // Without a drawing the flags and buttons change, nothing is rendered, and a
  // load replaces the flags with the drawing's own (the shown group stays).
  void clicksWithoutADrawing() {
    test::WindowFixture fixture;
    TForm1& form = fixture.Form();
    form.show();
    QuickPanel* quick = form.quickPanel();
    quick->Image2MouseDown(Qt::RightButton, 4);
    quick->Image19MouseDown(Qt::LeftButton, 2);
    QCOMPARE(form.LayerVisible()[66], std::uint8_t{0});
    QVERIFY(!Framed(quick->LayerButton(2)));
    QVERIFY(form.PreviewStale());
    form.ImageMouseMove(5, 5);
    QVERIFY(form.PreviewStale());
    QVERIFY(form.Preview() == nullptr || form.Preview()->Width() == 0);

    fixture.Open(fixture.Write(QStringLiteral("views.jwc"),
                               test::A4Drawing().LayerView(67, 0).GroupView(3, 0)));
    QCOMPARE(form.LayerVisible()[66], std::uint8_t{1});
    QCOMPARE(form.LayerVisible()[67], std::uint8_t{0});
    QCOMPARE(form.LayerPanelGroup(), 4);
    QVERIFY(Framed(quick->LayerButton(2)));
    QVERIFY(!Framed(quick->LayerButton(3)));
    QVERIFY(!Framed(quick->GroupButton(3)));
    QVERIFY(Marked(quick->GroupButton(4)));
  }

  void panelsShowAndHideTogether() {
    panel->SetPanelsVisible(false);
    QVERIFY(panel->Panel3()->isHidden());
    QVERIFY(panel->Panel4()->isHidden());
    panel->SetPanelsVisible(true);
    QVERIFY(panel->Panel3()->isVisible());
    QVERIFY(panel->Panel4()->isVisible());
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::QuickPanelTest)
#include "quickpanel_test.moc"
