#pragma once
// The ladder of prizes of one game: ambo, then terno, quaterno, cinquina and tombola. Each prize goes
// to whoever completed it first among the cards that play: the claimants that completed it on the
// same number share it, and one completed later never takes it from one completed earlier. A claim
// walks the ladder up to the prize it holds (a card with a terno holds an ambo): it wins each open
// prize it completed first, shares each prize won on the same number as its own, and stops at the
// first open prize that a card in play completed before it. Knows no widget and no sound.

#include "cards/card_code.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// The draw (1-based ordinal) from which a claimant holds each prize, indexed by Prize; 0 when it
// does not. A claimant holding a prize holds every lower one from the same draw on at the latest.
using PrizeMoments = std::array<int, 7>;

// The moments of a card as the watch or the card check found them: a prize is held from its own
// moment, or from that of a higher prize if that came first (the last number of a short card can
// make its tombola and its cinquina at once). The tombolino is held from the tombola's.
PrizeMoments heldFrom(const std::array<PrizeMoment, 6> &moments);

// How a win came to be confirmed.
enum class Confirmation {
    Claim,      // the numbers of a claim, checked in the claim panel
    CardCode,   // a printed card checked by its code
    Watch,      // a card of tonight's found by the watch and confirmed by the caller
    WatchAlone, // a card found by the watch and announced without waiting for the caller
    Phone       // a card called by its player from a phone, by its code
};
// The last of them, for readers that check a stored value.
inline constexpr Confirmation lastConfirmation = Confirmation::Phone;

// How a win was confirmed, in a few words ("richiesta verificata") and in one for a narrow column
// ("richiesta").
QString confirmationWords(Confirmation how);
QString confirmationWord(Confirmation how);

// Who claims: a card of tonight, or the numbers typed in the claim panel.
struct Claimant {
    std::optional<CardCode> card;
    QList<int> numbers; // a claim's numbers, ascending
    Confirmation how = Confirmation::Claim;
    // "7KQ3M-4 Y" or "numeri 12 34".
    QString name() const;
    bool operator==(const Claimant &) const = default;
};

struct PrizeWin {
    Prize prize = Prize::None;
    int draw = 0; // the draw whose number completed it
    Confirmation how = Confirmation::Claim;
    Claimant who;
    bool shared = false;
    QString name() const { return who.name(); }
    bool operator==(const PrizeWin &) const = default;
};

struct Award {
    enum Kind {
        Won,            // an open prize is this claimant's (and it may share lower ones)
        Shared,         // no open prize, but one won on the same number is shared
        AlreadyWon,     // won earlier, on another number
        AlreadyCounted, // this very claimant already holds it
        Earlier,        // open, but a card in play completed it before this claimant
        PassedOver,     // this card held it, but the caller passed it over for that prize
        NoPrize,        // the claimant holds no prize at all
        Waiting         // it would win: the caller confirms it, as every winner of the watch
    };
    Kind kind = NoPrize;
    Prize prize = Prize::None; // the highest prize won, else shared, else the one refused
    int draw = 0;              // the draw of that prize's win; for Earlier and PassedOver, the claimant's
    int earlier = 0;           // Earlier: the draw at which the first cards completed it
    bool isWin() const { return kind == Won || kind == Shared; }
};

class PrizeLadder
{
public:
    // How a claimant stands to a winner already listed for a prize.
    enum class Match {
        Other,   // someone else
        Same,    // the same claimant
        Replaces // the same player, better known now (a card whose row holds a claim's numbers)
    };
    // What the ladder asks of the cards in play, for the prize `prize`: the earliest draw at which
    // one that was not passed over completed it (0 when none did), whether the claimant was passed
    // over for it, and how the claimant stands to a listed winner.
    struct Cards {
        std::function<int(Prize prize)> firstCompletion;
        std::function<bool(Prize prize)> passedOver;
        std::function<Match(const PrizeWin &win)> match;
    };

    // Whether the tombolino is played after the tombola.
    void setTombolino(bool on) { m_tombolino = on; }
    bool tombolino() const { return m_tombolino; }
    // The prizes played, in order.
    QList<Prize> steps() const;
    // The first prize nobody has won yet; None when all are won.
    Prize playingFor() const;
    // The draw at which `prize` was won; 0 while it is open.
    int wonAt(Prize prize) const;

    // `who`, holding `claimed` and the prizes below it from the draws `at`, walks the ladder.
    Award award(Prize claimed, const PrizeMoments &at, const Claimant &who, const Cards &cards);

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
    // The wins of a resumed game, as they were.
    void restore(const QList<PrizeWin> &wins) { m_wins = wins; }
    // The draw went back to `drawn` numbers: a win completed by a later number is undone.
    void takeBack(int drawn);

private:
    QList<PrizeWin> m_wins;
    bool m_tombolino = false;
};
