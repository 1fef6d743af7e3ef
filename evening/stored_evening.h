#pragma once
// An evening as the record keeps it: the cards put in play, run by run; the games, each with its
// numbers in draw order, the numbers taken back, the prizes given and the cards passed over; the
// log of what happened; and the options that change play.

#include "cards/cards_in_play.h"
#include "claims/prize_desk.h"
#include "evening/evening_facts.h"
#include "evening/evening_setup.h"

#include <QDateTime>
#include <QList>
#include <QString>

struct StoredNumber {
    int ordinal = 0;
    int number = 0;
    QDateTime at;
    bool byHand = false; // from the basket
    bool operator==(const StoredNumber &) const = default;
};

struct StoredGame {
    int number = 0; // the evening's game, from 1
    QDateTime started;
    QList<StoredNumber> numbers;   // those out, in draw order
    QList<StoredNumber> takenBack; // in the order they went back
    QList<PrizeWin> wins;
    QList<PrizeDesk::Pass> passes;
    QList<int> drawn() const
    {
        QList<int> out;
        for (const StoredNumber &n : numbers)
            out << n.number;
        return out;
    }
};

struct StoredRun {
    qint64 id = 0;
    QDateTime at;
    QString destination;
    bool toPdf = false;
    CardDealer dealer = CardDealer::Classic;
    int game = 1;  // the game being played when it was printed
    int drawn = 0; // how many numbers of it were out: after the first, its cards play from the next
    bool stopped = false;
    QList<CardInPlay> cards;
};

struct StoredEvening {
    qint64 id = 0;
    QDateTime started;
    QDateTime ended; // null while the evening is open
    QList<StoredRun> runs;
    QList<StoredGame> games;
    QList<PrizeDesk::Event> log;
    // The options that change play.
    int game = 1; // the game being played (it has a row once its first number is out)
    bool basket = false;
    bool announceAtOnce = false;
    bool fullSeries = false;
    PrizePlan plan;
    EveningSetup setup;
    // For the committee: the sealed draws, the cards declared void, the prizes handed over.
    QList<StoredSeal> seals;
    QList<StoredVoid> voided;
    QList<StoredDelivery> deliveries;
    // Not a fact of the file: when its record had stopped and never caught up, as the store
    // found at start-up (EveningRecord::unfinished()); null when it had not.
    QDateTime recordStopped;

    const StoredSeal *findSeal(int number) const
    {
        for (const StoredSeal &s : seals)
            if (s.game == number) return &s;
        return nullptr;
    }
    // Whether the card numbered `number` in the evening was declared void before game `before`.
    bool isVoid(int number, int before = 1 << 30) const
    {
        for (const StoredVoid &v : voided)
            if (v.game <= before && v.cards.contains(number)) return true;
        return false;
    }
    const StoredDelivery *findDelivery(int number, int index) const
    {
        for (const StoredDelivery &d : deliveries)
            if (d.game == number && d.index == index) return &d;
        return nullptr;
    }

    int cardCount() const
    {
        int n = 0;
        for (const StoredRun &r : runs)
            n += int(r.cards.size());
        return n;
    }
    const StoredGame *findGame(int number) const
    {
        for (const StoredGame &g : games)
            if (g.number == number) return &g;
        return nullptr;
    }
    bool isEmpty() const { return runs.isEmpty() && games.isEmpty(); }
    // When the last thing recorded happened: a run, a number, a line of the log; else the start.
    QDateTime lastEventAt() const
    {
        QDateTime last = started;
        for (const StoredRun &r : runs)
            last = std::max(last, r.at);
        for (const StoredGame &g : games)
            for (const StoredNumber &n : g.numbers)
                last = std::max(last, n.at);
        for (const PrizeDesk::Event &e : log)
            last = std::max(last, e.at);
        return last;
    }
};

// One line of the list of evenings in the store.
struct EveningSummary {
    qint64 id = 0;
    QDateTime started;
    QDateTime ended;
    int games = 0;
    int cards = 0;
};
