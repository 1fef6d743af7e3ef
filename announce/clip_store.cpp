#include "announce/clip_store.h"

#include "announce/sound_port.h"
#include <QResource>

namespace
{
[[noreturn]] void missing(const QString &nome, const QString &tipo)
{
    throw ClipMissing("clip mancante: " + nome.toStdString() + "." + tipo.toStdString());
}

// Where the clip stands among the resources.
QString clipPath(const QString &nome, const QString &tipo)
{
    // The resources stand under upper-case names with a lower-case suffix ("VA7.wav"). A key with a
    // path separator could climb out of :/clips/, so it names no clip.
    const bool plain = !nome.isEmpty() && !tipo.isEmpty() && !nome.contains(u'/') && !tipo.contains(u'/') &&
                       !nome.contains(u'\\') && !tipo.contains(u'\\');
    if (!plain) missing(nome, tipo);
    return QStringLiteral(":/clips/") + nome.toUpper() + u'.' + tipo.toLower();
}

// A folder has no data.
bool holdsClip(const QResource &resource)
{
    return resource.isValid() && resource.data();
}
} // namespace

QByteArray loadClip(const QString &nome, const QString &tipo)
{
    const QResource clip(clipPath(nome, tipo));
    if (!holdsClip(clip)) missing(nome, tipo);
    // Read where it stands, in the program's image, which lasts as long as the program.
    if (clip.compressionAlgorithm() == QResource::NoCompression)
        return QByteArray::fromRawData(reinterpret_cast<const char *>(clip.data()), clip.size());
    return clip.uncompressedData();
}

void requireClip(const QString &nome, const QString &tipo)
{
    if (!holdsClip(QResource(clipPath(nome, tipo)))) missing(nome, tipo);
}
