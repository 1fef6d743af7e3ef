#pragma once
// The one record that holds all of a game's memory. Every handler of the window reads and writes
// it directly; nothing of it is ever saved.

#include "game/lista90.h"

#include <QString>
#include <cstdint>

struct GameState {
    Lista90 numeri_da_estrarre; // the pool; entries 1..quanti_da_estrarre are live
    std::int16_t quanti_da_estrarre = 0;
    std::int16_t indice_pescato = 0;
    Lista90 numeri_estratti; // the history, in draw order; also the card dealer's pool
    std::int16_t prossima_estrazione = 0;
    bool nuova_partita = false;
    std::int16_t totale_numeri = 0;
    bool sospeso = false;
    float ritardo = 0.0f; // seconds between two numbers, 0.1 to 7.0
    std::int16_t conta_ambo = 0;
    std::int16_t conta_terno = 0;
    std::int16_t conta_quaterno = 0;
    std::int16_t conta_cinquina = 0;
    std::int16_t premio_scelto = 0; // 0 ambo, 1 terno, 2 quaterno, 3 cinquina
    std::int16_t num_cartelle = 0;
    std::int16_t conta_cartelle = 0;
    QString font_corsivo;
    Lista90 numeri_in_lettere;
};
