#pragma once
// The evening's record: what happens between the evening's start and the caller closing it, kept
// as it happens. It hands the evening an event for each thing the game, the print runs and the
// prize desk say happened; the evening writes it to the store before the program acts on it: a
// number before it is shown and spoken, a run's cards before its success is reported, a prize
// before its banner. Whoever reads the evening (the window, the audience screen, the verbale, the
// phones) reads it here.

#include "evening/evening.h"
#include "evening/evening_store.h"

#include <QObject>
#include <optional>

class Game;
class PrintRun;
class PrizeDesk;
struct PrintedRun;

class EveningRecord : public QObject
{
    Q_OBJECT

public:
    EveningRecord(EveningStore &store, Game &game, PrintRun &printRun, PrizeDesk &desk,
                  QObject *parent = nullptr);

    // The evening left open by the last run of the program, when there is something in it to
    // resume; an empty one is simply carried on.
    std::optional<StoredEvening> unfinished(QString *why = nullptr) const;
    // Puts `evening` back: its cards in play and numbered on, its game's numbers on the board with
    // the draw stopped, its prizes, passes and log, its options; then records on into it.
    void resume(const StoredEvening &evening);
    // A new evening from now (an unfinished one stays in the store, for its verbale).
    void begin();
    // The caller closes the evening: kept as closed, and a new one begins: no card in play, the
    // numbering and the games from 1, a new game ready.
    void close();

    // The evening as recorded so far.
    const StoredEvening &evening() const { return m_evening.state(); }
    // Its events, in order, with their sequence numbers.
    const Evening &events() const { return m_evening; }
    EveningStore &store() { return m_store; }
    // Whether the evening reaches the disk; the window shows a mark while it does not.
    bool isKept() const { return m_store.isKept(); }
    QString notKeptReason() const { return m_store.notKeptReason(); }

    // The caller's choice of dealer, kept for the evening.
    void setFullSeries(bool on);
    // How the caller has set the evening up, kept with it (the winner waiting is the record's own).
    void setSetup(const EveningSetup &setup);

    // The committee's facts (evening_record_facts.cpp). Cards of tonight declared void from the
    // game under way, before its first number: `what` as the caller wrote it ("da 801 a 900", codes,
    // runs); false with `why` when it names nothing, or a number is out.
    bool voidCards(const QString &what, QString *why = nullptr);
    // The `index`-th win of game `game` handed over to `to`, now.
    bool deliver(int game, int index, const QString &to);

    // The line of the question that offers to resume `evening`.
    static QString resumeQuestion(const StoredEvening &evening);

signals:
    // Something new was recorded.
    void changed();
    // An evening begins, new or resumed (`resumed`).
    void started(bool resumed);
    // The evening stopped reaching the disk, or reaches it again after a new start.
    void keptChanged(bool kept);

private:
    void numberChosen(int number, int ordinal, bool byHand);
    void numberTakenBack(int number, int ordinal);
    void addNumber(EveningEvent::Kind kind, int number, int ordinal, bool byHand);
    // A print run kept as dealt, before anything of it leaves; told again when it did not print whole.
    void runDealt(const PrintedRun &run);
    void runPrinted(const PrintedRun &run);
    void runEnded(const PrintedRun &run);
    void prizesChanged(int game, const QList<PrizeWin> &wins, const QList<PrizeDesk::Pass> &passes);
    void deskChanged();
    // The sealed draw: a game's secret kept as it is fixed, and revealed once its game is over
    // (every game but the one under way; all of them when `all`).
    void sealed(const QByteArray &secret);
    void reveal(bool all);
    // An evening left open and not resumed is closed: the secrets it had not revealed are.
    void revealLeftOpen(const StoredEvening &old);
    // The options as the game and the desk have them now, with `setup` and the dealer.
    void optionsNow(const EveningSetup &setup, bool fullSeries);
    void planNow();
    void add(EveningEvent event);
    void written();

    EveningStore &m_store;
    Game &m_game;
    PrintRun &m_printRun;
    PrizeDesk &m_desk;
    Evening m_evening;
    bool m_wasKept = true;
    // The cards of the run being printed, kept as dealt (-1: none).
    int m_dealt = -1;
    // Off while closing: the resets that start a new evening are not the closed one's events.
    bool m_following = true;
};
