#pragma once
// What the phones far away may see, held back by the video's delay: a relative who follows the
// evening on a stream that runs N seconds behind the room gets each number and each change of the
// state N seconds after the room, so that the phone is never ahead of the video. The room, its
// screen and the phones on the local network do not pass through here. Messages come out in the
// order they went in, each no sooner than `seconds()` after it went in; with 0 at once (within
// push()). Lives in the program's thread; Qt Core only.

#include "phones/phone_protocol.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>

class FarDelay : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMostSeconds = 90;

    struct Message {
        QString leaf;     // "stato" or "numero": the subject's last part
        QByteArray data;  // as phone_protocol writes it
        PhoneState state; // what a far phone shows once it has this message
    };

    explicit FarDelay(QObject *parent = nullptr);

    // 0 to kMostSeconds (clamped). Messages already held keep their time; later ones never come
    // out before them.
    void setSeconds(int seconds);
    int seconds() const { return m_seconds; }

    void push(Message message);
    // Drops what is held (the relay stopped, another evening).
    void clear();
    bool isHolding() const { return !m_held.empty(); }
    // Milliseconds until the last message held comes out; 0 when none is held.
    qint64 msUntilEmpty() const;
    // The number of the last "numero" held back, or 0.
    int lastHeldNumber() const;

signals:
    void released(const FarDelay::Message &message);
    // Something is held, or no longer is.
    void holdingChanged(bool holding);

private:
    void releaseDue();
    void arm();
    void tell();

    struct Held {
        qint64 due; // on m_clock
        Message message;
    };
    int m_seconds = 0;
    std::deque<Held> m_held;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_told = false; // what holdingChanged() said last
};
