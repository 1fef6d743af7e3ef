#pragma once
// The WAVE clips carried as Qt resources under :/clips/<NAME>.<type>.

#include <QByteArray>
#include <QString>

// The whole image of the clip `nome` of type `tipo`, case ignored in both, read afresh on every
// call (nothing is cached). Throws ClipMissing (announce/sound_port.h) when there is no such clip.
QByteArray loadClip(const QString &nome, const QString &tipo);
