#pragma once
// The one record that holds all of a game's memory: the pool, the history, the draw position, the
// flags by which the handlers steer a running draw, the pace, the claim counters, the card counters
// and the words. Nothing of it is ever saved.

#include "announce/fanfare.h"
#include "game/number_pool.h"

#include <QString>
#include <cstdint>

struct GameState : PrizeCounts {
    Lista90 numeri_da_estrarre; // the pool; entries 1..quanti_da_estrarre are live
    std::int16_t quanti_da_estrarre = 0;
    std::int16_t indice_pescato = 0;
    Lista90 numeri_estratti; // the history, in draw order; also the card dealer's pool
    std::int16_t prossima_estrazione = 0;
    bool nuova_partita = false;
    std::int16_t totale_numeri = 0;
    bool sospeso = false;
    float ritardo = 0.0f; // seconds between two numbers, 0.1 to 7.0
    // conta_ambo .. conta_cinquina come from PrizeCounts.
    std::int16_t premio_scelto = 0; // 0 ambo, 1 terno, 2 quaterno, 3 cinquina
    std::int16_t num_cartelle = 0;
    std::int16_t conta_cartelle = 0;
    QString font_corsivo;
    Lista90 numeri_in_lettere;

    // How many numbers of the current game are drawn: entries 1..drawnCount() of the history.
    int drawnCount() const { return 90 - quanti_da_estrarre; }
};

// The fields of the record a print run writes (it deals from a pool of its own).
struct PrintRecord {
    std::int16_t &num_cartelle;
    std::int16_t &conta_cartelle;
};
