#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orv {

bool installQtTranslations() {
  // The program is Portuguese throughout; its dates and numbers follow.
  const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
  QLocale::setDefault(brazil);
  auto* qt = new QTranslator(QCoreApplication::instance());
  if (!qt->load(brazil, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete qt;
    return false;
  }
  return QCoreApplication::installTranslator(qt);
}

}  // namespace orv
