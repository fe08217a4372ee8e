// The batch conversion dialog: a folder tree converted from the window gives
// the converter's files byte for byte, and a cancelled run or drawing leaves
// no file behind.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "cli/convert.h"
#include "dialogs/batch_dialog.h"
#include "tests/gui/scripted_seam_helpers.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {

namespace {

JwcWriter Drawing(int lines) {
  JwcWriter drawing = JwcWriter().Paper(3).WindowWidth(594);  // A3: 420 × 297 mm
  for (int n = 0; n < lines; ++n)
    drawing.AddLine(
        {.X1 = 0, .Y1 = n * 3.0f, .X2 = 594, .Y2 = 420 - n * 3.0f, .LineType = 1, .PenColor = 2});
  return drawing;
}

// Every file below `folder`, relative, with its bytes.
QMap<QString, QByteArray> Files(const QString& folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
      files.insert(QDir(folder).relativeFilePath(path), file.readAll());
  }
  return files;
}

}  // namespace

class BatchDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  test::ScriptedSeam seam;
  Settings settings;

  QString Path(const QString& name) const { return dir.filePath(name); }
  void Write(const QString& name, const JwcWriter& drawing) {
    QDir().mkpath(QFileInfo(Path(name)).absolutePath());
    drawing.WriteFile(std::filesystem::path(QFile::encodeName(Path(name)).toStdString()));
  }

 private slots:
  void initTestCase() {
    Write(QStringLiteral("in/a.jwc"), Drawing(5));
    Write(QStringLiteral("in/sub/b.jwc"), Drawing(40));
    Write(QStringLiteral("in/sub/deeper/c.JWC"), Drawing(1));
    QFile notes(Path(QStringLiteral("in/sub/notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    QFile bad(Path(QStringLiteral("in/bad.jwc")));  // no drawing: a failure with its reason
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("nothing") == 7);
    settings.Color2 = 0x3366CC;  // the window's pens go along
  }

  void a_tree_gives_the_converters_bytes() {
    struct Case {
      ImageFormat format;
      int dpi, depth, region;
    } const cases[] = {{ImageFormat::kPng, 72, 24, 0},
                       {ImageFormat::kBmp, 50, 8, 5},
                       {ImageFormat::kTiff, 36, 1, 0}};
    int n = 0;
    for (const Case& c : cases) {
      const QString mine = Path(QStringLiteral("window%1").arg(n)),
                    theirs = Path(QStringLiteral("cli%1").arg(n));
      ++n;
      BatchDialog dialog(settings, seam, nullptr);
      dialog.SetInputs({Path(QStringLiteral("in"))});
      dialog.SetOutputFolder(mine);
      dialog.SetFormat(c.format);
      dialog.SetDpi(c.dpi);
      dialog.SetDepth(c.depth);
      dialog.SetRegionTag(c.region);
      dialog.Start();
      dialog.Wait();
      QCOMPARE(dialog.Done(), 3);
      QCOMPARE(dialog.Failed(), 1);
      QVERIFY2(dialog.Summary().contains(QStringLiteral("bad.jwc")), qPrintable(dialog.Summary()));

      // The converter over the same folder with the same choices.
      BatchItem whole{QFile::encodeName(Path(QStringLiteral("in"))).toStdString(), {}};
      ConvertOptions options = dialog.OptionsFor(whole);
      options.output_dir = QFile::encodeName(theirs).toStdString();
      options.recursive = true;
      ConvertStreams streams;
      streams.out = streams.err = std::tmpfile();
      RunConverter(options, settings, streams);
      std::fclose(streams.out);

      const auto produced = Files(mine);
      QCOMPARE(produced.keys().size(), 3);
      QCOMPARE(produced, Files(theirs));
      // Skipping what exists writes nothing more.
      dialog.Start();
      dialog.Wait();
      QCOMPARE(dialog.Skipped(), 3);
      QCOMPARE(Files(mine), produced);
    }
  }

  void cancel_leaves_no_partial_file() {
    const QString out = Path(QStringLiteral("cancelled"));
    BatchDialog dialog(settings, seam, nullptr);
    dialog.SetInputs({Path(QStringLiteral("in"))});
    dialog.SetOutputFolder(out);
    // Cancelled while the second drawing is about to be written.
    dialog.before_drawing = [&dialog](int index) {
      if (index == 1) dialog.Cancel();
    };
    dialog.Start();
    dialog.Wait();
    QCOMPARE(dialog.Done(), 1);
    QVERIFY(dialog.Summary().contains(QStringLiteral("中止")));
    QCOMPARE(Files(out).keys(), QStringList{QStringLiteral("a.bmp")});

    // Abandoned in the middle of a drawing: the engine leaves no file.
    BatchItem item{QFile::encodeName(Path(QStringLiteral("in/sub/b.jwc"))).toStdString(), "sub"};
    const ConvertOptions options = dialog.OptionsFor(item);
    ConvertStreams streams;
    streams.out = streams.err = std::tmpfile();
    int calls = 0;
    streams.progress = [&calls](std::int64_t, std::int64_t) { return ++calls < 2; };
    QCOMPARE(RunConverter(options, settings, streams), 1);
    std::fclose(streams.out);
    QVERIFY(calls >= 2);
    QCOMPARE(Files(out).keys(), QStringList{QStringLiteral("a.bmp")});
  }
};

}  // namespace pelmora

QTEST_MAIN(pelmora::BatchDialogTest)
#include "batch_dialog_test.moc"
