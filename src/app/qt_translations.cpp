#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallQtTranslations(QCoreApplication& app) {
  // Owned by the application: it lives as long as the texts it translates.
  auto* translator = new QTranslator(&app);
  // "qtbase" holds the dialogs' and buttons' words; "qt" would pull in the
  // modules this program does not use.
  if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
