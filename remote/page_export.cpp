#include "remote/page_export.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QStringList pageFiles()
{
    return {QStringLiteral("index.html"),     QStringLiteral("style.css"),
            QStringLiteral("app.js"),         QStringLiteral("vendor/nats_link.js"),
            QStringLiteral("vendor/nats.js"), QStringLiteral("vendor/LICENSE"),
            QStringLiteral("vendor/VERSION")};
}

bool savePage(const QString &folder, QString *why)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("vendor"))) {
        if (why)
            *why = QStringLiteral("Impossibile creare la cartella %1.")
                       .arg(dir.filePath(QStringLiteral("vendor")));
        return false;
    }
    for (const QString &name : pageFiles()) {
        QFile from(QStringLiteral(":/phones/") + name);
        if (!from.open(QIODevice::ReadOnly)) {
            if (why) *why = QStringLiteral("Il file %1 della pagina manca nel programma.").arg(name);
            return false;
        }
        QSaveFile to(dir.filePath(name));
        if (!to.open(QIODevice::WriteOnly) || to.write(from.readAll()) < 0 || !to.commit()) {
            if (why)
                *why = QStringLiteral("Impossibile scrivere %1: %2")
                           .arg(QDir::toNativeSeparators(to.fileName()), to.errorString());
            return false;
        }
    }
    return true;
}
