#pragma once
// The prize pot of an evening: what a card costs, what the prizes are worth, and the tombolino.
// Every amount is in whole euro cents. A game's pot comes from the cards that play it (their
// takings less the organiser's part), or is a fixed sum, or the prizes have fixed values; the pot
// is split among the prizes by their shares, and a prize won by several is split among them.
// Whatever the split, the parts add up to the whole to the cent, by these rules:
// - the cents left when the pot is shared out among the prizes go to the last prize of the ladder;
// - the cents left when a prize is split among its winners go one each to the first winners, in
//   the order they were confirmed.

#include "announce/prizes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

struct PrizePlan {
    enum class Pot { Takings, Fixed, FixedPrizes };
    // Indexed by Prize (None unused, Tombolino last).
    using PerPrize = std::array<qint64, 7>;

    qint64 cardPrice = 0; // cents
    Pot pot = Pot::Takings;
    qint64 fixedPot = 0;      // cents, for Pot::Fixed
    int organiserPercent = 0; // of the takings, kept before the pot
    // Percent of the pot, for Takings and Fixed.
    PerPrize shares{0, 10, 15, 20, 25, 30, 0};
    // Cents, for FixedPrizes.
    PerPrize values{};
    bool tombolino = false;
    // The most the prizes of one tombola may be worth, by law, for an association's tombola.
    qint64 cap = 1291142;

    // A plan in use: the pot or the prizes are worth something.
    bool inUse() const;
    // The prizes of the ladder, with the tombolino when it is on.
    QList<Prize> prizes() const;
    bool operator==(const PrizePlan &) const = default;

    // As text for the evening's record, and back; nullopt for a text this program did not write.
    QString toText() const;
    static std::optional<PrizePlan> fromText(const QString &text);
};

struct Payout {
    qint64 takings = 0;   // the cards' price times the cards that play
    qint64 organiser = 0; // kept by the organiser
    qint64 pot = 0;       // for the prizes
    PrizePlan::PerPrize prize{};
};

// The pot of a game played by `cards` cards, and each prize's worth.
Payout payout(const PrizePlan &plan, int cards);
// `cents` split among `winners` (at least 1), in the order they were confirmed.
QList<qint64> split(qint64 cents, int winners);
// "36,00 €", "12.911,42 €".
QString euro(qint64 cents);
// What is not right with the plan, for the caller: shares not adding up to 100, a pot above the
// legal cap for `cards` cards.
QStringList planWarnings(const PrizePlan &plan, int cards);
