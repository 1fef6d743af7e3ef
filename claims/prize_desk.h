#pragma once
// The prizes of the evening's games: the ladder, the winner watch over the cards that play the game,
// and the claims that move the ladder on (the claim panel, the card check, the watch confirmed by
// the caller). Follows the game through its signals and stops its draw for a winner, as a hall does
// when someone calls; knows no widget: the window and the audience screen read it and are told of
// changes.
//
// The cards that play a game are those printed before its first number; a card printed later plays
// from the next game on.

#include "cards/cards_in_play.h"
#include "claims/prize_ladder.h"
#include "claims/prize_pot.h"
#include "claims/winner_watch.h"

#include <QDateTime>
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

    // Cards that hold a prize and wait for the caller: for the prize in play, those that completed
    // it first; or, for a prize already won, more cards that completed it on the same number.
    struct Sighting {
        Prize prize = Prize::None;
        int draw = 0;
        QList<CardCode> codes;
        bool shares = false; // the prize is won already: these would share it
        bool operator==(const Sighting &) const = default;
    };

    // One line of the evening's log: what happened, at which draw of which game, and when.
    struct Event {
        int game = 0;
        int draw = 0;
        QString text;
        QDateTime at;
        bool refused = false; // a claim or a card checked that won nothing
    };
    // A card the caller passed over for a prize, shown at a draw.
    struct Pass {
        Prize prize = Prize::None;
        CardCode code;
        int draw = 0;
        bool operator==(const Pass &) const = default;
    };
    // What the desk knows of the game that the game itself does not: for the evening's record.
    struct State {
        int gameNumber = 1;
        bool announceAtOnce = false;
        QList<PrizeWin> wins;
        QList<Pass> passes;
        QList<Event> events;
        PrizePlan plan;
    };

    // How long the draw waits after a winner announced at once, for the room to read the banner.
    static constexpr double kBannerSeconds = 4.0;

    const PrizeLadder &ladder() const { return m_ladder; }
    const Game &game() const { return m_game; }
    // The watch, with every card that plays this game.
    const WinnerWatch &watch() const { return m_watch; }
    std::optional<Sighting> sighting() const { return m_sighting; }
    const QList<Event> &events() const { return m_events; }
    const QList<Pass> &passes() const { return m_passed; }
    // The game of the evening being played, from 1.
    int gameNumber() const { return m_gameNumber; }
    // Back to a resumed evening's state: the game's numbers are back in the game already, the cards
    // that play it in the cards in play. Nothing stops and nothing is announced.
    void restore(const State &state);
    State state() const;
    // A new evening: no card watched, no win, no log, the games from 1.
    void newEvening();
    // A card of tonight printed after this game's first number: it plays from the next game.
    bool playsThisGame(const CardCode &code) const;
    // The earliest draw at which a card that plays and was not passed over for `prize` holds it; 0
    // when none does.
    int firstCompletion(Prize prize) const;

    // A claim of the claim panel holds all its numbers: `prizeIndex` 0 ambo .. 3 cinquina.
    Award claimFromPanel(int prizeIndex, const QStringList &numbers);
    // A card of tonight checked by its code, as the card check evaluated it.
    Award claimByCard(const CardCode &code, const CardResult &result);
    // A player calls the prize in play from a phone for a card of tonight, by its code: the card is
    // put to the ladder as the card check puts it. A call that would win waits, as the watch's
    // winners do, for the caller to confirm it (Waiting), unless winners go to the room at once; a
    // call that wins nothing is refused with the ladder's reason. A card that does not play this
    // game gets nothing.
    Award claimFromPhone(const CardCode &code);
    // The cards passed over for the prize in play: a phone stops offering their call.
    QList<CardCode> passedOverNow() const;
    // Cards were declared void before this game's first number: the watch, and with it the pot,
    // holds only the cards still in play.
    void cardsVoided();
    // A line of the evening's log that no rule writes (the evening interrupted and resumed).
    void note(const QString &text);
    // The caller's answer to the sighting on show.
    void confirm();
    void ignore();
    // Before a stopped draw goes on: with a winner waiting, the caller is asked to confirm it, pass
    // it over or stay stopped. True when the draw may go on: no winner waits any more.
    bool answerBeforeResume();

    // The evening's prize plan: what the prizes of a game are worth, and the tombolino.
    void setPlan(const PrizePlan &plan);
    const PrizePlan &plan() const { return m_plan; }
    // This game's pot, from the cards that play it, and what a prize is worth; each winner's part
    // of a prize, in the order they were confirmed.
    Payout payout() const;
    qint64 prizeValue(Prize prize) const;
    QList<qint64> amounts(Prize prize) const;

    // Watched winners go to the room at once, without waiting for the caller. Off at start.
    void setAnnounceAtOnce(bool on);
    bool announceAtOnce() const { return m_announceAtOnce; }

    // "Si gioca per: TERNO", or that every prize is won.
    QString playingForText() const;
    // One line per prize won: the prize, the draw, the winners and how each was confirmed.
    QStringList winLines() const;
    // The same for the audience screen: what is played for, a winner being checked, the prizes won;
    // no card's code broken across two lines.
    QStringList audienceLines() const;
    // The sighting for the caller, "TERNO alla 23ª estrazione: cartella 7KQ3M-4 Y"; empty if none.
    // With `lines`, the cards go on a line of their own and no code is broken across lines.
    QString sightingText(bool lines = false) const;
    // What the ladder said of a claim, lower case and without a full stop: "vince il TERNO alla 3ª
    // estrazione", "la cartella 4X8ZG-6 T aveva il TERNO alla 22ª, prima di questa (24ª)". `card`:
    // the claimant is a card rather than a claim's numbers.
    QString sentence(const Award &award, bool card) const;

signals:
    // The ladder, the sighting or the log changed.
    void changed();
    // A line joined the evening's log.
    void logged(const PrizeDesk::Event &line);
    // A verdict gave prizes or passed cards over (or a number taken back annulled them): the
    // prizes and passes of game `game` are now `wins` and `passes`. Before any banner of theirs.
    void prizesChanged(int game, const QList<PrizeWin> &wins, const QList<PrizeDesk::Pass> &passes);
    // The prize plan, winners at once or the game being played changed.
    void optionsChanged();
    // A win the room should hear of, confirmed by a card's code or from the watch: "TERNO! ...".
    void prizeWon(const QString &banner);

private:
    struct Cards;
    // The cards printed since join the watch while no number of the game is out, or as its first
    // one comes (`firstNumber`).
    void syncCards(bool firstNumber = false);
    void numberDrawn(int number, int ordinal);
    void look(bool afterNumber);
    std::optional<Sighting> findSighting() const;
    bool passedOver(Prize prize, const CardCode &code) const;
    // The cards that play and were not passed over for `prize` and hold it from `draw`.
    QList<CardCode> holdersAt(Prize prize, int draw) const;
    Award awardCard(const CardCode &code, Prize best, const PrizeMoments &at, Confirmation how);
    void confirmAs(Confirmation how);
    void log(int draw, const QString &text, bool refused = false);
    // Tells of the prizes and passes when they are no longer `wins` and `passes`, as they were
    // before a verdict.
    void settle(const QList<PrizeWin> &wins, const QList<Pass> &passes);
    // Whether the card `w` plays for `prize` now (not passed over; for the tombolino, not a winner of
    // the tombola).
    bool playsFor(Prize prize, const WinnerWatch::Watched &w) const;
    // ": 36,00 €" or ": 18,00 € a testa" after a banner, when the plan is in use.
    QString amountEach(Prize prize) const;

    Game &m_game;
    CardsInPlay &m_inPlay;
    PrizeLadder m_ladder;
    WinnerWatch m_watch;
    std::optional<Sighting> m_sighting;
    // Cards the caller passed over, each for the prize it was shown for at its draw.
    QList<Pass> m_passed;
    // Cards called from a phone while they waited for the caller: confirmed as phone calls.
    QList<CardCode> m_phoneCalls;
    QList<Event> m_events;
    int m_gameNumber = 1;
    bool m_announceAtOnce = false;
    PrizePlan m_plan;
};
