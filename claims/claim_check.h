#pragma once
// The check of a player's claim: the claim panel, the prize buttons that start a claim and unlock
// its boxes, and each typed number compared with the numbers drawn as it leaves its box. Knows no
// widget: it works on the window through GameView.
//
// A claim is the set of numbers in the boxes of the prize picked last. Each drawn number counts
// once, however often its box is left and in however many boxes it stands; the fanfare plays when
// the claim holds as many different drawn numbers as the prize has boxes, and only then. With the
// ladder of prizes at hand, a complete claim is also put to it: a prize already won on another
// number gets no fanfare, only "GIÀ VINTO"; one that a card in play completed earlier gets
// "PRIMA UN'ALTRA" and a message naming that card.

#include "announce/prizes.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

class Game;
class PrizeDesk;

class ClaimCheck : public QObject
{
    Q_OBJECT

public:
    explicit ClaimCheck(Game &game, QObject *parent = nullptr);

    void panelToggled();                           // cmd_verifica_Click
    void prizePicked(int index);                   // cmd_ambo_Click
    void keyPressed(int index, std::int16_t &key); // Text1_KeyPress
    void boxLeft(int index);                       // Text1_LostFocus
    // The text of a box was changed by the user: it is checked afresh when it is left.
    void boxEdited(int index);

    // Complete claims go to `desk`'s ladder (none: every complete claim is valid).
    void setPrizeDesk(PrizeDesk *desk) { m_desk = desk; }

    // The verdict on show, "AMBO VALIDO" and the like; empty when none.
    QString verdict() const { return m_verdict; }

signals:
    // The number typed into box `box` was checked for the prize `prize`: drawn or not.
    void numberChecked(int prize, int box, const QString &text, bool drawn);
    // The claim for `prize` holds all its numbers, drawn and different, and wins.
    void claimCompleted(int prize, const QString &verdict);
    // The claim for `prize` is complete but its prize was already won on another number.
    void claimRefused(int prize, const QString &verdict);

private:
    bool inClaim(int box) const;
    // Different drawn numbers counted in the claim's boxes.
    int countedInClaim() const;
    void setVerdict(const QString &text);
    void numberTakenBack(int number);

    Game &m_game;
    PrizeDesk *m_desk = nullptr;
    bool m_claimOpen = false; // a prize was picked in this game
    bool m_complete = false;
    // The text each box was counted with; empty when it counts for nothing.
    std::array<QString, claimBoxes> m_counted{};
    QString m_verdict;
};
