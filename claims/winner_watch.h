#pragma once
// The winner watch: every card in play, followed number by number, with the prizes it holds and the
// draw at which each came. After each number only the rows holding that number are touched, so a
// few hundred cards cost a few microseconds. Agrees with evaluateCard for the same draw order.

#include "cards/card_code.h"

#include <QList>
#include <array>
#include <bitset>

class WinnerWatch
{
public:
    struct Watched {
        CardCode code;
        Prize best = Prize::None;
        std::array<PrizeMoment, 6> moments{}; // as CardResult::moments
        std::array<int, Cartella::righe> outPerRow{};
        int onCard = 0;
        int out = 0;
    };

    // A card joins the watch, caught up with the numbers drawn so far.
    void addCard(const CardCode &code, const Cartella &card);
    // The next number of the draw order.
    void numberDrawn(int number);
    // Back to the draw order `drawOrder` (empty for a new game), every card evaluated afresh.
    void restart(const QList<int> &drawOrder);

    qsizetype size() const { return m_cards.size(); }
    const Watched &card(qsizetype i) const { return m_cards.at(i); }
    const QList<int> &drawOrder() const { return m_order; }

    // The cards that hold `prize` or a higher one.
    QList<qsizetype> holding(Prize prize) const;

private:
    void mark(Watched &w, int row, const PrizeMoment &now);

    QList<Watched> m_cards;
    // Where each number stands: card and row, for every card holding it.
    std::array<QList<std::pair<qsizetype, int>>, 91> m_where;
    QList<int> m_order;
    std::bitset<91> m_out;
};
