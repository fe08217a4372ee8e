// The window's view and comforts: zoom and fit leave the box and the labels
// alone, a drag is mapped through the zoom, the point under the cursor stays
// put, the arrow keys, the recent drawings, the title, the layer tips and
// printing the selection to a PDF file.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <vector>

#include "app/preview_widgets.h"
#include "app/quick_panel.h"
#include "dialogs/panel_image.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

using test::A4Drawing;
using test::WindowFixture;

namespace {

std::vector<std::uint8_t> PreviewBytes(const TForm1& form) {
  const Bitmap& picture = *form.Preview();
  return std::vector<std::uint8_t>(picture.Row(0), picture.Row(0) + picture.SizeBytes());
}

QStringList Labels(TForm1& form) {
  QStringList texts;
  for (const char* name : {"Label4", "Label5", "Label10"})
    texts << form.findChild<QLabel*>(QString::fromLatin1(name))->text();
  return texts;
}

QString BoxText(const SelectionBox& b) {
  return QStringLiteral("(%1, %2)-(%3, %4)").arg(b.x1).arg(b.y1).arg(b.x2).arg(b.y2);
}

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPointF at) {
  QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

class MainWindowViewTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;
  TForm1& Form() { return fixture->Form(); }

  // A4 at 1000 units across: a preview of 1000 × 707, larger than the window.
  void OpenLargeA4() {
    fixture->Open(fixture->Write(
        QStringLiteral("large.jwc"),
        JwcWriter().Paper(4).WindowWidth(1000).AddLine({.X1 = 0, .Y1 = 0, .X2 = 1000, .Y2 = 707})));
    QVERIFY(Form().DrawingLoaded());
    Form().resize(700, 500);
    Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form()));
  }

 private slots:
  void init() { fixture = std::make_unique<WindowFixture>(); }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
  }

  void zooms_leave_the_box_labels_and_picture_as_they_were() {
    OpenLargeA4();
    const SelectionBox box{120, 80, 520, 380};
    Form().SetBox(box);
    Form().DrawBox();
    Form().SizeSet();
    const QStringList labels = Labels(Form());
    const auto bytes = PreviewBytes(Form());
    const std::function<void()> zooms[] = {
        [&] { Form().ZoomFit(); },
        [&] {
          Form().SetViewZoom(0.25, {0, 0});
        },
        [&] { Form().ZoomIn(); },
        [&] {
          Form().SetViewZoom(2.0, {40, 40});
        },
        [&] {
          Form().SetViewZoom(8.0, {300, 200});
        },
        [&] { Form().ZoomOut(); },
        [&] { Form().ZoomActual(); },
    };
    for (const auto& zoom : zooms) {
      zoom();
      QCOMPARE(BoxText(Form().Box()), BoxText(box));
      QCOMPARE(Labels(Form()), labels);
    }
    QCOMPARE(Form().ViewZoom(), 1.0);
    QCOMPARE(Form().Image1()->size(), QSize(1000, 707));
    QVERIFY(PreviewBytes(Form()) == bytes);
  }

  void fit_shows_the_whole_paper_and_follows_the_window() {
    OpenLargeA4();
    Form().ZoomFit();
    QVERIFY(Form().FitView());
    const QSize viewport = Form().PreviewScroll()->maximumViewportSize();
    QVERIFY(Form().Image1()->width() + 16 <= viewport.width());
    QVERIFY(Form().Image1()->height() + 16 <= viewport.height());
    const double before = Form().ViewZoom();
    Form().resize(1000, 800);
    QTRY_VERIFY(Form().ViewZoom() > before);
    QVERIFY(Form().FitView());
  }

  void a_drag_at_200_percent_moves_half_the_screen_distance() {
    OpenLargeA4();
    Form().SetBox(SelectionBox{100, 100, 300, 250});
    Form().DrawBox();
    Form().SetViewZoom(2.0, {0, 0});
    QWidget* image = Form().Image1();
    const double s = Form().Image1()->Scale();
    const QPointF from(200 * s + 1, 180 * s + 1);  // inside the box: the move zone
    SendMouse(image, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, from);
    SendMouse(image, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
    SendMouse(image, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, from + QPointF(60, -40));
    SendMouse(image, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton,
              from + QPointF(60, -40));
    // 60 and 40 screen pixels at two screen pixels per preview pixel.
    const int dx = static_cast<int>(60 / s), dy = static_cast<int>(40 / s);
    QCOMPARE(BoxText(Form().Box()), BoxText({100 + dx, 100 - dy, 300 + dx, 250 - dy}));
  }

  void zoom_keeps_the_point_under_the_cursor() {
    OpenLargeA4();
    struct Case {
      double zoom;
      QPointF anchor;
    } const cases[] = {{2.0, {150, 100}}, {4.0, {300, 250}}, {3.0, {10, 10}}, {1.0, {200, 50}}};
    for (const Case& c : cases) {
      Form().SetViewZoom(1.5, {0, 0});
      Form().PreviewScroll()->horizontalScrollBar()->setValue(300);
      Form().PreviewScroll()->verticalScrollBar()->setValue(200);
      const auto under = [&] {
        const QPointF offset(Form().PreviewScroll()->horizontalScrollBar()->value(),
                             Form().PreviewScroll()->verticalScrollBar()->value());
        return Form().Image1()->PreviewAt(c.anchor + offset - QPointF(8, 8));
      };
      const QPointF before = under();
      Form().SetViewZoom(c.zoom, c.anchor);
      const QPointF after = under();
      // Where the scroll range allows it the point stays within a screen pixel.
      const double tolerance = 1.0 / Form().Image1()->Scale();
      QVERIFY2(std::abs(after.x() - before.x()) <= tolerance &&
                   std::abs(after.y() - before.y()) <= tolerance,
               qPrintable(QStringLiteral("zoom %1: (%2, %3) became (%4, %5)")
                              .arg(c.zoom)
                              .arg(before.x())
                              .arg(before.y())
                              .arg(after.x())
                              .arg(after.y())));
    }
  }

  void arrow_keys_nudge_the_box_and_stop_at_the_paper() {
    OpenLargeA4();
    struct Case {
      SelectionBox start;
      int key;
      Qt::KeyboardModifiers modifiers;
      SelectionBox end;
    } const cases[] = {
        {{10, 10, 50, 50}, Qt::Key_Right, Qt::NoModifier, {11, 10, 51, 50}},
        {{10, 10, 50, 50}, Qt::Key_Up, Qt::ShiftModifier, {10, 0, 50, 40}},
        {{5, 10, 50, 50}, Qt::Key_Left, Qt::ShiftModifier, {0, 10, 45, 50}},
        {{900, 10, 995, 50}, Qt::Key_Right, Qt::ShiftModifier, {905, 10, 1000, 50}},
        {{10, 600, 50, 700}, Qt::Key_Down, Qt::ShiftModifier, {10, 607, 50, 707}},
        {{50, 50, 10, 10}, Qt::Key_Left, Qt::ShiftModifier, {40, 50, 0, 10}},  // crossed edges
    };
    for (const Case& c : cases) {
      Form().SetBox(c.start);
      Form().DrawBox();
      QTest::keyClick(&Form(), static_cast<Qt::Key>(c.key), c.modifiers);
      QCOMPARE(BoxText(Form().Box()), BoxText(c.end));
    }
  }

  void recent_files_keep_eight_newest_first_and_drop_missing_ones() {
    QStringList paths;
    for (int n = 0; n < 10; ++n)
      paths << fixture->Write(QStringLiteral("d%1.jwc").arg(n), A4Drawing());
    for (const QString& path : paths) fixture->Open(path);
    fixture->Open(paths[4]);  // again: moves to the front
    const QStringList expected{paths[4], paths[9], paths[8], paths[7],
                               paths[6], paths[5], paths[3], paths[2]};
    QCOMPARE(Form().RecentFiles(), expected);
    QCOMPARE(Form().windowTitle(), QStringLiteral("d4.jwc - Pelmora"));

    // Kept with the settings; a vanished drawing is said and dropped.
    fixture->Restart();
    QCOMPARE(Form().RecentFiles(), expected);
    QVERIFY(QFile::remove(paths[7]));
    fixture->Action("Recent4")->trigger();
    QCOMPARE(fixture->Seam().Messages().size(), 1);
    QVERIFY(fixture->Seam().Messages().first().contains(QStringLiteral("d7.jwc")));
    QVERIFY(!Form().DrawingLoaded());
    QVERIFY(!Form().RecentFiles().contains(paths[7]));
    fixture->Seam().Clear();
    fixture->Restart();
    QCOMPARE(Form().RecentFiles().size(), 7);
    fixture->Action("Recent2")->trigger();
    QVERIFY(Form().DrawingLoaded());
    QCOMPARE(Form().DrawingFileName(), paths[9]);
  }

  void layer_names_are_the_quick_panels_tips() {
    fixture->Open(fixture->Write(QStringLiteral("named.jwc"),
                                 A4Drawing().LayerName(0x23, "\x95\xc7").GroupName(2, "\x8a\x4f")));
    Form().quickPanel()->Image2MouseDown(Qt::RightButton, 2);  // show group 2's layers
    QCOMPARE(Form().quickPanel()->LayerButton(3)->toolTip(), QStringLiteral("2-3 「壁」"));
    QCOMPARE(Form().quickPanel()->LayerButton(4)->toolTip(), QStringLiteral("2-4"));
    QCOMPARE(Form().quickPanel()->GroupButton(2)->toolTip(), QStringLiteral("2 「外」"));
  }

  // The selection printed to a PDF file: the page is the chosen paper and the
  // picture keeps the paper's scale, or fills the page when fitted.
  void printing_to_pdf_gives_the_regions_scale_and_page() {
    fixture->Open(fixture->Write(QStringLiteral("print.jwc"), A4Drawing()));
    fixture->Trigger("E1");  // the whole A4 paper: 297 × 210 mm, black
    struct Case {
      bool fit;
      QPageSize page;
      QPoint black, white;  // pixels of the page at 72 dpi
    } const cases[] = {
        {false, QPageSize(QPageSize::A3), {830, 590}, {860, 620}},
        {true, QPageSize(QPageSize::A3), {1185, 830}, {-1, -1}},
        {false, QPageSize(QSizeF(210, 297), QPageSize::Millimeter), {835, 590}, {-1, -1}},
    };
    for (const Case& c : cases) {
      const QString pdf = fixture->Folder() + QStringLiteral("/print.pdf");
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(pdf);
      printer.setResolution(72);
      printer.setPageLayout(QPageLayout(c.page, QPageLayout::Landscape, QMarginsF()));
      QString error;
      QVERIFY2(Form().PrintSelection(printer, c.fit, true, &error), qPrintable(error));
      QProcess render;
      render.start(
          QStringLiteral("pdftoppm"),
          {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
           QStringLiteral("-singlefile"), pdf, fixture->Folder() + QStringLiteral("/page")});
      QVERIFY(render.waitForFinished(30000) && render.exitCode() == 0);
      const QImage page(fixture->Folder() + QStringLiteral("/page.png"));
      QCOMPARE(page.size(), c.page.sizePoints().transposed());
      QCOMPARE(page.pixelColor(c.black), QColor(Qt::black));
      if (c.white.x() >= 0) QCOMPARE(page.pixelColor(c.white), QColor(Qt::white));
    }
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::MainWindowViewTest)
#include "mainwindow_view_test.moc"
