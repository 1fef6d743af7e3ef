#include "evening/evening_record.h"

#include "cards/print_run.h"
#include "claims/prize_desk.h"
#include "game/game.h"

#include <QLocale>

EveningRecord::EveningRecord(EveningStore &store, Game &game, PrintRun &printRun, PrizeDesk &desk,
                             QObject *parent)
    : QObject(parent), m_store(store), m_game(game), m_printRun(printRun), m_desk(desk)
{
    m_wasKept = m_store.isKept();
    connect(&game, &Game::numberChosen, this, &EveningRecord::numberChosen);
    connect(&game, &Game::numberTakenBack, this, &EveningRecord::numberTakenBack);
    connect(&game, &Game::basketModeChanged, this, &EveningRecord::optionsChanged);
    connect(&game, &Game::newGameStarted, this, &EveningRecord::optionsChanged);
    // After the desk has moved on to the next game: the one before is over.
    connect(&game, &Game::newGameStarted, this, [this] { reveal(false); });
    connect(&game, &Game::gameEnded, this, [this] { reveal(true); });
    connect(&game, &Game::sealed, this, &EveningRecord::sealed);
    connect(&printRun, &PrintRun::runPrinted, this, &EveningRecord::runPrinted);
    connect(&desk, &PrizeDesk::changed, this, &EveningRecord::deskChanged);
}

void EveningRecord::written(bool ok)
{
    Q_UNUSED(ok);
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
    return evening;
}

void EveningRecord::begin()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_evening = StoredEvening{};
    m_evening.started = now;
    if (const auto open = m_store.lastOpenEvening()) {
        QString why;
        const auto old = m_store.load(*open, &why);
        if (old && old->isEmpty()) {
            // Nothing happened in it: it is this evening.
            m_evening.id = *open;
            m_store.restartEvening(*open, now);
        } else if (old) {
            // Kept for its verbale, closed at its last event, its game's secret revealed.
            revealLeftOpen(*old);
            m_store.endEvening(*open, old->lastEventAt());
        }
    }
    if (m_evening.id == 0) m_evening.id = m_store.beginEvening(now);
    m_evening.basket = m_game.isBasketMode();
    m_evening.announceAtOnce = m_desk.announceAtOnce();
    m_evening.game = m_desk.gameNumber();
    m_evening.plan = m_desk.plan();
    m_store.setOptions(m_evening.id, m_evening);
    written(true);
    emit started(false);
}

void EveningRecord::resume(const StoredEvening &evening)
{
    m_evening = evening;
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
    // The verbale says the evening was interrupted, when, and from when it went on.
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    m_desk.note(
        QStringLiteral("Serata ripresa alle %1 dopo un'interruzione (ultimo evento registrato alle %2)")
            .arg(italian.toString(QTime::currentTime(), QStringLiteral("HH:mm")),
                 italian.toString(evening.lastEventAt().time(), QStringLiteral("HH:mm"))));
    emit changed();
    emit started(true);
}

void EveningRecord::close()
{
    reveal(true);
    m_store.endEvening(m_evening.id, QDateTime::currentDateTime());
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
    kept.waiting = m_evening.setup.waiting;
    writeSetup(kept);
}

void EveningRecord::writeSetup(const EveningSetup &setup)
{
    if (!m_following || setup == m_evening.setup) return;
    m_evening.setup = setup;
    written(m_store.setOptions(m_evening.id, m_evening));
}

void EveningRecord::setFullSeries(bool on)
{
    if (m_evening.fullSeries == on) return;
    m_evening.fullSeries = on;
    written(m_store.setOptions(m_evening.id, m_evening));
}

StoredGame &EveningRecord::currentGame(bool create)
{
    const int number = m_desk.gameNumber();
    for (StoredGame &g : m_evening.games)
        if (g.number == number) return g;
    StoredGame g;
    g.number = number;
    g.started = QDateTime::currentDateTime();
    if (create) m_store.addGame(m_evening.id, number, g.started);
    m_evening.games << g;
    return m_evening.games.last();
}

void EveningRecord::numberChosen(int number, int ordinal, bool byHand)
{
    if (!m_following) return;
    StoredGame &g = currentGame(true);
    while (g.numbers.size() >= ordinal)
        g.numbers.removeLast();
    const StoredNumber n{ordinal, number, QDateTime::currentDateTime(), byHand};
    g.numbers << n;
    written(m_store.addNumber(m_evening.id, g.number, n));
}

void EveningRecord::numberTakenBack(int number, int ordinal)
{
    if (!m_following) return;
    StoredGame &g = currentGame(true);
    StoredNumber n{ordinal, number, QDateTime::currentDateTime(), true};
    if (!g.numbers.isEmpty() && g.numbers.last().ordinal == ordinal) n.byHand = g.numbers.takeLast().byHand;
    g.takenBack << n;
    written(m_store.takeBack(m_evening.id, g.number, n));
}

void EveningRecord::runPrinted(const PrintedRun &printed)
{
    if (!m_following) return;
    StoredRun run;
    run.at = printed.at;
    run.destination = printed.destination;
    run.toPdf = printed.toPdf;
    run.dealer = printed.dealer;
    run.game = m_desk.gameNumber();
    run.drawn = int(m_game.drawnNumbers().size());
    run.stopped = printed.stopped;
    run.cards = printed.cards;
    run.id = m_store.addRun(m_evening.id, run);
    m_evening.runs << run;
    written(run.id != 0);
}

void EveningRecord::deskChanged()
{
    if (!m_following) return;
    const QList<PrizeDesk::Event> &events = m_desk.events();
    bool ok = true;
    // The log only grows within an evening.
    for (qsizetype k = m_evening.log.size(); k < events.size(); ++k) {
        m_evening.log << events[k];
        ok = m_store.addLog(m_evening.id, events[k]) && ok;
    }
    const QList<PrizeWin> &wins = m_desk.ladder().wins();
    const QList<PrizeDesk::Pass> &passes = m_desk.passes();
    const StoredGame *known = m_evening.findGame(m_desk.gameNumber());
    if ((known && (known->wins != wins || known->passes != passes)) ||
        (!known && (!wins.isEmpty() || !passes.isEmpty()))) {
        StoredGame &g = currentGame(true);
        g.wins = wins;
        g.passes = passes;
        ok = m_store.setWins(m_evening.id, g.number, wins, passes) && ok;
    }
    optionsChanged();
    // The winner waiting, for the question that offers to resume the evening.
    EveningSetup setup = m_evening.setup;
    setup.waiting = m_desk.sightingText();
    writeSetup(setup);
    written(ok);
}

void EveningRecord::optionsChanged()
{
    if (!m_following) return;
    StoredEvening now = m_evening;
    now.game = m_desk.gameNumber();
    now.basket = m_game.isBasketMode();
    now.announceAtOnce = m_desk.announceAtOnce();
    now.plan = m_desk.plan();
    if (now.game == m_evening.game && now.basket == m_evening.basket &&
        now.announceAtOnce == m_evening.announceAtOnce && now.plan == m_evening.plan)
        return;
    m_evening.game = now.game;
    m_evening.basket = now.basket;
    m_evening.announceAtOnce = now.announceAtOnce;
    m_evening.plan = now.plan;
    written(m_store.setOptions(m_evening.id, m_evening));
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
