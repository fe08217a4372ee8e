#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pelmora {

bool LoadQtTranslations(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  const QLocale japanese(QLocale::Japanese, QLocale::Japan);
  if (!translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace pelmora
