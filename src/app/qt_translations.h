#pragma once
// Qt's own words (file dialogs, the standard buttons of message boxes) in
// Russian, as the rest of this Russian-only program, whatever the locale.

class QCoreApplication;

// Installs Qt's Russian translations from the system's Qt translation folder
// (Debian's qt6-translations-l10n) into `app`; false when they are not
// there (Qt then speaks English).
bool InstallQtTranslations(QCoreApplication& app);
