#pragma once
// The fixed 90-entry lists of the game (the pool, the history, the words) and the two list
// operations the draw and the card shuffle share: the pick and the removal from the pool.

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
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

// Entry j becomes the decimal text of j, for j = 1 to 90.
inline void riempi_numeri(Lista90 &lista)
{
    for (int j = 1; j <= 90; ++j)
        lista(j) = QString::number(j);
}

// floor(r * n) + 1 for 0 <= r < 1, kept within 1..n whatever rounding does.
inline int pesca_indice(double r, int n)
{
    if (n < 1) throw std::out_of_range("nessun numero da estrarre");
    const int k = static_cast<int>(std::floor(r * n)) + 1;
    return std::clamp(k, 1, n);
}

// Removes entry `indice` from the live part (1..quanti) of the pool, keeping the order of the
// others; the entry beyond the new count keeps a stale copy.
inline void togli_dal_mucchio(Lista90 &numeri_da_estrarre, int indice, int quanti)
{
    for (int j = indice; j <= quanti - 1; ++j)
        numeri_da_estrarre(j) = numeri_da_estrarre(j + 1);
}
