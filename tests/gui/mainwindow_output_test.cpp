// Saving the selection as a bitmap file and copying it to the clipboard: the
// dialogs and questions, the messages, the failures, and what the file and
// the clipboard hold at several colour depths.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTest>

#include "output/bmp_writer.h"
#include "output/clipboard.h"
#include "output/qt_image.h"
#include "tests/gui/window_helpers.h"

namespace pelmora {

using test::A4Drawing;
using test::WindowFixture;

namespace {

const QString kConfirm = QStringLiteral("confirm: Pelmora | ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰします。\n\rよろしいですか？");

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Pen 1 (cyan) from (0, 105) to (297, 105): the middle row of an A4 box.
JwcWriter DrawingWithRow() {
  JwcWriter drawing = A4Drawing();
  drawing.AddLine({.X1 = 0, .Y1 = 105, .X2 = 297, .Y2 = 105, .LineType = 1, .PenColor = 1});
  return drawing;
}

QImage ClipboardPicture() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasImage() ? qvariant_cast<QImage>(data->imageData()) : QImage();
}

QByteArray ClipboardBmp() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr ? data->data(QStringLiteral("image/bmp")) : QByteArray();
}

}  // namespace

class MainWindowOutputTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WindowFixture> fixture;

  TForm1& Form() { return fixture->Form(); }
  QString Path(const QString& name) { return QDir(fixture->Folder()).filePath(name); }

  void OpenA4WithRow() {
    fixture->Open(fixture->Write(QStringLiteral("plan.jwc"), DrawingWithRow()));
    fixture->Trigger("E2_5");  // the whole A4 sheet, 421 x 298 pixels at 36 dpi
    fixture->Seam().Clear();
  }
  QByteArray Save(const QString& name) {
    fixture->Seam().save_files.push_back(Path(name));
    fixture->Trigger("F2_1");
    return ReadAll(Path(name));
  }
  void Copy() {
    fixture->Seam().confirms.push_back(true);
    fixture->Trigger("F2_2");
  }

 private slots:
  void init() {
    fixture = std::make_unique<WindowFixture>();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  }
  void cleanup() {
    QVERIFY2(fixture->Seam().Unexpected().isEmpty(),
             qPrintable(fixture->Seam().Unexpected().join('\n')));
    fixture.reset();
  }

  void suggested_names_replace_the_last_extension() {
    QCOMPARE(TForm1::SuggestedBmpName(QStringLiteral("/d/plan.jwc")), QStringLiteral("plan.bmp"));
    QCOMPARE(TForm1::SuggestedBmpName(QStringLiteral("/d/plan")), QStringLiteral("plan.bmp"));
    QCOMPARE(TForm1::SuggestedBmpName(QStringLiteral("/d/a.b.jwc")), QStringLiteral("a.b.bmp"));
    QCOMPARE(TForm1::SuggestedBmpName(QStringLiteral("/d.x/plan")), QStringLiteral("plan.bmp"));
  }

  void saving_writes_the_file_and_says_done() {
    OpenA4WithRow();
    const QByteArray bytes = Save(QStringLiteral("out.bmp"));
    QCOMPARE(fixture->Seam().log,
             (QStringList{"save: " + fixture->Folder() + " | plan.bmp | ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp);;PNG(*.png);;TIFF(*.tif *.tiff);;PDF (ベクター)(*.pdf);;PDF (画像)(*.pdf);;SVG(*.svg);;DXF(*.dxf) | bmp",
                          "message: 完了"}));
    QCOMPARE(QString::fromStdString(Form().settings().SaveDir), fixture->Folder());
    QCOMPARE(Form().OutputFileName(), Path(QStringLiteral("out.bmp")));

    QImage image;
    QVERIFY(image.loadFromData(bytes, "BMP"));
    QCOMPARE(image.size(), QSize(421, 298));
    QCOMPARE(bytes.mid(0, 2), QByteArray("BM"));
    QCOMPARE(static_cast<quint8>(bytes[28]), quint8{24});
    // The row lies halfway down: 105 mm above the bottom of 210.
    QCOMPARE(image.pixelColor(200, 149), QColor(0, 255, 255));
    QCOMPARE(image.pixelColor(200, 100), QColor(0, 0, 0));

    // The next save starts in that folder.
    fixture->Seam().Clear();
    fixture->Seam().save_files.push_back(std::nullopt);
    fixture->Trigger("N4");
    QCOMPARE(fixture->Seam().log,
             QStringList{"save: " + fixture->Folder() + " | plan.bmp | ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp);;PNG(*.png);;TIFF(*.tif *.tiff);;PDF (ベクター)(*.pdf);;PDF (画像)(*.pdf);;SVG(*.svg);;DXF(*.dxf) | bmp"});
  }

  // The chosen name's extension decides the format; a PNG holds the pixels of
  // the BMP (Qt reads no TIFF or PDF here: their encoders' own tests do).
  void png_tiff_and_pdf_are_saved_by_their_extension() {
    OpenA4WithRow();
    QImage bmp;
    QVERIFY(bmp.loadFromData(Save(QStringLiteral("plan.bmp")), "BMP"));
    const struct {
      const char* name;
      QByteArray head;
      const char* reader;
    } formats[] = {{"plan.png", QByteArray("\x89PNG", 4), "PNG"},
                   {"plan.TIF", QByteArray("II*\0", 4), nullptr},
                   {"plan.tiff", QByteArray("II*\0", 4), nullptr},
                   {"plan.pdf", QByteArray("%PDF"), nullptr}};
    // A .pdf is one image when the dialog's image PDF filter was chosen.
    fixture->Seam().save_filter = QStringLiteral("PDF (画像)(*.pdf)");
    for (const auto& format : formats) {
      fixture->Seam().Clear();
      const QByteArray bytes = Save(QString::fromLatin1(format.name));
      QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("完了")});
      QCOMPARE(bytes.left(4), format.head);
      if (format.reader == nullptr) continue;
      QImage image;
      QVERIFY2(image.loadFromData(bytes, format.reader), format.name);
      QCOMPARE(image.convertToFormat(QImage::Format_RGB32), bmp.convertToFormat(QImage::Format_RGB32));
    }
    // Where the file cannot be made the path is told, as for a bitmap.
    fixture->Seam().Clear();
    const QString target = Path(QStringLiteral("missing/out.png"));
    fixture->Seam().save_files.push_back(target);
    fixture->Trigger("F2_1");
    QCOMPARE(fixture->Seam().log.last(), "error: ファイル " + target + " を作成できません");
    QVERIFY(fixture->Seam().Messages().isEmpty());
  }

  void cancelling_the_save_changes_nothing() {
    OpenA4WithRow();
    const std::string save_dir = Form().settings().SaveDir;
    fixture->Seam().save_files.push_back(std::nullopt);
    fixture->Trigger("F2_1");
    QCOMPARE(fixture->Seam().Messages(), QStringList{});
    QCOMPARE(Form().settings().SaveDir, save_dir);
    QVERIFY(QDir(fixture->Folder()).entryList({QStringLiteral("*.bmp")}).isEmpty());
  }

  void an_existing_file_is_replaced_only_when_confirmed() {
    OpenA4WithRow();
    {
      QFile old(Path(QStringLiteral("old.bmp")));
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old contents");
    }
    fixture->Seam().confirms.push_back(false);
    QCOMPARE(Save(QStringLiteral("old.bmp")), QByteArray("old contents"));
    QVERIFY(fixture->Seam().log.contains("replace: " + Path(QStringLiteral("old.bmp"))));
    QVERIFY(fixture->Seam().Messages().isEmpty());

    fixture->Seam().confirms.push_back(true);
    QCOMPARE(Save(QStringLiteral("old.bmp")).left(2), QByteArray("BM"));
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("完了")});
  }

  void a_file_that_cannot_be_created_is_reported_with_its_path() {
    OpenA4WithRow();
    const QString target = Path(QStringLiteral("missing/out.bmp"));
    fixture->Seam().save_files.push_back(target);
    fixture->Trigger("F2_1");
    QCOMPARE(fixture->Seam().log.last(), "error: ファイル " + target + " を作成できません");
    QVERIFY(fixture->Seam().Messages().isEmpty());  // neither done nor failed
    QVERIFY(!QFile::exists(target));
    QVERIFY(Form().isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void a_box_under_half_a_millimetre_saves_nothing() {
    OpenA4WithRow();
    // An earlier failure reported on its own must not silence this one.
    fixture->Seam().save_files.push_back(Path(QStringLiteral("missing/out.bmp")));
    fixture->Trigger("F2_1");
    fixture->Seam().Clear();
    Form().SetBox(SelectionBox{10, 10, 10, 200});
    Save(QStringLiteral("thin.bmp"));
    QCOMPARE(fixture->Seam().Messages(), QStringList{QStringLiteral("保存出来ませんでした。")});
    QVERIFY(!QFile::exists(Path(QStringLiteral("thin.bmp"))));
  }

  void copying_asks_first_and_cancel_leaves_the_clipboard() {
    OpenA4WithRow();
    fixture->Seam().confirms.push_back(false);
    fixture->Trigger("N5");
    QCOMPARE(fixture->Seam().log, QStringList{kConfirm});
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  }

  void clipboard_at_24_bits_holds_the_picture_and_the_file_bytes() {
    OpenA4WithRow();
    const QByteArray file = Save(QStringLiteral("same.bmp"));
    fixture->Seam().Clear();
    Copy();
    QCOMPARE(fixture->Seam().log, (QStringList{kConfirm, "message: 完了"}));
    QCOMPARE(ClipboardBmp(), file);
    const QImage picture = ClipboardPicture();
    QCOMPARE(picture.format(), QImage::Format_BGR888);
    QVERIFY(picture.colorTable().isEmpty());  // no palette at 24 bits
    QImage decoded;
    QVERIFY(decoded.loadFromData(file, "BMP"));
    QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
             decoded.convertToFormat(QImage::Format_RGB32));
    // The resolution stamp is there, in red, at the top left.
    bool red = false;
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 40; ++x) red = red || picture.pixelColor(x, y) == QColor(255, 0, 0);
    QVERIFY(red);
  }

  void clipboard_at_8_bits_keeps_the_render_palette() {
    OpenA4WithRow();
    fixture->Trigger("S1_3");
    Form().settings().usePalette = true;
    const QByteArray file = Save(QStringLiteral("eight.bmp"));
    Copy();
    QCOMPARE(ClipboardBmp(), file);
    QCOMPARE(static_cast<quint8>(file[28]), quint8{8});
    const QImage picture = ClipboardPicture();
    QCOMPARE(picture.format(), QImage::Format_Indexed8);
    QCOMPARE(picture.colorCount(), 256);
    QCOMPARE(picture.color(0), qRgb(0, 0, 0));
    QCOMPARE(picture.color(1), qRgb(255, 255, 255));
    QCOMPARE(picture.color(2), qRgb(0, 0, 0));      // BackColor
    QCOMPARE(picture.color(3), qRgb(0, 255, 255));  // Color1, cyan
    QCOMPARE(picture.color(10), qRgb(255, 0, 0));   // the stamp's red
    QCOMPARE(picture.pixelIndex(200, 149), 3);
    QImage decoded;
    QVERIFY(decoded.loadFromData(file, "BMP"));
    QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
             decoded.convertToFormat(QImage::Format_RGB32));
  }

  void clipboard_at_1_bit_is_black_on_white() {
    OpenA4WithRow();
    Form().settings().WriteDPI = false;
    fixture->Trigger("S1_1");
    const QByteArray file = Save(QStringLiteral("mono.bmp"));
    Copy();
    QCOMPARE(ClipboardBmp(), file);
    QCOMPARE(file.mid(54, 8), QByteArray("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8));
    const QImage picture = ClipboardPicture();
    QCOMPARE(picture.format(), QImage::Format_Mono);
    QCOMPARE(picture.colorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    QCOMPARE(picture.pixelColor(200, 149), QColor(0, 0, 0));
    QCOMPARE(picture.pixelColor(200, 100), QColor(255, 255, 255));
    QCOMPARE(picture.pixelColor(5, 5), QColor(255, 255, 255));  // no stamp
  }

  void clipboard_images_at_4_and_16_bits() {
    OpenA4WithRow();
    fixture->Trigger("S1_2");
    Copy();
    QImage picture = ClipboardPicture();
    QCOMPARE(picture.format(), QImage::Format_Indexed8);
    QCOMPARE(picture.colorCount(), 16);
    QCOMPARE(picture.pixelColor(200, 149), QColor(0, 255, 255));
    QCOMPARE(static_cast<quint8>(ClipboardBmp()[28]), quint8{4});

    fixture->Trigger("S1_4");
    Copy();
    picture = ClipboardPicture();
    QCOMPARE(picture.format(), QImage::Format_RGB16);
    QCOMPARE(picture.pixelColor(200, 149), QColor(0, 255, 255));
    QImage decoded;
    QVERIFY(decoded.loadFromData(ClipboardBmp(), "BMP"));
    // Compared as 5-6-5 words: readers widen 5-bit channels differently.
    QCOMPARE(picture, decoded.convertToFormat(QImage::Format_RGB16));
  }

  void a_copy_that_cannot_be_rendered_is_reported() {
    OpenA4WithRow();
    Form().SetBox(SelectionBox{0, 0, 0, 0});
    Copy();
    QCOMPARE(fixture->Seam().Messages(),
             QStringList{QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ出来ませんでした。")});
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  }

  void clipboard_image_conversion_keeps_every_pixel() {
    // The conversion on its own, over a bitmap whose rows end in padding.
    for (int bits : {1, 4, 8, 16, 24}) {
      std::unique_ptr<Bitmap> bitmap = Bitmap::Create(13, 3, bits);
      QVERIFY(bitmap != nullptr);
      if (bits == 4 || bits == 8) {
        std::vector<Colour> table(static_cast<std::size_t>(1) << bits, 0);
        table[1] = 0x0000FF;
        table[2] = 0x00FF00;
        bitmap->SetColourTable(table);
      }
      for (int x = 0; x < 13; ++x) {
        const Colour colour = x % 3 == 0 ? 0x0000FF : x % 3 == 1 ? 0x00FF00 : 0xFFFFFF;
        bitmap->SetValue(x, 1, bitmap->ValueFor(bits == 1 ? (x % 2 ? 0xFFFFFF : 0) : colour));
      }
      const QImage image = ToQImage(*bitmap);
      QCOMPARE(image.size(), QSize(13, 3));
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x) {
          const Colour c = bitmap->ColourAt(x, y);
          QCOMPARE(image.pixelColor(x, y), QColor(RedOf(c), GreenOf(c), BlueOf(c)));
        }
      std::string error;
      QVERIFY(ClipboardData(*bitmap, 72, &error) != nullptr);
    }
    std::unique_ptr<Bitmap> empty = Bitmap::Create(0, 0, 24);
    QVERIFY(ToQImage(*empty).isNull());
    std::string error;
    QVERIFY(ClipboardData(*empty, 72, &error) == nullptr);
    QVERIFY(!error.empty());
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::MainWindowOutputTest)
#include "mainwindow_output_test.moc"
