#include "remote/page_export.h"

#include "phones/phone_server.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QStringList pageFiles()
{
    QStringList out{QStringLiteral("index.html"),     QStringLiteral("style.css"),
                    QStringLiteral("app.js"),         QStringLiteral("vendor/nats_link.js"),
                    QStringLiteral("vendor/nats.js"), QStringLiteral("vendor/LICENSE"),
                    QStringLiteral("vendor/VERSION")};
    for (int n = 1; n <= 90; ++n)
        out << QStringLiteral("voce/NUMERO%1.wav").arg(n);
    return out;
}

namespace
{
// The bytes of a saved file: the voice as the phones' server serves it (the program's own clips),
// the rest from the page's resources.
QByteArray pageFile(const QString &name, bool *found)
{
    if (name.startsWith(QLatin1String("voce/"))) {
        const auto file = PhoneServer::files().constFind(name);
        *found = file != PhoneServer::files().cend();
        return *found ? file->bytes : QByteArray();
    }
    QFile from(QStringLiteral(":/phones/") + name);
    *found = from.open(QIODevice::ReadOnly);
    return *found ? from.readAll() : QByteArray();
}
} // namespace

bool savePage(const QString &folder, QString *why)
{
    const QDir dir(folder);
    for (const QString &sub : {QStringLiteral("vendor"), QStringLiteral("voce")}) {
        if (!dir.mkpath(sub)) {
            if (why) *why = QStringLiteral("Impossibile creare la cartella %1.").arg(dir.filePath(sub));
            return false;
        }
    }
    for (const QString &name : pageFiles()) {
        bool found = false;
        const QByteArray bytes = pageFile(name, &found);
        if (!found) {
            if (why) *why = QStringLiteral("Il file %1 della pagina manca nel programma.").arg(name);
            return false;
        }
        QSaveFile to(dir.filePath(name));
        if (!to.open(QIODevice::WriteOnly) || to.write(bytes) < 0 || !to.commit()) {
            if (why)
                *why = QStringLiteral("Impossibile scrivere %1: %2")
                           .arg(QDir::toNativeSeparators(to.fileName()), to.errorString());
            return false;
        }
    }
    return true;
}
