#include "phones/phone_feed.h"

PhoneFeed::Step PhoneFeed::next(const PhoneState &now, bool whole)
{
    if (m_state && *m_state == now && !whole) return {};
    const QByteArray change = m_state && !whole ? phone_protocol::delta(*m_state, now) : QByteArray();
    m_state = now;
    m_whole.clear();
    if (!change.isEmpty()) return {change, false};
    return {wholeMessage(), true};
}

void PhoneFeed::reset()
{
    m_state.reset();
    m_whole.clear();
}

QByteArray PhoneFeed::wholeMessage()
{
    if (m_whole.isEmpty() && m_state) m_whole = phone_protocol::wholeState(*m_state);
    return m_whole;
}
