#pragma once
// The prizes of the evening's games: the ladder, the winner watch over the cards printed tonight,
// and the claims that move the ladder on (the claim panel, the card check, the watch confirmed by
// the caller). Follows the game through its signals; knows no widget: the window and the room's
// screen read it and are told of changes.

#include "cards/cards_in_play.h"
#include "claims/prize_ladder.h"
#include "claims/winner_watch.h"

#include <QObject>
#include <QStringList>
#include <optional>

class Game;

class PrizeDesk : public QObject
{
    Q_OBJECT

public:
    PrizeDesk(Game &game, CardsInPlay &inPlay, QObject *parent = nullptr);
    ~PrizeDesk() override { m_inPlay.setOnAdded(nullptr); }

    // Cards of tonight that hold the prize in play, or a higher one, and wait for the caller: those
    // that completed it first, on the same number.
    struct Sighting {
        Prize prize = Prize::None;
        int draw = 0;
        QList<CardCode> codes;
        bool operator==(const Sighting &) const = default;
    };

    // One line of the evening's log: what happened, at which draw of which game.
    struct Event {
        int game = 0;
        int draw = 0;
        QString text;
    };

    const PrizeLadder &ladder() const { return m_ladder; }
    // The watch, with every card printed so far.
    const WinnerWatch &watch();
    std::optional<Sighting> sighting() const { return m_sighting; }
    const QList<Event> &events() const { return m_events; }

    // A claim of the claim panel holds all its numbers: `prizeIndex` 0 ambo .. 3 cinquina.
    Award claimFromPanel(int prizeIndex, const QStringList &numbers);
    // A card of tonight checked by its code, as the card check evaluated it.
    Award claimByCard(const CardCode &code, const CardResult &result);
    // The caller's answer to the sighting on show.
    void confirm();
    void ignore();

    // Watched winners go to the room at once, without waiting for the caller. Off at start.
    void setAnnounceAtOnce(bool on);
    bool announceAtOnce() const { return m_announceAtOnce; }

    // "Si gioca per: TERNO", or that every prize is won.
    QString playingForText() const;
    // One line per prize won: the prize, the draw, the winners and how each was confirmed.
    QStringList winLines() const;
    // The same for the room: what is played for, then the prizes won, short.
    QStringList audienceLines() const;
    // The sighting for the caller, "TERNO alla 23ª estrazione: cartella 7KQ3M-4 X"; empty if none.
    // With `lines`, the cards go on a line of their own and no code is broken across lines.
    QString sightingText(bool lines = false) const;

signals:
    // The ladder, the sighting or the log changed.
    void changed();
    // A win the room should hear of, confirmed by a card's code or from the watch: "TERNO! ...".
    void prizeWon(const QString &banner);

private:
    void syncCards();
    void numberDrawn();
    void newGame();
    void takenBack();
    void look();
    void confirmAs(Confirmation how);
    void log(int draw, const QString &text);

    Game &m_game;
    CardsInPlay &m_inPlay;
    PrizeLadder m_ladder;
    WinnerWatch m_watch;
    std::optional<Sighting> m_sighting;
    // Cards the caller passed over, each for the prize it was shown for.
    QList<QPair<Prize, CardCode>> m_ignored;
    QList<Event> m_events;
    int m_gameNumber = 1;
    bool m_announceAtOnce = false;
};

// What the ladder said of a claim, lower case and without a full stop: "vince il TERNO alla 3ª
// estrazione", "il TERNO e' gia' assegnato a questa cartella" (`card`) or "... a questa richiesta".
QString awardSentence(const Award &award, bool card);
