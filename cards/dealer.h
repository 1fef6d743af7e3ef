#pragma once
// The card dealer: shuffles the 90 numbers into the pool and deals cards of 3 rows by 9 columns
// from it, six cards to a shuffle. Pure: no widgets, no printer.

#include "game/number_pool.h"
#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

// A card: 3 rows by 9 columns of texts, each empty or the decimal text of a number.
// Indexed 1-based, row first; any other index throws std::out_of_range.
struct Cartella {
    static constexpr int righe = 3;
    static constexpr int colonne = 9;

    QString &cella(int r, int c) { return m_celle.at(indice(r, c)); }
    const QString &cella(int r, int c) const { return m_celle.at(indice(r, c)); }
    bool operator==(const Cartella &) const = default;

private:
    static std::size_t indice(int r, int c)
    {
        if (r < 1 || r > righe || c < 1 || c > colonne) throw std::out_of_range("cella fuori dalla cartella");
        return static_cast<std::size_t>((r - 1) * colonne + (c - 1));
    }
    std::array<QString, righe * colonne> m_celle;
};

// A fixed list of 3 texts indexed 1 to 3 (one column of a card); other indexes throw.
class Lista3
{
public:
    QString &operator()(int i) { return m_items.at(check(i) - 1); }
    const QString &operator()(int i) const { return m_items.at(check(i) - 1); }
    static constexpr int size() { return 3; }

private:
    static int check(int i)
    {
        if (i < 1 || i > 3) throw std::out_of_range("indice fuori da 1..3");
        return i;
    }
    std::array<QString, 3> m_items;
};

// Most numbers a row of a card holds, and a whole card.
constexpr int massimo_per_riga = 5;
constexpr int massimo_per_cartella = 15;

// The card column of n: 1..9 -> 1, 10..19 -> 2, ..., 80..90 -> 9. Throws outside 1..90.
int colonna_di(int n);

// The numeric value of an entry's text; 0 for an empty or non-numeric text.
int valore(const QString &testo);

// Fills all 90 entries with the texts of 1..90 in a fresh random order: reseeds `random`, then
// picks floor(r * n) + 1 from the shrinking list of the rest for each entry. `random` is any
// generator with reseed() and a uniform next() in [0, 1): the program's, or a card series'.
template <class Generator> void genera_tombola(Lista90 &N_estratti, Generator &random)
{
    random.reseed();
    Lista90 numeri_liberi;
    riempi_numeri(numeri_liberi);
    int n = Lista90::size();
    for (int i = 1; i <= Lista90::size(); ++i) {
        const int j = pesca_indice(random.next(), n);
        N_estratti(i) = numeri_liberi(j);
        togli_dal_mucchio(numeri_liberi, j, n);
        n = n - 1;
    }
}

// Deals one card from the pool, greedily and in pool order; each number dealt is emptied in the
// pool, numbers that fit nowhere stay. `posizione` is not used.
void genera_cartella(Cartella &cartella, std::int16_t &posizione, Lista90 &numeri_estratti);

// Moves the non-empty entries to the front, in order, and empties the rest. True, with the list
// untouched, when every entry is empty.
bool shift_cartella(Lista90 &numeri_estratti);

// Exchange sort by numeric value of entries 1..Ncol of a 1-based text list (Lista3, Lista90).
template <class Lista> void ordina(Lista &colonna, std::int16_t Ncol)
{
    for (int i = 1; i <= Ncol - 1; ++i) {
        for (int j = i + 1; j <= Ncol; ++j) {
            if (valore(colonna(j)) < valore(colonna(i))) std::swap(colonna(i), colonna(j));
        }
    }
}

// Sorts the numbers of each column ascending downwards; the occupied cells stay the same.
void ordina_colonna(Cartella &cartelletta);
