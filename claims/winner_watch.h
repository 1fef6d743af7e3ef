#pragma once
// The winner watch: every card in play, followed number by number, with the prizes it holds and the
// draw at which each came. After each number only the rows holding that number are touched, so a
// few hundred cards cost a few microseconds. Agrees with evaluateCard for the same draw order. It
// keeps no draw of its own: it is handed the game's, and follows it.

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

    // A card joins the watch, caught up with `drawOrder`, the numbers drawn so far.
    void addCard(const CardCode &code, const Cartella &card, const QList<int> &drawOrder);
    // Brought to the draw order `drawOrder` (empty for a new game): when it is the one followed so
    // far and one number more, only that number is marked; else every card is evaluated afresh.
    void follow(const QList<int> &drawOrder);

    qsizetype size() const { return m_cards.size(); }
    const Watched &card(qsizetype i) const { return m_cards.at(i); }
    // How many numbers of the draw the cards have been followed through.
    int followed() const { return m_followed; }

    // The cards that hold `prize` or a higher one.
    QList<qsizetype> holding(Prize prize) const;

private:
    void mark(Watched &w, int row, const PrizeMoment &now);
    void numberDrawn(int number);
    // What tells one draw from another, of the first `count` numbers of `drawOrder`.
    static quint64 fingerprint(const QList<int> &drawOrder, qsizetype count);

    QList<Watched> m_cards;
    // Where each number stands: card and row, for every card holding it.
    std::array<QList<std::pair<qsizetype, int>>, 91> m_where;
    int m_followed = 0;
    quint64 m_fingerprint = fingerprint({}, 0);
    std::bitset<91> m_out;
};
