#pragma once
// Playing a recording by key.

#include "announce/sound_port.h"
#include <QString>
#include <cstdint>

namespace Module1
{
// Plays the clip `nome` of type `tipo` to its end. A key with no clip throws ClipMissing.
void suona_risorsa(SoundPort &sound, const QString &nome, const QString &tipo);
} // namespace Module1

// The clip keys that speak `numero`, in order: "va<n>" below 20, else "vale<ten>" then, unless the
// unit is 0, "va<unit>".
QStringList chiavi_numero(std::int16_t numero);
