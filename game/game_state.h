#pragma once
// The one record that holds all of a game's memory. Every handler of the window reads and writes
// it directly; nothing of it is ever saved.

#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

// A fixed list of 90 texts indexed 1 to 90; any other index throws std::out_of_range.
class Lista90
{
public:
    QString &operator()(int i) { return m_items.at(check(i) - 1); }
    const QString &operator()(int i) const { return m_items.at(check(i) - 1); }
    static constexpr int size() { return 90; }
    bool operator==(const Lista90 &) const = default;

private:
    static int check(int i)
    {
        if (i < 1 || i > 90) throw std::out_of_range("indice fuori da 1..90");
        return i;
    }
    std::array<QString, 90> m_items;
};

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

// Entry j of the pool becomes the decimal text of j, for j = 1 to 90.
void riempi_numeri(Lista90 &lista);
