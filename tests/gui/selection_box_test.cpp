// The selection box on the preview: grab zones and their cursors, dragging,
// resizing, clamping, the swap at release, the exclusive-or drawing, the
// paper-size commands and the size labels.
#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <vector>

#include "app/selection.h"
#include "dialogs/unit2.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

using test::A4Drawing;
using test::PreviewPixel;
using test::WindowFixture;

namespace {

constexpr Colour kRed = 0x0000FF;

std::vector<std::uint8_t> PreviewBytes(const TForm1& form) {
  const Bitmap& picture = *form.Preview();
  return std::vector<std::uint8_t>(picture.Row(0), picture.Row(0) + picture.SizeBytes());
}

Qt::CursorShape ScreenCursor() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor == nullptr ? Qt::ArrowCursor : cursor->shape();
}

QString LabelText(TForm1& form, const char* name) {
  return form.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

}  // namespace

class SelectionBoxTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;

  TForm1& Form() { return fixture->Form(); }
  bool Checked(const char* name) { return fixture->Action(name)->isChecked(); }

  // An empty A4 drawing on a black background, 297 x 210 preview pixels.
  void OpenBlankA4() {
    fixture->Open(fixture->Write(QStringLiteral("blank.jwc"), A4Drawing()));
    QVERIFY(Form().DrawingLoaded());
  }

  void Drag(int from_x, int from_y, int to_x, int to_y) {
    Form().ImageMouseMove(from_x, from_y);
    Form().ImageMouseDown(Qt::LeftButton, from_x, from_y);
    Form().ImageMouseMove(to_x, to_y);
    Form().ImageMouseUp(Qt::LeftButton, to_x, to_y);
  }

 private slots:
  void init() { fixture = std::make_unique<WindowFixture>(); }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
  }

  void zones_on_a_small_box_take_the_later_match() {
    // 16 wide, 100 high: the top corners' and the top middle's areas overlap.
    const SelectionBox box{100, 100, 116, 200};
    QCOMPARE(GrabZoneAt(box, 104, 100), 2);  // near (100,100) and (108,100)
    QCOMPARE(GrabZoneAt(box, 112, 100), 3);  // near (108,100) and (116,100)
    QCOMPARE(GrabZoneAt(box, 93, 100), 1);   // only the corner
    QCOMPARE(GrabZoneAt(box, 108, 150), 0);  // too narrow for the move zone
    QCOMPARE(GrabZoneAt(box, 100, 150), 4);
    QCOMPARE(GrabZoneAt(box, 112, 196), 9);
    // The reach is strict: 8 pixels away is outside.
    QCOMPARE(GrabZoneAt(box, 92, 100), 0);
    QCOMPARE(GrabZoneAt(box, 100, 108), 0);

    const SelectionBox wide{0, 0, 100, 60};
    QCOMPARE(GrabZoneAt(wide, 11, 11), 5);
    QCOMPARE(GrabZoneAt(wide, 7, 30), 4);
    QCOMPARE(GrabZoneAt(wide, 10, 30), 0);  // beyond the handle, not yet inside
    QCOMPARE(GrabZoneAt(wide, 50, 57), 8);
    // Stored boxes can hold any values; the tests must not overflow.
    QCOMPARE(GrabZoneAt(SelectionBox{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 0), 5);
  }

  void hovering_sets_the_zone_cursor_for_the_whole_application() {
    OpenBlankA4();
    Form().SetBox(SelectionBox{100, 100, 116, 200});
    Form().ImageMouseMove(104, 100);
    QCOMPARE(Form().GrabZone(), 2);
    QCOMPARE(ScreenCursor(), Qt::SizeVerCursor);
    Form().ImageMouseMove(112, 100);
    QCOMPARE(ScreenCursor(), Qt::SizeBDiagCursor);  // north-east to south-west
    Form().ImageMouseMove(100, 100 + 99);
    QCOMPARE(Form().GrabZone(), 7);
    QCOMPARE(ScreenCursor(), Qt::SizeBDiagCursor);
    Form().ImageMouseMove(116, 200);
    QCOMPARE(ScreenCursor(), Qt::SizeFDiagCursor);
    Form().ImageMouseMove(116, 150);
    QCOMPARE(ScreenCursor(), Qt::SizeHorCursor);

    Form().SetBox(SelectionBox{0, 0, 200, 150});
    Form().ImageMouseMove(50, 50);
    QCOMPARE(Form().GrabZone(), 5);
    QCOMPARE(ScreenCursor(), Qt::BitmapCursor);  // the open hand "USER1"
    QCOMPARE(QGuiApplication::overrideCursor()->hotSpot(), QPoint(0, 0));
    Form().ImageMouseMove(250, 190);
    QCOMPARE(Form().GrabZone(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Leaving the picture for the area around it or the toolbar resets it.
    Form().ImageMouseMove(50, 50);
    Form().Panel2MouseMove();
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    Form().ImageMouseMove(50, 50);
    Form().ToolBar1MouseMove();
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void moving_past_the_right_edge_cuts_the_box_and_dragging_back_restores_it() {
    OpenBlankA4();
    fixture->Trigger("E2_5");  // checks A4 landscape
    Form().SetBox(SelectionBox{50, 50, 150, 100});
    Form().ImageMouseMove(100, 75);
    QCOMPARE(Form().GrabZone(), 5);
    Form().ImageMouseDown(Qt::LeftButton, 100, 75);
    QVERIFY(Form().Dragging());
    Form().ImageMouseMove(300, 75);  // beyond the preview, as a captured mouse reports
    QCOMPARE(Form().Box().x1, 250);
    QCOMPARE(Form().Box().x2, 297);
    Form().ImageMouseMove(100, 75);
    QCOMPARE(Form().Box().x1, 50);
    QCOMPARE(Form().Box().x2, 150);
    Form().ImageMouseMove(90, -100);  // and past the top
    QCOMPARE(Form().Box().y1, 0);
    QCOMPARE(Form().Box().y2, 0);
    Form().ImageMouseMove(100, 75);
    Form().ImageMouseUp(Qt::LeftButton, 100, 75);
    QVERIFY(!Form().Dragging());
    QCOMPARE(Form().Box().y2 - Form().Box().y1, 50);
    // Moving keeps the checked paper size.
    QVERIFY(Checked("E2_5"));
    QVERIFY(Checked("P3_5"));
  }

  void resizing_past_the_opposite_edge_swaps_at_release() {
    OpenBlankA4();
    fixture->Trigger("E2_5");
    Form().SetBox(SelectionBox{50, 50, 150, 100});
    Form().ImageMouseMove(50, 75);
    QCOMPARE(Form().GrabZone(), 4);
    Form().ImageMouseDown(Qt::LeftButton, 50, 75);
    Form().ImageMouseMove(200, 75);
    QCOMPARE(Form().Box().x1, 200);  // crossed while dragging
    QCOMPARE(Form().Box().x2, 150);
    // A resize checks the custom items of both lists.
    QVERIFY(Checked("E2_10"));
    QVERIFY(Checked("P3_10"));
    QVERIFY(!Checked("E2_5"));
    Form().ImageMouseUp(Qt::LeftButton, 200, 75);
    QCOMPARE(Form().Box().x1, 150);
    QCOMPARE(Form().Box().x2, 200);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // A corner dragged past both edges swaps both.
    Form().ImageMouseMove(200, 100);
    QCOMPARE(Form().GrabZone(), 9);
    Form().ImageMouseDown(Qt::LeftButton, 200, 100);
    Form().ImageMouseMove(120, 20);
    Form().ImageMouseUp(Qt::LeftButton, 120, 20);
    QCOMPARE(Form().Box().x1, 120);
    QCOMPARE(Form().Box().y1, 20);
    QCOMPARE(Form().Box().x2, 150);
    QCOMPARE(Form().Box().y2, 50);
  }

  void other_buttons_grab_but_never_drag() {
    OpenBlankA4();
    Form().SetBox(SelectionBox{50, 50, 150, 100});
    Form().ImageMouseMove(100, 75);
    Form().ImageMouseDown(Qt::RightButton, 100, 75);
    QVERIFY(!Form().Dragging());
    Form().ImageMouseMove(120, 80);
    QCOMPARE(Form().Box().x1, 50);
    // Outside every zone a press does nothing.
    Form().ImageMouseMove(250, 190);
    Form().ImageMouseDown(Qt::LeftButton, 250, 190);
    QVERIFY(!Form().Dragging());
  }

  void the_box_is_drawn_red_by_exclusive_or_and_erased_exactly() {
    OpenBlankA4();
    Form().SetBox(SelectionBox{0, 0, 0, 0});
    Form().DrawBox();
    const std::vector<std::uint8_t> blank = PreviewBytes(Form());
    for (std::uint8_t byte : blank) QCOMPARE(byte, std::uint8_t{0});  // black background

    Form().SetBox(SelectionBox{40, 30, 140, 90});
    Form().DrawBox();
    QCOMPARE(PreviewPixel(Form(), 40, 60), kRed);    // left edge
    QCOMPARE(PreviewPixel(Form(), 90, 30), kRed);    // top edge, inside the middle handle
    QCOMPARE(PreviewPixel(Form(), 136, 56), kRed);   // the right middle handle's corner
    QCOMPARE(PreviewPixel(Form(), 90, 60), Colour{0});
    QCOMPARE(Form().DrawnBox().x2, 140);

    // Drag it about and back: the picture is exactly what it was.
    const std::vector<std::uint8_t> boxed = PreviewBytes(Form());
    Drag(90, 60, 200, 150);
    QVERIFY(PreviewBytes(Form()) != boxed);
    Drag(200, 150, 90, 60);
    QCOMPARE(PreviewBytes(Form()), boxed);
    // Erasing it leaves the background untouched.
    Form().SetBox(SelectionBox{0, 0, 0, 0});
    Form().DrawBox();
    QCOMPARE(PreviewBytes(Form()), blank);
  }

  void the_box_colour_follows_the_background() {
    fixture->Form().settings().BackColor = 0x00FF00;  // green background
    OpenBlankA4();
    Form().SetBox(SelectionBox{40, 30, 140, 90});
    Form().DrawBox();
    QCOMPARE(PreviewPixel(Form(), 40, 60), kRed);
    QCOMPARE(PreviewPixel(Form(), 60, 60), Colour{0x00FF00});
  }

  void paper_size_commands_place_the_box_at_the_top_left() {
    OpenBlankA4();
    fixture->Trigger("E2_5");
    QCOMPARE(Form().Box().x2, 297);
    QCOMPARE(Form().Box().y2, 210);
    QVERIFY(Checked("E2_5"));
    QVERIFY(Checked("P3_5"));
    QCOMPARE(LabelText(Form(), "Label4"), QStringLiteral("  421 x   298"));
    QCOMPARE(LabelText(Form(), "Label5"), QStringLiteral(" 297 x  210"));
    QCOMPARE(LabelText(Form(), "Label10"), QStringLiteral("約370KB"));

    // Whole paper checks the custom items.
    Form().SetBox(SelectionBox{10, 10, 20, 20});
    fixture->Trigger("E1");
    QCOMPARE(Form().Box().x1, 0);
    QCOMPARE(Form().Box().x2, 297);
    QCOMPARE(Form().Box().y2, 210);
    QVERIFY(Checked("E2_10"));
    QVERIFY(Checked("P3_10"));

    // A preset larger than the paper is placed unclamped (the toolbar's list
    // offers the same items).
    fixture->Action("P3_1")->setEnabled(true);
    fixture->Trigger("P3_1");
    QCOMPARE(Form().Box().x2, 1189);
    QCOMPARE(Form().Box().y2, 841);
    QVERIFY(Checked("E2_1"));
  }

  void size_labels_at_other_depths_and_padding() {
    OpenBlankA4();
    fixture->Trigger("S1_1");  // 1 bit
    Form().SetBox(SelectionBox{0, 0, 297, 210});
    Form().SizeSet();
    // 1 bit: round(424 × 298 / 8) + 50 = 15844 bytes → 15 KB.
    QCOMPARE(LabelText(Form(), "Label10"), QStringLiteral("約15KB"));
    // 72 dpi, 8 bits: 360 pixels wide, a multiple of 4, so no padding.
    fixture->Trigger("S1_3");
    fixture->Trigger("S2_2");
    Form().SetBox(SelectionBox{0, 0, 127, 254});  // 127 mm → 360 px, 254 mm → 720 px
    Form().SizeSet();
    QCOMPARE(LabelText(Form(), "Label4"), QStringLiteral("  360 x   720"));
    QCOMPARE(LabelText(Form(), "Label10"), QStringLiteral("約253KB"));  // 259250 bytes
  }

  void custom_size_dialog_is_prefilled_and_places_the_typed_size() {
    OpenBlankA4();
    fixture->Trigger("E2_5");
    Form().SetBox(SelectionBox{10, 20, 110, 70});
    QString width_shown, height_shown;
    fixture->Seam().dialogs.push_back([&](QDialog& dialog) {
      auto& form2 = static_cast<TForm2&>(dialog);
      width_shown = form2.Edit1()->text();
      height_shown = form2.Edit2()->text();
      // Larger than A4 and still within the A0 limits: accepted.
      form2.Edit1()->setText(QStringLiteral("900"));
      form2.Edit2()->setText(QStringLiteral("600"));
      test::Click(dialog, "Button1");
    });
    fixture->Trigger("E3");
    QCOMPARE(width_shown, QStringLiteral("100"));
    QCOMPARE(height_shown, QStringLiteral("50"));
    QCOMPARE(Form().Box().x1, 0);
    QCOMPARE(Form().Box().y1, 0);
    QCOMPARE(Form().Box().x2, 900);
    QCOMPARE(Form().Box().y2, 600);
    QVERIFY(Checked("E2_10"));
    QVERIFY(Checked("P3_10"));
    QCOMPARE(LabelText(Form(), "Label5"), QStringLiteral(" 900 x  600"));
  }

  void cancelled_custom_size_changes_nothing() {
    OpenBlankA4();
    fixture->Trigger("E2_5");
    Form().SetBox(SelectionBox{10, 20, 110, 70});
    Form().DrawBox();
    const std::vector<std::uint8_t> before = PreviewBytes(Form());
    const QString label = LabelText(Form(), "Label4");
    fixture->Seam().dialogs.push_back([](QDialog& dialog) {
      static_cast<TForm2&>(dialog).Edit1()->setText(QStringLiteral("200"));
      test::Click(dialog, "Button2");
    });
    fixture->Trigger("E2_10");  // the custom item of the menu
    QCOMPARE(Form().Box().x1, 10);
    QCOMPARE(Form().Box().x2, 110);
    QVERIFY(Checked("E2_5"));  // Qt's own check on the clicked item is undone
    QVERIFY(!Checked("E2_10"));
    QVERIFY(Checked("P3_5"));
    QCOMPARE(PreviewBytes(Form()), before);
    QCOMPARE(LabelText(Form(), "Label4"), label);
  }

  void without_a_drawing_the_mouse_and_labels_do_nothing() {
    Form().SetBox(SelectionBox{0, 0, 100, 100});
    Form().ImageMouseMove(50, 50);
    QCOMPARE(Form().GrabZone(), 0);
    Form().ImageMouseDown(Qt::LeftButton, 50, 50);
    QVERIFY(!Form().Dragging());
    Form().SizeSet();
    QCOMPARE(LabelText(Form(), "Label4"), QStringLiteral("0 x 0"));
    QCOMPARE(LabelText(Form(), "Label10"), QStringLiteral("約0KB"));
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::SelectionBoxTest)
#include "selection_box_test.moc"
