#pragma once
// The prize fanfare: counts the confirmed numbers of each prize and, when a prize's count reaches
// its number of boxes, plays the prize's word and the applause.

#include "announce/prizes.h"
#include "announce/sound_port.h"

#include <cstdint>

// The confirmations counted so far, one counter per prize (0 ambo .. 3 cinquina). Each stays below
// its prize's number of boxes between two calls of Avviso.
struct PrizeCounts {
    std::int16_t conta_ambo = 0;
    std::int16_t conta_terno = 0;
    std::int16_t conta_quaterno = 0;
    std::int16_t conta_cinquina = 0;
    void clearCounts() { conta_ambo = conta_terno = conta_quaterno = conta_cinquina = 0; }
    // The counter of the claim panel's prize `indice` (0..3); std::out_of_range outside.
    std::int16_t &count(int indice);
    std::int16_t count(int indice) const { return const_cast<PrizeCounts *>(this)->count(indice); }
};

// One confirmed number for the prize `indice`: adds it to that prize's count and, at the prize's
// number of boxes, plays the fanfare and sets the count back to 0. An `indice` outside 0..3 does
// nothing.
void Avviso(std::int16_t indice, PrizeCounts &counts, SoundPort &sound);

// The prize's word then "applausi", each to its end; a clip that cannot be played is skipped.
void playFanfare(Prize prize, SoundPort &sound);
