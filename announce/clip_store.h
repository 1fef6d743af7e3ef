#pragma once
// The WAVE clips carried as Qt resources under :/clips/<NAME>.<type>.

#include <QByteArray>
#include <QString>

// The whole image of the clip `nome` of type `tipo`, case ignored in both, read afresh from the
// program's resources on every call (nothing is cached; a clip stored uncompressed is not even
// copied). Throws ClipMissing (announce/sound_port.h) when there is no such clip.
QByteArray loadClip(const QString &nome, const QString &tipo);
// Throws ClipMissing as loadClip() does, without reading the clip.
void requireClip(const QString &nome, const QString &tipo);
