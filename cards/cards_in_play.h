#pragma once
// The cards printed or saved this evening: only these can win. Each is kept with its numbers and its
// number in the evening ("cartella N="), in the order printed; the evening's record keeps them
// across a close of the program.

#include "cards/card_code.h"

#include <QList>
#include <QSet>
#include <functional>

struct CardInPlay {
    CardCode code;
    int number = 0; // the evening's running number, from 1
    Cartella card;
};

class CardsInPlay
{
public:
    // Adds a card unless its code is in play already; its numbers are rebuilt from the code.
    void add(const CardCode &code);
    void add(const CardInPlay &card);
    // Told of every card as it joins, so that the work on it is done at printing, not mid-game.
    void setOnAdded(std::function<void(const CardInPlay &)> added) { m_added = std::move(added); }
    bool contains(const CardCode &code) const { return m_keys.contains(key(code)); }
    // An unsold card declared void: out of play for the rest of the evening (taken out, or never let
    // in), its number in the evening kept so the numbering goes on after it.
    void setVoid(const CardInPlay &card);
    bool isVoid(const CardCode &code) const { return m_void.contains(key(code)); }
    qsizetype size() const { return m_cards.size(); }
    // In the order they were printed; a card printed twice is in once.
    const QList<CardCode> &codes() const { return m_codes; }
    const CardInPlay &at(qsizetype i) const { return m_cards.at(i); }
    // The number the next card printed this evening takes.
    int nextNumber() const { return m_next; }
    // A new evening: no card, numbers from 1 again.
    void clear();

private:
    static quint64 key(const CardCode &code)
    {
        return (quint64(code.series) << 8) | (quint64(code.place) << 1) |
               (code.dealer == CardDealer::FullSeries ? 1 : 0);
    }
    QSet<quint64> m_keys;
    QSet<quint64> m_void;
    QList<CardCode> m_codes;
    QList<CardInPlay> m_cards;
    int m_next = 1;
    std::function<void(const CardInPlay &)> m_added;
};
