#pragma once
// One thing that happened in the evening, as the evening keeps it: its place in the evening (`seq`,
// from 1), when it happened and what it was. The game, the prize desk, the print runs and the phones
// hand the evening such an event; the evening writes it to the store, then applies it.

#include "evening/stored_evening.h"

#include <QDateTime>
#include <QList>

struct EveningEvent {
    enum class Kind {
        CardsPut,        // `run`: a print run's cards put in play, with their codes and numbering, as dealt
                         // and before any of them goes to the printer or the file
        RunCut,          // `run.cards`: those of the last run that reached the printer or the file (none
                         // when it failed); the others are out of play and the run is marked stopped
        PhoneCard,       // `run`: a card dealt to a player's phone (its destination names the phone)
        NumberDrawn,     // `game`, `number`: drawn at random, or from the basket (`number.byHand`)
        NumberTakenBack, // `game`, `number`: the basket's last number back in the pool
        Logged,          // `line`: a claim and its verdict, a card checked, a note of the log
        Prizes,    // `game`, `wins`, `passes`: the prizes given and the cards passed over, after a verdict
        Options,   // `options`: the game being played, the basket, winners at once, the dealer, the set-up
        Plan,      // `options.plan`: the prize plan
        Closed,    // the caller closed the evening
        Sealed,    // `seal`: a game's sealed draw fixed, or its secret revealed (`seal.revealed`)
        Voided,    // `voided`: unsold cards declared void
        Delivered, // `delivery`: a prize handed over
    };

    qint64 seq = 0;
    QDateTime at;
    Kind kind = Kind::Logged;
    int game = 0;
    StoredNumber number;
    StoredRun run;
    PrizeDesk::Event line;
    QList<PrizeWin> wins;
    QList<PrizeDesk::Pass> passes;
    // Only the option fields of it are read.
    StoredEvening options;
    StoredSeal seal;
    StoredVoid voided;
    StoredDelivery delivery;
};

// Applies `event` to `evening`: the one place where an event becomes a fact of the evening, live and
// when a stored evening is replayed.
void applyEvent(StoredEvening &evening, const EveningEvent &event);

// A stored evening as the events that make it, in the order they happened (the options last): their
// replay on the evening's start gives the evening back.
QList<EveningEvent> eventsOf(const StoredEvening &evening);

// Where `a` and `b` differ, for a test or a log line; empty when they are the same evening.
QString eveningDifference(const StoredEvening &a, const StoredEvening &b);
