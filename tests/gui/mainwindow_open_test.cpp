// Opening a drawing: the dialog and its folder, the signature test, the
// information panel, paper-size enabling, visibility from the drawing, the
// failure rows, the enabling with and without a drawing, and the other ways
// in (command line, drop).
#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <sys/stat.h>

#include "app/quick_panel.h"
#include "tests/gui/window_helpers.h"

#if defined(__SANITIZE_ADDRESS__)
// A preview too large for memory must fail like any refused allocation, not
// abort the program under AddressSanitizer.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace pelmora {

using test::A4Drawing;
using test::WindowFixture;

namespace {

// Commands that need a drawing (menu items and toolbar buttons).
const char* const kDrawingActions[] = {"N4", "N5", "S4", "F2_1", "F2_2", "E1", "E3"};
const char* const kDrawingButtons[] = {"ToolButton2", "ToolButton3", "ToolButton6",
                                       "ToolButton7", "ToolButton8"};
// Commands that are always there.
const char* const kAlwaysActions[] = {"F1",   "F99",  "E11",  "E12",  "S1_1", "S1_5", "S2_1",
                                      "S2_8", "P1_1", "P2_8", "S3",   "S5",   "H10"};
const char* const kAlwaysButtons[] = {"ToolButton1", "ToolButton10", "ToolButton11"};

}  // namespace

class MainWindowOpenTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;

  TForm1& Form() { return fixture->Form(); }
  QString Label(const char* name) {
    return Form().findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  bool Enabled(const char* name) { return fixture->Action(name)->isEnabled(); }
  bool ButtonEnabled(const char* name) {
    return Form().findChild<QToolButton*>(QString::fromLatin1(name))->isEnabled();
  }
  // The presets offered by the menu (E2_) or the toolbar's list (P3_).
  QList<int> EnabledPresets(const char* prefix) {
    QList<int> enabled;
    for (int n = 1; n <= 10; ++n)
      if (Enabled((prefix + std::to_string(n)).c_str())) enabled << n;
    return enabled;
  }
  void VerifyNotBusy() {
    QVERIFY(Form().isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }
  QString WriteBytes(const QString& name, const QByteArray& bytes) {
    const QString path = QDir(fixture->Folder()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      qFatal("cannot write %s", qPrintable(path));
    return path;
  }
  static QByteArray BytesOf(const JwcWriter& drawing) {
    const std::vector<std::byte> bytes = drawing.Bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
  }

 private slots:
  void init() { fixture = std::make_unique<WindowFixture>(); }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
  }

  void starts_without_a_drawing() {
    QCOMPARE(Form().windowTitle(), QStringLiteral("Pelmora"));
    QVERIFY(!Form().DrawingLoaded());
    for (const char* name : kDrawingActions) QVERIFY2(!Enabled(name), name);
    for (const char* name : kDrawingButtons) QVERIFY2(!ButtonEnabled(name), name);
    for (const char* name : kAlwaysActions) QVERIFY2(Enabled(name), name);
    for (const char* name : kAlwaysButtons) QVERIFY2(ButtonEnabled(name), name);
    QVERIFY(EnabledPresets("E2_").isEmpty());
    QVERIFY(EnabledPresets("P3_").isEmpty());
    QVERIFY(fixture->Action("E2_10")->isChecked());
    QVERIFY(fixture->Action("P3_10")->isChecked());
    QCOMPARE(Label("Label4"), QStringLiteral("0 x 0"));
    QCOMPARE(Label("Label5"), QStringLiteral("0 x 0"));
    QCOMPARE(Label("Label10"), QStringLiteral("約0KB"));
    QCOMPARE(Label("Label21"), QStringLiteral("24bit (1677万色)"));
    QCOMPARE(Label("Label23"), QStringLiteral(" 36dpi"));
    for (const char* name : {"Label16", "Label17", "Label18", "Label19"})
      QCOMPARE(Label(name), QStringLiteral("0"));
    QCOMPARE(Form().LayerPanelGroup(), 0);
    for (std::uint8_t flag : Form().LayerVisible()) QCOMPARE(flag, std::uint8_t{1});
    for (std::uint8_t flag : Form().GroupVisible()) QCOMPARE(flag, std::uint8_t{1});
    QVERIFY(!Form().quickPanel()->isVisibleTo(&Form()));  // LGBMode is off at first
  }

  void opens_a_drawing_and_fills_the_panel() {
    JwcWriter drawing = A4Drawing();
    drawing.AddLine({.X1 = 0, .Y1 = 0, .X2 = 100, .Y2 = 100, .LineType = 1, .PenColor = 1})
        .AddLine({.X1 = 10, .Y1 = 0, .X2 = 10, .Y2 = 100, .LineType = 1, .PenColor = 2})
        .AddArc({.CenterX = 50, .CenterY = 50, .Radius = 10, .Flatness = 1, .StartAngle = 0,
                 .EndAngle = 360, .LineType = 1, .PenColor = 1})
        .AddDot({.X = 5, .Y = 5, .PenColor = 1})
        .AddDot({.X = 6, .Y = 5, .PenColor = 1})
        .AddDot({.X = 7, .Y = 5, .PenColor = 1});
    const QString path = fixture->Write(QStringLiteral("plan.jwc"), drawing);
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::Append));
      QVERIFY(file.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)),
                               QFileDevice::FileModificationTime));
    }
    fixture->Open(path);

    QVERIFY(Form().DrawingLoaded());
    VerifyNotBusy();
    QCOMPARE(fixture->Seam().log,
             QStringList{"open: " + QDir::currentPath() + " | JW_CAD図面(*.jwc)"});
    QCOMPARE(Label("Label6"), QStringLiteral("plan.jwc"));
    QCOMPARE(Label("Label8"), QStringLiteral("24/03/05 07:08:09"));
    QCOMPARE(Label("Label25"), QStringLiteral("A4版"));
    QCOMPARE(Label("Label16"), QStringLiteral("2"));
    QCOMPARE(Label("Label17"), QStringLiteral("1"));
    QCOMPARE(Label("Label18"), QStringLiteral("0"));
    QCOMPARE(Label("Label19"), QStringLiteral("3"));
    QCOMPARE(Form().DrawingFileName(), path);
    QCOMPARE(QString::fromStdString(Form().settings().OpenDir), fixture->Folder());
    QCOMPARE(Form().Preview()->Width(), 297);
    QCOMPARE(Form().Preview()->Height(), 210);
    QCOMPARE(Form().PixelsPerMm(), 1.0f);
    QVERIFY(!Form().PreviewStale());
    // The default box (0,0)-(100,100) is drawn and measured.
    QCOMPARE(Form().DrawnBox().x2, 100);
    QCOMPARE(Label("Label5"), QStringLiteral(" 100 x  100"));
    for (const char* name : kDrawingActions) QVERIFY2(Enabled(name), name);
    for (const char* name : kDrawingButtons) QVERIFY2(ButtonEnabled(name), name);

    // The next open starts in the drawing's folder.
    fixture->Seam().Clear();
    fixture->Seam().open_files.push_back(std::nullopt);
    fixture->Trigger("F1");
    QCOMPARE(fixture->Seam().log,
             QStringList{"open: " + fixture->Folder() + " | JW_CAD図面(*.jwc)"});
  }

  void cancelling_the_dialog_changes_nothing() {
    fixture->Open(fixture->Write(QStringLiteral("a.jwc"), A4Drawing()));
    const std::string open_dir = Form().settings().OpenDir;
    fixture->Seam().open_files.push_back(std::nullopt);
    fixture->Trigger("F1");
    QVERIFY(Form().DrawingLoaded());
    QCOMPARE(Form().settings().OpenDir, open_dir);
    QCOMPARE(Label("Label6"), QStringLiteral("a.jwc"));
    QVERIFY(Enabled("F2_1"));
  }

  void a_missing_remembered_folder_starts_in_the_current_one() {
    Form().settings().OpenDir = (fixture->Folder() + "/gone").toStdString();
    fixture->Seam().open_files.push_back(std::nullopt);
    fixture->Trigger("F1");
    QCOMPARE(fixture->Seam().log,
             QStringList{"open: " + QDir::currentPath() + " | JW_CAD図面(*.jwc)"});
  }

  void a4_then_a0_paper_enables_the_presets_that_fit() {
    fixture->Open(fixture->Write(QStringLiteral("a4.jwc"), A4Drawing()));
    QCOMPARE(EnabledPresets("E2_"), (QList<int>{5, 10}));
    QCOMPARE(EnabledPresets("P3_"), (QList<int>{5, 10}));
    QVERIFY(fixture->Action("E2_9")->isChecked());
    QVERIFY(fixture->Action("P3_9")->isChecked());

    fixture->Trigger("E2_5");
    fixture->Open(fixture->Write(QStringLiteral("a0.jwc"), JwcWriter().Paper(0).WindowWidth(1189)));
    QCOMPARE(Label("Label25"), QStringLiteral("A0版"));
    QCOMPARE(EnabledPresets("E2_"), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(EnabledPresets("P3_"), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Every load checks A4 portrait, whatever was checked before.
    QVERIFY(fixture->Action("E2_9")->isChecked());
    QVERIFY(!fixture->Action("E2_5")->isChecked());

    fixture->Open(fixture->Write(QStringLiteral("a2.jwc"), JwcWriter().Paper(2).WindowWidth(594)));
    QCOMPARE(EnabledPresets("E2_"), (QList<int>{3, 4, 5, 8, 9, 10}));
    QCOMPARE(EnabledPresets("P3_"), (QList<int>{3, 4, 5, 8, 9, 10}));
  }

  void an_unknown_paper_code_keeps_the_previous_paper() {
    fixture->Open(fixture->Write(QStringLiteral("a3.jwc"), JwcWriter().Paper(3).WindowWidth(640)));
    QCOMPARE(Form().Preview()->Width(), 640);
    QCOMPARE(Form().Preview()->Height(), 453);
    QCOMPARE(Form().PixelsPerMm(), static_cast<float>(640.0L / 420));
    const QList<int> presets = EnabledPresets("E2_");

    fixture->Open(fixture->Write(QStringLiteral("a9.jwc"), JwcWriter().Paper(9).WindowWidth(800)));
    QVERIFY(Form().DrawingLoaded());
    QCOMPARE(Label("Label25"), QStringLiteral("A9版"));
    QCOMPARE(Form().PaperWidthMm(), 420);
    QCOMPARE(Form().PixelsPerMm(), static_cast<float>(640.0L / 420));
    QCOMPARE(EnabledPresets("E2_"), presets);
    QCOMPARE(EnabledPresets("P3_"), presets);
    QCOMPARE(Form().Preview()->Width(), 800);
  }

  void an_unknown_paper_code_first_shows_no_size() {
    fixture->Open(fixture->Write(QStringLiteral("a7.jwc"), JwcWriter().Paper(7).WindowWidth(300)));
    QVERIFY(Form().DrawingLoaded());
    QCOMPARE(Label("Label25"), QStringLiteral("A7版"));
    QCOMPARE(Label("Label4"), QStringLiteral("0 x 0"));
    QCOMPARE(EnabledPresets("E2_"), QList<int>{10});
    QCOMPARE(EnabledPresets("P3_"), QList<int>{10});
    // Saving with no known paper is refused without touching a file.
    const QString target = fixture->Folder() + "/a7.bmp";
    fixture->Seam().save_files.push_back(target);
    fixture->Trigger("F2_1");
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("保存出来ませんでした。")});
    QVERIFY(!QFile::exists(target));
  }

  void visibility_comes_from_the_drawing() {
    JwcWriter drawing = A4Drawing();
    drawing.LayerView(0x35, 2).LayerView(0x36, 0).GroupView(4, 0).GroupView(5, 3);
    Form().LayerVisible()[0x35] = 1;
    fixture->Open(fixture->Write(QStringLiteral("layers.jwc"), drawing));
    QCOMPARE(Form().LayerVisible()[0x35], std::uint8_t{0});  // state 2 starts hidden
    QCOMPARE(Form().LayerVisible()[0x36], std::uint8_t{0});
    QCOMPARE(Form().LayerVisible()[0x37], std::uint8_t{1});
    QCOMPARE(Form().GroupVisible()[4], std::uint8_t{0});
    QCOMPARE(Form().GroupVisible()[5], std::uint8_t{0});
    QCOMPARE(Form().GroupVisible()[6], std::uint8_t{1});
  }

  void a_foreign_file_is_refused_before_anything_else() {
    fixture->Open(fixture->Write(QStringLiteral("good.jwc"), A4Drawing()));
    fixture->Seam().Clear();

    QByteArray capitals = BytesOf(A4Drawing());
    capitals.replace(0, 20, "JW_CAD(C)DATA.......");
    fixture->Open(WriteBytes(QStringLiteral("caps.jwc"), capitals));
    QCOMPARE(fixture->Seam().Messages(),
             QStringList{QStringLiteral("JW_CADのファイルではありません。")});
    QVERIFY(!Form().DrawingLoaded());
    VerifyNotBusy();
    // Everything else is as it was.
    QCOMPARE(Label("Label6"), QStringLiteral("good.jwc"));
    QCOMPARE(Form().Preview()->Width(), 297);

    // Shorter than the 40 bytes the test reads, even with the signature.
    fixture->Seam().Clear();
    fixture->Open(WriteBytes(QStringLiteral("short.jwc"), QByteArray("jw_cad(c)data.......1234")));
    QCOMPARE(fixture->Seam().Messages(),
             QStringList{QStringLiteral("JW_CADのファイルではありません。")});
    QCOMPARE(TForm1::IsSupported(fixture->Folder() + "/good.jwc"), 1);
    QCOMPARE(TForm1::IsSupported(fixture->Folder() + "/short.jwc"), 0);
  }

  void files_that_cannot_be_read_are_read_errors() {
    fixture->Open(fixture->Folder() + "/vanished.jwc");
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("読込みエラー。")});
    QVERIFY(!Form().DrawingLoaded());
    VerifyNotBusy();

    fixture->Seam().Clear();
    fixture->Open(fixture->Folder());  // a folder, not a file
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("読込みエラー。")});
    VerifyNotBusy();

    // A named pipe would block a reader forever; it is refused unopened.
    const QString pipe = fixture->Folder() + "/pipe.jwc";
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    fixture->Seam().Clear();
    fixture->Open(pipe);
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("読込みエラー。")});
    VerifyNotBusy();
  }

  void a_damaged_drawing_is_a_read_error_and_leaves_no_drawing() {
    fixture->Open(fixture->Write(QStringLiteral("good.jwc"), A4Drawing()));
    fixture->Seam().Clear();
    const QByteArray whole = BytesOf(A4Drawing().AddLine({.X2 = 5, .Y2 = 5}));
    fixture->Open(WriteBytes(QStringLiteral("cut.jwc"), whole.left(whole.size() - 30)));
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("読込みエラー。")});
    QVERIFY(!Form().DrawingLoaded());
    VerifyNotBusy();
    // The new name and date are shown; the window is in its state without a drawing.
    QCOMPARE(Label("Label6"), QStringLiteral("cut.jwc"));
    for (const char* name : kDrawingActions) QVERIFY2(!Enabled(name), name);
    for (const char* name : kDrawingButtons) QVERIFY2(!ButtonEnabled(name), name);
    // The mouse does nothing over the old picture.
    Form().ImageMouseMove(50, 50);
    QCOMPARE(Form().GrabZone(), 0);
  }

  void a_preview_that_cannot_be_made_is_a_read_error() {
    // A window width whose preview would need terabytes.
    fixture->Open(fixture->Write(QStringLiteral("huge.jwc"),
                                 JwcWriter().Paper(0).WindowWidth(2000000000)));
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("読込みエラー。")});
    QVERIFY(!Form().DrawingLoaded());
    VerifyNotBusy();
  }

  void a_dropped_drawing_is_opened() {
    const QString path = fixture->Write(QStringLiteral("dropped.JWC"), A4Drawing());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Form(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Form(), &drop);
    QTRY_VERIFY(Form().DrawingLoaded());
    QCOMPARE(Label("Label6"), QStringLiteral("dropped.JWC"));

    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(fixture->Folder() + "/picture.png")});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &other, Qt::LeftButton,
                            Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(&Form(), &refused);
    QVERIFY(!refused.isAccepted());
  }

  void open_drawing_is_what_the_command_line_uses() {
    const QString path = fixture->Write(QStringLiteral("start.jwc"), A4Drawing());
    QVERIFY(Form().OpenDrawing(path));
    QVERIFY(Form().DrawingLoaded());
    QVERIFY(fixture->Seam().log.isEmpty());  // no dialog
    QVERIFY(!Form().OpenDrawing(fixture->Folder() + "/none.jwc"));
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::MainWindowOpenTest)
#include "mainwindow_open_test.moc"
