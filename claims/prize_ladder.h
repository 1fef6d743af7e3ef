#pragma once
// The ladder of prizes of one game: ambo, then terno, quaterno, cinquina and tombola. Each prize is
// won once, by the first claim that completes it; cards completing it on the same number share it.
// A claim wins every open prize up to the one it holds (a card with a terno holds an ambo) and shares
// each prize below it that was won on the same number as its own. Knows no widget and no sound.

#include "cards/card_code.h"

#include <QList>
#include <QString>
#include <array>

// The draw (1-based ordinal) at which each prize completed for one claim, indexed by Prize; 0 when
// it did not.
using PrizeMoments = std::array<int, 6>;

// How a win came to be confirmed.
enum class Confirmation {
    Claim,     // the numbers of a claim, checked in the claim panel
    CardCode,  // a printed card checked by its code
    Watch,     // a card of tonight's found by the watch and confirmed by the caller
    WatchAlone // a card found by the watch and announced without waiting for the caller
};

// How a win was confirmed, in a few words ("richiesta verificata") and in one for a narrow column
// ("richiesta").
QString confirmationWords(Confirmation how);
QString confirmationWord(Confirmation how);

struct PrizeWin {
    Prize prize = Prize::None;
    int draw = 0; // the draw whose number completed it
    Confirmation how = Confirmation::Claim;
    QString who; // a card's code, or the numbers of a claim
    bool shared = false;
    bool operator==(const PrizeWin &) const = default;
};

struct Award {
    enum Kind {
        Won,            // an open prize is this claim's (and it may share lower ones)
        Shared,         // no open prize, but one won on the same number is shared
        AlreadyWon,     // won earlier, on another number
        AlreadyCounted, // this very card or claim already holds it
        NoPrize         // the claim holds no prize at all
    };
    Kind kind = NoPrize;
    Prize prize = Prize::None; // the highest prize won, else shared, else the claimed one
    int draw = 0;              // the draw of that prize's win
    bool isWin() const { return kind == Won || kind == Shared; }
};

class PrizeLadder
{
public:
    // The first prize nobody has won yet; None when all are won.
    Prize playingFor() const;
    // The draw at which `prize` was won; 0 while it is open.
    int wonAt(Prize prize) const;

    // A claim that holds `claimed` (and every prize below it), completed at the draws of `at`.
    Award award(Prize claimed, const PrizeMoments &at, Confirmation how, const QString &who);

    // Every win, in the order they were confirmed; a shared prize has one entry per winner.
    const QList<PrizeWin> &wins() const { return m_wins; }
    // The prizes won, in the ladder's order, each with its draw and its winners as confirmed.
    struct Won {
        Prize prize = Prize::None;
        int draw = 0;
        QList<PrizeWin> winners;
    };
    QList<Won> won() const;

    // A new game: everything open again.
    void reset() { m_wins.clear(); }
    // The draw went back to `drawn` numbers: a win completed by a later number is undone.
    void takeBack(int drawn);

private:
    QList<PrizeWin> m_wins;
};
