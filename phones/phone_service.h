#pragma once
// What the players' phones see of the evening and what they may ask, whatever carries it (the
// server on the local network, a NATS server far away): the state read from the game and the prize
// desk, told as it changes, and the answers to a phone's requests: the cards it holds (only cards
// in play), a call of the prize in play (to the prize desk, as a call from a phone) and, when the
// caller allows it, a card dealt to the phone through the print run. Nothing a phone sends can draw,
// pause or change anything else. Lives in the program's thread.

#include "phones/phone_protocol.h"

#include <QObject>
#include <QTimer>

class EveningRecord;
class Game;
class PrintRun;
class PrizeDesk;

class PhoneService : public QObject
{
    Q_OBJECT

public:
    // The most cards the caller may let one phone have.
    static constexpr int kMostCardsPerPhone = 6;

    PhoneService(Game &game, PrizeDesk &desk, PrintRun &printRun, EveningRecord &record,
                 QObject *parent = nullptr);

    // The state as a phone shows it now.
    PhoneState state() const;
    // The evening's record: its id names the evening for phones far away.
    const EveningRecord &record() const { return m_record; }

    // How many cards a phone may ask for; 0 (as at start-up) deals none.
    void setCardsPerPhone(int count);
    int cardsPerPhone() const { return m_cardsPerPhone; }

    // The answer to a phone's card request, call or deal; empty for any other request (the whole
    // state and the greeting are the carrier's own). `phone`: the name the phone gave itself;
    // `address`: where it connects from, when the carrier knows it (the local network's).
    QByteArray answer(const QString &phone, const QString &address, const phone_protocol::Request &request);

signals:
    // The state may have changed: at once for a number drawn or taken back, else once at the next
    // turn of the event loop however many notices came. Compare state() with what was sent.
    void changed();
    // A phone called a card: what the desk said, for the caller's window.
    void called(const QString &line);
    // The repeat says a number again: the message for every phone (phone_protocol::repeated).
    void repeated(const QByteArray &message);

private:
    QByteArray cardsAnswer(const QStringList &typed) const;
    QByteArray callAnswer(const QString &typed);
    QByteArray dealAnswer(const QString &phone, const QString &address);

    Game &m_game;
    PrizeDesk &m_desk;
    PrintRun &m_printRun;
    EveningRecord &m_record;
    int m_cardsPerPhone = 0;
    QTimer m_soon;
};
