#include "remote/far_delay.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

FarDelay::FarDelay(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FarDelay::releaseDue);
}

void FarDelay::setSeconds(int seconds)
{
    m_seconds = std::clamp(seconds, 0, kMostSeconds);
}

void FarDelay::push(Message message)
{
    if (m_seconds == 0 && m_held.empty()) {
        emit released(message);
        return;
    }
    // Never before one held already: the order is the room's.
    qint64 due = m_clock.elapsed() + qint64(m_seconds) * 1000;
    if (!m_held.empty()) due = std::max(due, m_held.back().due);
    m_held.push_back({due, std::move(message)});
    tell();
    arm();
}

void FarDelay::clear()
{
    m_held.clear();
    m_timer.stop();
    tell();
}

qint64 FarDelay::msUntilEmpty() const
{
    return m_held.empty() ? 0 : std::max<qint64>(0, m_held.back().due - m_clock.elapsed());
}

int FarDelay::lastHeldNumber() const
{
    for (auto it = m_held.rbegin(); it != m_held.rend(); ++it)
        if (it->message.leaf == QLatin1String("numero")) {
            const QJsonObject m = QJsonDocument::fromJson(it->message.data).object();
            if (m.value(QLatin1String("t")).toString() == QLatin1String("numero"))
                return m.value(QLatin1String("n")).toInt();
        }
    return 0;
}

void FarDelay::releaseDue()
{
    // A slot of released() may push or clear: take one at a time.
    while (!m_held.empty() && m_held.front().due <= m_clock.elapsed()) {
        Message message = std::move(m_held.front().message);
        m_held.pop_front();
        emit released(message);
    }
    tell();
    arm();
}

void FarDelay::tell()
{
    if (isHolding() == m_told) return;
    m_told = isHolding();
    emit holdingChanged(m_told);
}

void FarDelay::arm()
{
    if (m_held.empty()) return;
    m_timer.start(int(std::max<qint64>(0, m_held.front().due - m_clock.elapsed())));
}
