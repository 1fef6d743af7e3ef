#pragma once
// What the phones have been told of the evening, and the message that takes them to a new state:
// nothing when it is the same, the number alone when one was drawn or taken back, else the whole
// state. The one place where the carriers (the local network's server, the NATS relay) compare what
// they sent with what is now. Qt Core only.

#include "phones/phone_protocol.h"

#include <optional>

class PhoneFeed
{
public:
    struct Step {
        QByteArray message; // empty: nothing changed, nothing to send
        bool whole = false; // the whole state ({"t":"stato"}), else one number
    };
    // `now` is what the phones have from here on; the message that brings them there. `whole`: the
    // whole state even if nothing or only a number changed (phones that may have missed something).
    Step next(const PhoneState &now, bool whole = false);
    // Nothing told yet: the next step is the whole state.
    void reset();

    bool told() const { return m_state.has_value(); }
    // What the phones were told last; told() must be true.
    const PhoneState &state() const { return *m_state; }
    // state() whole, as a new phone gets it: made once for every phone that asks.
    QByteArray wholeMessage();

private:
    std::optional<PhoneState> m_state;
    QByteArray m_whole;
};
