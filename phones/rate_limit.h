#pragma once
// A token bucket: at most `burst` at once, refilled at `rate` a second. What a phone may send, and
// what all phones together may ask of the program, whichever way they reach it.

#include <QElapsedTimer>
#include <algorithm>

class RateLimit
{
public:
    // One more is let through, or false when the bucket is empty.
    bool take(double rate, double burst)
    {
        if (!m_since.isValid()) {
            m_since.start();
            m_tokens = burst;
        }
        m_tokens = std::min(burst, m_tokens + double(m_since.restart()) * rate / 1000.0);
        if (m_tokens < 1) return false;
        m_tokens -= 1;
        return true;
    }

private:
    double m_tokens = 0;
    QElapsedTimer m_since;
};
