#pragma once
// Playing the recordings by key, and speaking a number.

#include "announce/sound_port.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace Module1
{
// Plays the clip `nome` of type `tipo` to its end. A key with no clip throws ClipMissing.
void suona_risorsa(SoundPort &sound, const QString &nome, const QString &tipo);
} // namespace Module1

// Plays the clip `key` ("wav") to its end; a clip that cannot be played is skipped without a word,
// as everywhere outside the draw.
void playIfPresent(SoundPort &sound, const QString &key);

// The clip that says `numero` (1..90) as one word, the way it is spoken ("ventuno", "ventitré"):
// "numero<n>".
QString wholeNumberKey(std::int16_t numero);

// The clip keys that compose `numero` when its whole clip is missing, in order: "va<n>" below 20,
// else "vale<ten>" then, unless the unit is 0, "va<unit>".
QStringList chiavi_numero(std::int16_t numero);

// Speaks `numero` (1..90) with its whole clip, or, when there is none, with its composing clips in
// turn; each clip plays to its end. After a number that composes from two clips, `pump` lets the
// events that came during the speech in, whichever way it was said. A missing composing clip throws
// ClipMissing.
void pronuncia_numero(std::int16_t numero, SoundPort &sound, const std::function<void()> &pump);
