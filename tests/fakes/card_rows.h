#pragma once
// The numbers of a dealt card, row by row, for tests that draw a card's own numbers.

#include "cards/card_code.h"

#include <QList>

// The numbers of row `r` (1..3) of `card`, left to right.
inline QList<int> cardRow(const Cartella &card, int r)
{
    QList<int> out;
    for (int c = 1; c <= Cartella::colonne; ++c)
        if (const int n = valore(card.cella(r, c)); n > 0) out << n;
    return out;
}

// The lowest number of 1..90 that is not on `card` and not in `besides`.
inline int offCard(const Cartella &card, const QList<int> &besides = {})
{
    const QList<int> on = cardRow(card, 1) + cardRow(card, 2) + cardRow(card, 3);
    for (int n = 1; n <= 90; ++n)
        if (!on.contains(n) && !besides.contains(n)) return n;
    return 0;
}

// The card of `code`, put among tonight's cards as a print run would.
template <class PrintRunT> Cartella printedCard(PrintRunT &printRun, const CardCode &code)
{
    printRun.cardsInPlay().add(code);
    return carta_da_codice(code.series, code.place, code.dealer);
}
