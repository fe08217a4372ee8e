// pelmora: the desktop program. `pelmora [DRAWING.jwc]` opens the drawing at
// start.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "app/modal_seam.h"
#include "app/qt_translations.h"
#include "app/ui_fonts.h"
#include "app/unit1.h"
#include "pelmora_version.h"
#include "settings/store.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tovarin"));
  QApplication::setApplicationName(QStringLiteral("Pelmora"));
  QApplication::setApplicationVersion(QStringLiteral(PELMORA_PRODUCT_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("pelmora"));
  // Message boxes and file dialogs speak Japanese, in the window's font.
  pelmora::LoadQtTranslations(app);
  QApplication::setFont(pelmora::GothicFont(/*proportional=*/false));

  QCommandLineParser options;
  options.setApplicationDescription(
      QStringLiteral("Shows a JW_CAD drawing and writes a region of it as a Windows bitmap."));
  options.addHelpOption();
  options.addVersionOption();
  options.addPositionalArgument(QStringLiteral("drawing"),
                                QStringLiteral("A .jwc drawing to open at start."),
                                QStringLiteral("[DRAWING.jwc]"));
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
