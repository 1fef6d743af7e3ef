#include "announce/clip_store.h"

#include "announce/sound_port.h"
#include <QFile>

QByteArray loadClip(const QString &nome, const QString &tipo)
{
    // The resources stand under upper-case names with a lower-case suffix ("VA7.wav"). A key with a
    // path separator could climb out of :/clips/, so it names no clip.
    const bool plain = !nome.isEmpty() && !tipo.isEmpty() && !nome.contains(u'/') && !tipo.contains(u'/') &&
                       !nome.contains(u'\\') && !tipo.contains(u'\\');
    const QString path = QStringLiteral(":/clips/") + nome.toUpper() + u'.' + tipo.toLower();
    QFile file(path);
    if (!plain || !file.open(QIODevice::ReadOnly))
        throw ClipMissing("clip mancante: " + nome.toStdString() + "." + tipo.toStdString());
    return file.readAll();
}
