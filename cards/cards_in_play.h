#pragma once
// The cards printed or saved since the program started: only these can win tonight. Kept in
// memory only, by series, place and dealer; nothing is written anywhere.

#include "cards/card_code.h"

#include <QList>
#include <QSet>
#include <functional>

class CardsInPlay
{
public:
    void add(const CardCode &code)
    {
        if (m_codes.contains(key(code))) return;
        m_codes.insert(key(code));
        m_list << code;
        if (m_added) m_added(code);
    }
    // Told of every card as it joins, so that the work on it is done at printing, not mid-game.
    void setOnAdded(std::function<void(const CardCode &)> added) { m_added = std::move(added); }
    bool contains(const CardCode &code) const { return m_codes.contains(key(code)); }
    qsizetype size() const { return m_list.size(); }
    // In the order they were printed; a card printed twice is in once.
    const QList<CardCode> &codes() const { return m_list; }

private:
    static quint64 key(const CardCode &code)
    {
        return (quint64(code.series) << 8) | (quint64(code.place) << 1) |
               (code.dealer == CardDealer::FullSeries ? 1 : 0);
    }
    QSet<quint64> m_codes;
    QList<CardCode> m_list;
    std::function<void(const CardCode &)> m_added;
};
