#pragma once
// The prize fanfare: counts the confirmed numbers of each prize and, when a prize's count reaches
// its number of boxes, plays the prize's word and the applause.

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
};

// One confirmed number for the prize `indice`: adds it to that prize's count and, at the prize's
// number of boxes, plays "<word>" then "applausi" to their end and sets the count back to 0. An
// `indice` outside 0..3 does nothing. A clip that cannot be played is skipped quietly.
void Avviso(std::int16_t indice, PrizeCounts &counts, SoundPort &sound);
