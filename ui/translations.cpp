#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace
{

void avvisa(const QString &testo)
{
    std::fprintf(stderr, "tombola: %s\n", testo.toLocal8Bit().constData());
}

} // namespace

QString noDisplayReason(int argc, const char *const *argv)
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return {};
    // QGuiApplication takes "-platform NAME", also spelt "--platform NAME".
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-platform" || arg == "--platform") return {};
    }
    return QStringLiteral("nessuno schermo disponibile (DISPLAY non impostato): avviare il programma "
                          "da una sessione grafica");
}

bool displayAvailable(int argc, const char *const *argv)
{
    const QString motivo = noDisplayReason(argc, argv);
    if (motivo.isEmpty()) return true;
    avvisa(motivo);
    return false;
}

bool installQtTranslations(QCoreApplication &app)
{
    const QString cartella = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *traduttore = new QTranslator(&app);
    if (!traduttore->load(QStringLiteral("qtbase_it"), cartella)) {
        delete traduttore;
        avvisa(QStringLiteral("traduzioni italiane di Qt non trovate in %1 (pacchetto "
                              "qt6-translations-l10n): i testi di Qt restano in inglese")
                   .arg(cartella));
        return false;
    }
    return QCoreApplication::installTranslator(traduttore);
}
