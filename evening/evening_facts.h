#pragma once
// What an evening records for the committee that signs it, beside the draw itself: each game's
// sealed draw (its secret, and when it was revealed), the unsold cards declared void, and the
// prizes handed over. Each is a fact of its own, written to the store as it happens.

#include "claims/prize_ladder.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// A game's sealed draw. The secret is kept from the game's first random number; nothing shows it
// before `revealed` is set, at the game's end or the evening's.
struct StoredSeal {
    int game = 0;
    QByteArray secret; // 32 bytes
    QDateTime at;
    QDateTime revealed; // null while the game is under way
    bool isRevealed() const { return revealed.isValid(); }
    bool operator==(const StoredSeal &) const = default;
};

// Unsold cards declared void: out of play from `game` for the rest of the evening.
struct StoredVoid {
    QDateTime at;
    int game = 1;
    QString what;     // as the caller wrote it: "da 801 a 900", codes, runs
    QList<int> cards; // the cards' numbers in the evening, ascending
    bool operator==(const StoredVoid &) const = default;
};

// A prize handed over: the `index`-th win of `game` (in the order the ladder confirmed them).
struct StoredDelivery {
    int game = 0;
    int index = 0;
    QString to;
    QDateTime at;
    bool operator==(const StoredDelivery &) const = default;
};
