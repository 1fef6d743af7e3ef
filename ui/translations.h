#pragma once
// What the program settles before its window: that there is a screen to show it on, and that Qt's
// own texts (the file dialog's "Cerca in", "Nome del file", "Annulla"...) are in Italian like the rest.

#include <QString>

class QCoreApplication;

// Why no window can be shown, as the Italian message for stderr, or an empty string when a platform
// can be had: DISPLAY or WAYLAND_DISPLAY is set, or QT_QPA_PLATFORM or a -platform argument names
// one. Looks at the environment and the arguments only; nothing is opened.
QString noDisplayReason(int argc, const char *const *argv);

// For main(), before QApplication: with no screen, prints the reason on stderr and returns false.
bool displayAvailable(int argc, const char *const *argv);

// Loads Qt's Italian translations (qtbase_it from QLibraryInfo::TranslationsPath, Debian package
// qt6-translations-l10n) whatever the system language, and installs them on the application.
// Returns false, after a warning on stderr, when they cannot be loaded: Qt's texts stay English.
bool installQtTranslations(QCoreApplication &app);
