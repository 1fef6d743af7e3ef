#include "evening/evening_record.h"

#include "cards/print_run.h"
#include "claims/prize_desk.h"
#include "game/game.h"

#include <QLocale>
#include <utility>

EveningRecord::EveningRecord(EveningStore &store, Game &game, PrintRun &printRun, PrizeDesk &desk,
                             QObject *parent)
    : QObject(parent), m_store(store), m_game(game), m_printRun(printRun), m_desk(desk), m_evening(store)
{
    m_wasKept = m_store.isKept();
    connect(&game, &Game::numberChosen, this, &EveningRecord::numberChosen);
    connect(&game, &Game::numberTakenBack, this, &EveningRecord::numberTakenBack);
    connect(&game, &Game::basketModeChanged, this,
            [this] { optionsNow(evening().setup, evening().fullSeries); });
    // After the desk has moved on to the next game: the one before is over.
    // A game over: the main file holds it all, and a copy of it is taken (not for the resets of a
    // resume or of a new evening).
    connect(&game, &Game::newGameStarted, this, [this] {
        reveal(false);
        if (m_following) m_evening.secure();
    });
    connect(&game, &Game::gameEnded, this, [this] {
        reveal(true);
        if (m_following) m_evening.secure();
    });
    connect(&game, &Game::sealed, this, &EveningRecord::sealed);
    connect(&printRun, &PrintRun::runDealt, this, &EveningRecord::runDealt);
    connect(&printRun, &PrintRun::runPrinted, this, &EveningRecord::runPrinted);
    connect(&printRun, &PrintRun::runFailed, this, &EveningRecord::runEnded);
    connect(&desk, &PrizeDesk::logged, this, [this](const PrizeDesk::Event &line) {
        EveningEvent e;
        e.kind = EveningEvent::Kind::Logged;
        e.line = line;
        add(e);
    });
    connect(&desk, &PrizeDesk::prizesChanged, this, &EveningRecord::prizesChanged);
    connect(&desk, &PrizeDesk::optionsChanged, this, [this] {
        if (m_desk.plan() == evening().plan)
            optionsNow(evening().setup, evening().fullSeries);
        else
            planNow();
    });
    connect(&desk, &PrizeDesk::changed, this, &EveningRecord::deskChanged);
    connect(&m_evening, &Evening::eventAdded, this, &EveningRecord::written);
    connect(&m_evening, &Evening::caughtUp, this, &EveningRecord::written);
}

void EveningRecord::add(EveningEvent event)
{
    if (m_following) m_evening.add(std::move(event));
}

void EveningRecord::written()
{
    const bool kept = m_store.isKept();
    if (kept != m_wasKept) {
        m_wasKept = kept;
        emit keptChanged(kept);
    }
    emit changed();
}

std::optional<StoredEvening> EveningRecord::unfinished(QString *why) const
{
    const auto id = m_store.lastOpenEvening();
    if (!id) return std::nullopt;
    auto evening = m_store.load(*id, why);
    if (!evening || evening->isEmpty()) return std::nullopt;
    // A stop the record never caught up from: what followed it is not in the file. One noted
    // before events the file does have was caught up after all (only its note was not taken back).
    const QDateTime stopped = m_store.earlierStop(evening->id);
    if (stopped.isValid() && evening->lastEventAt() <= stopped) evening->recordStopped = stopped;
    return evening;
}

void EveningRecord::begin()
{
    const QDateTime now = QDateTime::currentDateTime();
    qint64 reuse = 0;
    if (const auto open = m_store.lastOpenEvening()) {
        QString why;
        const auto old = m_store.load(*open, &why);
        if (old && old->isEmpty()) {
            reuse = *open; // nothing happened in it: it is this evening
        } else if (old) {
            // Kept for its verbale, closed at its last event, its game's secret revealed.
            revealLeftOpen(*old);
            m_store.endEvening(*open, old->lastEventAt());
        }
    }
    m_store.forgetEarlierStop();
    m_evening.start(now, reuse);
    EveningEvent plan;
    plan.kind = EveningEvent::Kind::Plan;
    plan.at = now;
    plan.options.plan = m_desk.plan();
    m_evening.add(plan);
    optionsNow({}, false);
    written();
    emit started(false);
}

void EveningRecord::resume(const StoredEvening &evening)
{
    m_evening.replay(evening);
    const int current = evening.game;
    const StoredGame *game = evening.findGame(current);
    // The cards that play this game join first, while the board is empty; those printed after its
    // first number wait for the next game, as they did.
    QList<CardInPlay> waiting;
    for (const StoredRun &run : evening.runs)
        for (const CardInPlay &card : run.cards) {
            if (evening.isVoid(card.number))
                m_printRun.cardsInPlay().setVoid(card);
            else if (run.game < current || (run.game == current && run.drawn == 0))
                m_printRun.cardsInPlay().add(card);
            else
                waiting << card;
        }
    bool anyNumber = false;
    for (const StoredGame &g : evening.games)
        anyNumber = anyNumber || !g.numbers.isEmpty();
    m_following = false;
    // The game under way goes on with its secret; one revealed already draws no more by it.
    const StoredSeal *seal = evening.findSeal(current);
    m_game.resume(game ? game->drawn() : QList<int>{}, evening.basket, anyNumber,
                  seal && !seal->isRevealed() ? seal->secret : QByteArray());
    for (const CardInPlay &card : std::as_const(waiting))
        m_printRun.cardsInPlay().add(card);
    PrizeDesk::State state;
    state.gameNumber = current;
    state.announceAtOnce = evening.announceAtOnce;
    if (game) {
        state.wins = game->wins;
        state.passes = game->passes;
    }
    state.events = evening.log;
    state.plan = evening.plan;
    m_desk.restore(state);
    m_following = true;
    // The verbale says the evening was interrupted, when, and from when it went on.
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    const QString stopped =
        evening.recordStopped.isValid()
            ? QStringLiteral("; la registrazione si era fermata alle %1")
                  .arg(italian.toString(evening.recordStopped.time(), QStringLiteral("HH:mm")))
            : QString();
    m_desk.note(
        QStringLiteral("Serata ripresa alle %1 dopo un'interruzione (ultimo evento registrato alle %2%3)")
            .arg(italian.toString(QTime::currentTime(), QStringLiteral("HH:mm")),
                 italian.toString(evening.lastEventAt().time(), QStringLiteral("HH:mm")), stopped));
    // The log has it now.
    m_store.forgetEarlierStop();
    emit changed();
    emit started(true);
}

void EveningRecord::close()
{
    reveal(true);
    EveningEvent closed;
    closed.kind = EveningEvent::Kind::Closed;
    m_evening.add(closed);
    m_evening.secure();
    // What the desk, the cards and the game do to start afresh belongs to no evening: the closed one
    // keeps its prizes as they were given.
    m_following = false;
    m_desk.newEvening();
    m_printRun.cardsInPlay().clear();
    m_game.newGame();
    m_following = true;
    begin();
}

void EveningRecord::setSetup(const EveningSetup &setup)
{
    EveningSetup kept = setup;
    kept.waiting = evening().setup.waiting;
    if (kept != evening().setup) optionsNow(kept, evening().fullSeries);
}

void EveningRecord::setFullSeries(bool on)
{
    if (evening().fullSeries != on) optionsNow(evening().setup, on);
}

void EveningRecord::optionsNow(const EveningSetup &setup, bool fullSeries)
{
    EveningEvent e;
    e.kind = EveningEvent::Kind::Options;
    e.options.game = m_desk.gameNumber();
    e.options.basket = m_game.isBasketMode();
    e.options.announceAtOnce = m_desk.announceAtOnce();
    e.options.fullSeries = fullSeries;
    e.options.setup = setup;
    add(e);
}

void EveningRecord::planNow()
{
    EveningEvent e;
    e.kind = EveningEvent::Kind::Plan;
    e.options.plan = m_desk.plan();
    add(e);
}

void EveningRecord::numberChosen(int number, int ordinal, bool byHand)
{
    addNumber(EveningEvent::Kind::NumberDrawn, number, ordinal, byHand);
}

void EveningRecord::numberTakenBack(int number, int ordinal)
{
    // How it came is the evening's: the number drawn at that place.
    addNumber(EveningEvent::Kind::NumberTakenBack, number, ordinal, true);
}

void EveningRecord::addNumber(EveningEvent::Kind kind, int number, int ordinal, bool byHand)
{
    EveningEvent e;
    e.kind = kind;
    e.at = QDateTime::currentDateTime();
    e.game = m_desk.gameNumber();
    e.number = StoredNumber{ordinal, number, e.at, byHand};
    add(e);
}

void EveningRecord::runDealt(const PrintedRun &dealt)
{
    EveningEvent e;
    e.kind = EveningEvent::Kind::CardsPut;
    StoredRun &run = e.run;
    run.at = dealt.at;
    run.destination = dealt.destination;
    run.toPdf = dealt.toPdf;
    run.dealer = dealt.dealer;
    run.game = m_desk.gameNumber();
    run.drawn = int(m_game.drawnNumbers().size());
    run.cards = dealt.cards;
    m_dealt = int(dealt.cards.size());
    add(e);
}

void EveningRecord::runEnded(const PrintedRun &printed)
{
    // Kept whole when dealt: only a run that did not print whole is told again.
    const int dealt = std::exchange(m_dealt, -1);
    if (dealt < 0 || printed.cards.size() >= dealt) return;
    EveningEvent e;
    e.kind = EveningEvent::Kind::RunCut;
    e.run.cards = printed.cards;
    e.run.stopped = true;
    add(e);
}

void EveningRecord::runPrinted(const PrintedRun &printed)
{
    if (!isPhoneDestination(printed.destination)) {
        runEnded(printed);
        return;
    }
    EveningEvent e;
    e.kind = EveningEvent::Kind::PhoneCard;
    StoredRun &run = e.run;
    run.at = printed.at;
    run.destination = printed.destination;
    run.toPdf = printed.toPdf;
    run.dealer = printed.dealer;
    run.game = m_desk.gameNumber();
    run.drawn = int(m_game.drawnNumbers().size());
    run.stopped = printed.stopped;
    run.cards = printed.cards;
    add(e);
}

void EveningRecord::prizesChanged(int game, const QList<PrizeWin> &wins, const QList<PrizeDesk::Pass> &passes)
{
    EveningEvent e;
    e.kind = EveningEvent::Kind::Prizes;
    e.game = game;
    e.wins = wins;
    e.passes = passes;
    add(e);
}

void EveningRecord::deskChanged()
{
    // The winner waiting, for the question that offers to resume the evening.
    const QString waiting = m_desk.sightingText();
    if (!m_following || waiting == evening().setup.waiting) return;
    EveningSetup setup = evening().setup;
    setup.waiting = waiting;
    optionsNow(setup, evening().fullSeries);
}

QString EveningRecord::resumeQuestion(const StoredEvening &evening)
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    const StoredGame *game = evening.findGame(evening.game);
    const int out = game ? int(game->numbers.size()) : 0;
    QStringList prizes;
    if (game)
        for (const Prize p : ladderOrder)
            for (const PrizeWin &w : game->wins)
                if (w.prize == p && !prizes.contains(prizeWord(p))) prizes << prizeWord(p);
    // The cards that play this game: those printed before its first number.
    int cards = 0, later = 0;
    for (const StoredRun &r : evening.runs)
        (r.game < evening.game || (r.game == evening.game && r.drawn == 0) ? cards : later) +=
            int(r.cards.size());
    QString waiting;
    if (!evening.setup.waiting.isEmpty())
        waiting = QStringLiteral("\nVincita da verificare: %1.").arg(evening.setup.waiting);
    const QString laterText = later == 0 ? QString()
                              : later == 1
                                  ? QStringLiteral(" (un'altra gioca dalla prossima tombola)")
                                  : QStringLiteral(" (altre %1 giocano dalla prossima tombola)").arg(later);
    if (evening.recordStopped.isValid())
        waiting += QStringLiteral("\n\nLa registrazione si era fermata alle %1: quanto è successo dopo non è "
                                  "stato registrato.")
                       .arg(italian.toString(evening.recordStopped.time(), QStringLiteral("HH:mm")));
    return QStringLiteral("La serata iniziata %1 alle %2 non è stata chiusa.\n\n"
                          "Tombola n. %3: %4, %5 in gioco%7; premi vinti: %6.%8\n\nRiprendere la serata?")
        .arg(italian.toString(evening.started.date(), QStringLiteral("dddd d MMMM")),
             italian.toString(evening.started.time(), QStringLiteral("HH:mm")))
        .arg(evening.game)
        .arg(out == 1 ? QStringLiteral("1 numero estratto") : QStringLiteral("%1 numeri estratti").arg(out),
             cards == 0   ? QStringLiteral("nessuna cartella")
             : cards == 1 ? QStringLiteral("1 cartella")
                          : QStringLiteral("%1 cartelle").arg(cards),
             prizes.isEmpty() ? QStringLiteral("nessuno") : prizes.join(QStringLiteral(", ")), laterText,
             waiting);
}
