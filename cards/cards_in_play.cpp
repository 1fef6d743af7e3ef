#include "cards/cards_in_play.h"

#include <algorithm>

void CardsInPlay::add(const CardCode &code)
{
    add(CardInPlay{code, m_next, carta_da_codice(code.series, code.place, code.dealer)});
}

void CardsInPlay::add(const CardInPlay &card)
{
    if (m_keys.contains(key(card.code)) || m_void.contains(key(card.code))) return;
    m_keys.insert(key(card.code));
    m_codes << card.code;
    m_cards << card;
    m_next = std::max(m_next, card.number + 1);
    if (m_added) m_added(m_cards.last());
}

void CardsInPlay::setVoid(const CardInPlay &card)
{
    const quint64 k = key(card.code);
    m_void.insert(k);
    m_next = std::max(m_next, card.number + 1);
    if (!m_keys.remove(k)) return;
    const qsizetype at = m_codes.indexOf(card.code);
    m_codes.removeAt(at);
    m_cards.removeAt(at);
}

void CardsInPlay::clear()
{
    m_void.clear();
    m_keys.clear();
    m_codes.clear();
    m_cards.clear();
    m_next = 1;
}
