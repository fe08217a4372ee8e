// pelmora: the desktop program. `pelmora [DRAWING.jwc]` opens the drawing at
// start.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstring>
#include <vector>

#include "dialogs/modal_seam.h"
#include "app/qt_translations.h"
#include "dialogs/ui_fonts.h"
#include "app/unit1.h"
#include "pelmora_version.h"
#include "settings/store.h"

namespace {

// The usage line names the installed program, not the path it was started by
// (the manual pages are made from --help in the build tree).
constexpr char kProgramName[] = "pelmora";

void DescribeProgram() {
  QCoreApplication::setOrganizationName(QStringLiteral("Tovarin"));
  QCoreApplication::setApplicationName(QStringLiteral("Pelmora"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PELMORA_PRODUCT_VERSION));
}

void DeclareOptions(QCommandLineParser& options) {
  options.setApplicationDescription(
      QStringLiteral("Shows a JW_CAD drawing and writes a region of it as a Windows bitmap."));
  options.addHelpOption();
  options.addVersionOption();
  options.addPositionalArgument(QStringLiteral("drawing"),
                                QStringLiteral("A .jwc drawing to open at start."),
                                QStringLiteral("[DRAWING.jwc]"));
}

// --help and --version need no window: answered before a window system is
// touched, so they work over ssh, in containers and in packaging scripts.
bool AsksOnlyForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) return false;
    for (const char* word : {"-h", "--help", "--help-all", "-?", "-v", "--version"}) {
      if (std::strcmp(arg, word) == 0) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> arguments(argv, argv + argc);
  char program_name[sizeof kProgramName];
  std::memcpy(program_name, kProgramName, sizeof kProgramName);
  if (!arguments.empty()) arguments[0] = program_name;
  char** args = arguments.data();

  if (AsksOnlyForText(argc, args)) {
    QCoreApplication core(argc, args);
    DescribeProgram();
    pelmora::LoadQtTranslations(core);  // the help speaks Japanese, as the window does
    QCommandLineParser options;
    DeclareOptions(options);
    options.process(core);  // prints and exits
    return 0;
  }

  QApplication app(argc, args);
  DescribeProgram();
  QApplication::setDesktopFileName(QStringLiteral("com.tovarin.pelmora"));
  // Message boxes and file dialogs speak Japanese, in the window's font.
  pelmora::LoadQtTranslations(app);
  QApplication::setFont(pelmora::GothicFont(/*proportional=*/false));

  QCommandLineParser options;
  DeclareOptions(options);
  options.process(app);

  pelmora::QtModalSeam seam;
  pelmora::TForm1 form(seam, pelmora::SettingsStore());
  form.show();

  const QStringList drawings = options.positionalArguments();
  if (!drawings.isEmpty()) {
    const QString path = QFileInfo(drawings.first()).absoluteFilePath();
    QTimer::singleShot(0, &form, [&form, path] { form.OpenDrawing(path); });
  }
  return app.exec();
}
