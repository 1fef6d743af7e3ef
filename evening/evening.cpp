#include "evening/evening.h"

#include "evening/evening_log.h"
#include "evening/evening_store.h"
#include "evening/stored_rows.h"

#include "cards/print_run.h"

#include <algorithm>

namespace
{

StoredGame &gameOf(StoredEvening &evening, int number, const QDateTime &at)
{
    for (StoredGame &g : evening.games)
        if (g.number == number) return g;
    StoredGame g;
    g.number = number;
    g.started = at;
    evening.games << g;
    return evening.games.last();
}

void setOptions(StoredEvening &evening, const StoredEvening &options)
{
    evening.game = options.game;
    evening.basket = options.basket;
    evening.announceAtOnce = options.announceAtOnce;
    evening.fullSeries = options.fullSeries;
    evening.setup = options.setup;
}

const char *kindName(EveningEvent::Kind kind)
{
    switch (kind) {
    case EveningEvent::Kind::CardsPut:
        return "cards put in play";
    case EveningEvent::Kind::RunCut:
        return "a print run cut short";
    case EveningEvent::Kind::PhoneCard:
        return "a card to a phone";
    case EveningEvent::Kind::NumberDrawn:
        return "a number drawn";
    case EveningEvent::Kind::NumberTakenBack:
        return "a number taken back";
    case EveningEvent::Kind::Logged:
        return "a line of the log";
    case EveningEvent::Kind::Prizes:
        return "the prizes";
    case EveningEvent::Kind::Options:
        return "the options";
    case EveningEvent::Kind::Plan:
        return "the prize plan";
    case EveningEvent::Kind::Closed:
        return "the evening closed";
    case EveningEvent::Kind::Sealed:
        return "a sealed draw";
    case EveningEvent::Kind::Voided:
        return "cards declared void";
    case EveningEvent::Kind::Delivered:
        return "a prize handed over";
    }
    return "an event";
}

} // namespace

void applyEvent(StoredEvening &evening, const EveningEvent &e)
{
    using Kind = EveningEvent::Kind;
    switch (e.kind) {
    case Kind::CardsPut:
    case Kind::PhoneCard:
        evening.runs << e.run;
        break;
    case Kind::RunCut:
        if (!evening.runs.isEmpty()) {
            StoredRun &run = evening.runs.last();
            run.cards = run.cards.mid(0, e.run.cards.size());
            run.stopped = true;
        }
        break;
    case Kind::NumberDrawn: {
        StoredGame &g = gameOf(evening, e.game, e.at);
        while (g.numbers.size() >= e.number.ordinal)
            g.numbers.removeLast();
        g.numbers << e.number;
        break;
    }
    case Kind::NumberTakenBack: {
        StoredGame &g = gameOf(evening, e.game, e.at);
        StoredNumber n = e.number;
        if (!g.numbers.isEmpty() && g.numbers.last().ordinal == n.ordinal)
            n.byHand = g.numbers.takeLast().byHand;
        g.takenBack << n;
        break;
    }
    case Kind::Logged:
        evening.log << e.line;
        break;
    case Kind::Prizes: {
        StoredGame &g = gameOf(evening, e.game, e.at);
        g.wins = e.wins;
        g.passes = e.passes;
        break;
    }
    case Kind::Options:
        setOptions(evening, e.options);
        break;
    case Kind::Plan:
        evening.plan = e.options.plan;
        break;
    case Kind::Closed:
        evening.ended = e.at;
        break;
    case Kind::Sealed: {
        const auto same = std::find_if(evening.seals.begin(), evening.seals.end(),
                                       [&](const StoredSeal &s) { return s.game == e.seal.game; });
        if (same != evening.seals.end())
            *same = e.seal;
        else
            evening.seals << e.seal;
        break;
    }
    case Kind::Voided:
        evening.voided << e.voided;
        break;
    case Kind::Delivered: {
        const auto same =
            std::find_if(evening.deliveries.begin(), evening.deliveries.end(), [&](const StoredDelivery &d) {
                return d.game == e.delivery.game && d.index == e.delivery.index;
            });
        if (same != evening.deliveries.end())
            *same = e.delivery;
        else
            evening.deliveries << e.delivery;
        break;
    }
    }
}

QList<EveningEvent> eventsOf(const StoredEvening &evening)
{
    using Kind = EveningEvent::Kind;
    QList<EveningEvent> out;
    for (const StoredRun &run : evening.runs) {
        EveningEvent e;
        e.kind = isPhoneDestination(run.destination) ? Kind::PhoneCard : Kind::CardsPut;
        e.at = run.at;
        e.run = run;
        out << e;
    }
    for (const StoredGame &g : evening.games) {
        QList<EveningEvent> ofGame;
        for (const StoredNumber &n : g.takenBack)
            ofGame << EveningEvent{0,  n.at, Kind::NumberTakenBack, g.number, n, {}, {}, {}, {}, {}, {},
                                   {}, {}};
        for (const StoredNumber &n : g.numbers)
            ofGame << EveningEvent{0, n.at, Kind::NumberDrawn, g.number, n, {}, {}, {}, {}, {}, {}, {}, {}};
        // A take-back before a number drawn at the same moment: the number is the one that stayed.
        std::stable_sort(ofGame.begin(), ofGame.end(),
                         [](const EveningEvent &a, const EveningEvent &b) { return a.at < b.at; });
        if (!g.wins.isEmpty() || !g.passes.isEmpty() || ofGame.isEmpty()) {
            EveningEvent prizes{0, {}, Kind::Prizes, g.number, {}, {}, {}, g.wins, g.passes, {}, {}, {}, {}};
            prizes.at = ofGame.isEmpty() ? g.started : ofGame.last().at;
            ofGame << prizes;
        }
        // The game's first event opens it, at its start.
        ofGame.first().at = g.started;
        out << ofGame;
    }
    for (const PrizeDesk::Event &line : evening.log) {
        EveningEvent e;
        e.kind = Kind::Logged;
        e.at = line.at;
        e.line = line;
        out << e;
    }
    for (const StoredSeal &seal : evening.seals) {
        EveningEvent e;
        e.kind = Kind::Sealed;
        e.at = seal.at;
        e.seal = seal;
        out << e;
    }
    for (const StoredVoid &voided : evening.voided) {
        EveningEvent e;
        e.kind = Kind::Voided;
        e.at = voided.at;
        e.voided = voided;
        out << e;
    }
    for (const StoredDelivery &delivery : evening.deliveries) {
        EveningEvent e;
        e.kind = Kind::Delivered;
        e.at = delivery.at;
        e.delivery = delivery;
        out << e;
    }
    std::stable_sort(out.begin(), out.end(), [](const EveningEvent &a, const EveningEvent &b) {
        // A game opened by its prizes (a pass before any number) stays with the game's others.
        return a.at < b.at;
    });
    const QDateTime last = evening.lastEventAt();
    EveningEvent plan{0, last, Kind::Plan, 0, {}, {}, {}, {}, {}, evening, {}, {}, {}};
    EveningEvent options{0, last, Kind::Options, 0, {}, {}, {}, {}, {}, evening, {}, {}, {}};
    out << plan << options;
    if (evening.ended.isValid())
        out << EveningEvent{0, evening.ended, Kind::Closed, 0, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    return out;
}

QString eveningDifference(const StoredEvening &a, const StoredEvening &b)
{
    auto cards = [](const StoredRun &r) {
        QStringList out;
        for (const CardInPlay &c : r.cards)
            out << QStringLiteral("%1=%2:%3")
                       .arg(c.number)
                       .arg(rows::codeText(c.code), rows::cellsText(c.card));
        return out;
    };
    if (a.id != b.id) return QStringLiteral("id %1/%2").arg(a.id).arg(b.id);
    if (a.started != b.started) return QStringLiteral("started");
    if (a.ended != b.ended) return QStringLiteral("ended");
    if (a.runs.size() != b.runs.size())
        return QStringLiteral("%1/%2 runs").arg(a.runs.size()).arg(b.runs.size());
    for (qsizetype i = 0; i < a.runs.size(); ++i) {
        const StoredRun &x = a.runs[i], &y = b.runs[i];
        if (x.at != y.at || x.destination != y.destination || x.toPdf != y.toPdf || x.dealer != y.dealer ||
            x.game != y.game || x.drawn != y.drawn || x.stopped != y.stopped || cards(x) != cards(y))
            return QStringLiteral("run %1").arg(i + 1);
    }
    if (a.games.size() != b.games.size())
        return QStringLiteral("%1/%2 games").arg(a.games.size()).arg(b.games.size());
    for (qsizetype i = 0; i < a.games.size(); ++i) {
        const StoredGame &x = a.games[i], &y = b.games[i];
        const QString which = QStringLiteral("game %1: ").arg(x.number);
        if (x.number != y.number || x.started != y.started) return which + QStringLiteral("start");
        if (x.numbers != y.numbers) return which + QStringLiteral("numbers");
        if (x.takenBack != y.takenBack) return which + QStringLiteral("taken back");
        if (x.wins != y.wins) return which + QStringLiteral("prizes");
        if (x.passes != y.passes) return which + QStringLiteral("passes");
    }
    if (a.log.size() != b.log.size())
        return QStringLiteral("%1/%2 lines of log").arg(a.log.size()).arg(b.log.size());
    for (qsizetype i = 0; i < a.log.size(); ++i) {
        const PrizeDesk::Event &x = a.log[i], &y = b.log[i];
        if (x.game != y.game || x.draw != y.draw || x.text != y.text || x.at != y.at ||
            x.refused != y.refused)
            return QStringLiteral("log line %1: %2 / %3").arg(i + 1).arg(x.text, y.text);
    }
    if (a.game != b.game) return QStringLiteral("game %1/%2").arg(a.game).arg(b.game);
    if (a.basket != b.basket || a.announceAtOnce != b.announceAtOnce || a.fullSeries != b.fullSeries)
        return QStringLiteral("options");
    if (!(a.plan == b.plan)) return QStringLiteral("plan");
    if (!(a.setup == b.setup)) return QStringLiteral("set-up");
    if (a.seals != b.seals) return QStringLiteral("seals");
    if (a.voided != b.voided) return QStringLiteral("cards declared void");
    if (a.deliveries != b.deliveries) return QStringLiteral("prizes handed over");
    return {};
}

Evening::Evening(EveningStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    m_retry.setInterval(kRetrySeconds * 1000);
    connect(&m_retry, &QTimer::timeout, this, &Evening::catchUp);
    m_idle.setInterval(kIdleSeconds * 1000);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &Evening::settle);
}

bool Evening::catchUp()
{
    if (!m_behind) return true;
    QString why;
    if (!m_store.rewrite(m_state, &why)) {
        qCDebug(lcEvening).noquote() << "the evening is still in memory only:" << why;
        // A new file in place of one changed under the program, when this write met the change.
        if (m_store.wantsWholeEvening() && m_store.rewrite(m_state, &why)) return caughtUpNow();
        m_store.noteStopped(m_state.id, m_stoppedAt);
        m_retry.start();
        return false;
    }
    return caughtUpNow();
}

bool Evening::caughtUpNow()
{
    qCInfo(lcEvening) << "the evening is written whole again, up to event" << lastSeq();
    m_behind = false;
    m_stoppedAt = {};
    m_retry.stop();
    m_store.noteCaughtUp();
    m_idle.start();
    emit caughtUp();
    return true;
}

void Evening::fallBehind(const QDateTime &at)
{
    if (!m_behind) m_stoppedAt = at;
    m_behind = true;
    m_retry.start();
}

void Evening::settle()
{
    if (m_behind) return;
    if (!m_store.checkpoint() && m_store.wantsWholeEvening()) {
        fallBehind(QDateTime::currentDateTime());
        if (catchUp()) m_store.checkpoint();
    }
}

void Evening::secure()
{
    m_idle.stop();
    settle();
    if (!m_behind && m_store.isKept()) m_store.backup();
}

void Evening::start(const QDateTime &at, qint64 reuse)
{
    m_events.clear();
    m_state = StoredEvening{};
    m_state.started = at;
    m_behind = false;
    m_stoppedAt = {};
    m_retry.stop();
    if (reuse != 0 && m_store.restartEvening(reuse, at)) m_state.id = reuse;
    if (m_state.id == 0) m_state.id = m_store.beginEvening(at);
    if (m_state.id == 0) {
        // Written whole with its first event, or by the retry, once the store takes writes.
        qCDebug(lcEvening).noquote() << "a new evening is in memory only:" << m_store.notKeptReason();
        fallBehind(at);
    }
    emit reset();
}

void Evening::replay(const StoredEvening &evening)
{
    m_events.clear();
    m_state = StoredEvening{};
    m_state.id = evening.id;
    m_state.started = evening.started;
    m_behind = false;
    m_stoppedAt = {};
    m_retry.stop();
    for (const EveningEvent &e : eventsOf(evening))
        take(e, false);
    if (const QString off = eveningDifference(m_state, evening); !off.isEmpty())
        qCWarning(lcEvening) << "the evening replayed differs from the one stored:" << off;
    emit reset();
}

void Evening::take(EveningEvent event, bool emitIt)
{
    event.seq = lastSeq() + 1;
    applyEvent(m_state, event);
    m_events << event;
    if (emitIt) emit eventAdded(m_events.last());
}

bool Evening::add(EveningEvent event, QString *why)
{
    if (!event.at.isValid()) event.at = QDateTime::currentDateTime();
    if (m_behind) {
        // The store missed something: the evening goes to it whole, this event with it.
        take(event, false);
        const bool ok = catchUp();
        if (!ok && why) *why = m_store.notKeptReason();
        emit eventAdded(m_events.last());
        return ok;
    }
    StoredEvening after = m_state;
    applyEvent(after, event);
    const bool ok = write(event, after, why);
    if (!ok && m_store.wantsWholeEvening()) {
        // The file was changed under the program and a new one stands in its place: the evening
        // goes into it whole, this event with it, and the record stays kept.
        fallBehind(event.at);
        take(event, false);
        const bool caught = catchUp();
        if (!caught && why) *why = m_store.notKeptReason();
        emit eventAdded(m_events.last());
        return caught;
    }
    if (!ok) {
        fallBehind(event.at);
        m_store.noteStopped(m_state.id, m_stoppedAt);
    }
    take(event, true);
    if (ok) m_idle.start();
    return ok;
}

QList<EveningEvent> Evening::since(qint64 seq) const
{
    QList<EveningEvent> out;
    for (const EveningEvent &e : m_events)
        if (e.seq > seq) out << e;
    return out;
}

bool Evening::write(EveningEvent &e, const StoredEvening &after, QString *why)
{
    using Kind = EveningEvent::Kind;
    const qint64 id = m_state.id;
    const bool wasKept = m_store.isKept();
    bool ok = true;
    // A game has its row from its first event on.
    const bool ofGame =
        e.kind == Kind::NumberDrawn || e.kind == Kind::NumberTakenBack || e.kind == Kind::Prizes;
    if (ofGame && !m_state.findGame(e.game)) ok = m_store.addGame(id, e.game, e.at);
    switch (e.kind) {
    case Kind::CardsPut:
    case Kind::PhoneCard:
        e.run.id = m_store.addRun(id, e.run);
        ok = ok && e.run.id != 0;
        break;
    case Kind::RunCut: {
        const StoredRun *run = m_state.runs.isEmpty() ? nullptr : &m_state.runs.last();
        const qsizetype kept = e.run.cards.size();
        ok = m_store.cutRun(id, run && kept < run->cards.size() ? run->cards[kept].number : 0) && ok;
        break;
    }
    case Kind::NumberDrawn:
        ok = m_store.addNumber(id, e.game, e.number) && ok;
        break;
    case Kind::NumberTakenBack: {
        const StoredGame *g = after.findGame(e.game);
        ok = m_store.takeBack(id, e.game, g->takenBack.last()) && ok;
        break;
    }
    case Kind::Logged:
        ok = m_store.addLog(id, e.line) && ok;
        break;
    case Kind::Prizes:
        ok = m_store.setWins(id, e.game, e.wins, e.passes) && ok;
        break;
    case Kind::Options:
    case Kind::Plan:
        ok = m_store.setOptions(id, after) && ok;
        break;
    case Kind::Closed:
        ok = m_store.endEvening(id, e.at) && ok;
        break;
    case Kind::Sealed:
        ok = m_store.setSeal(id, e.seal) && ok;
        break;
    case Kind::Voided:
        ok = m_store.addVoid(id, e.voided) && ok;
        break;
    case Kind::Delivered:
        ok = m_store.setDelivery(id, e.delivery) && ok;
        break;
    }
    if (!ok && m_store.wantsWholeEvening()) {
        qCInfo(lcEvening).noquote() << kindName(e.kind) << "goes to the new file with the whole evening";
    } else if (!ok) {
        // Said once, when the store stops taking the evening; each event after it, for debugging.
        if (wasKept)
            qCWarning(lcEvening).noquote() << "could not write" << kindName(e.kind) << "(event"
                                           << lastSeq() + 1 << "):" << m_store.notKeptReason();
        else
            qCDebug(lcEvening).noquote() << kindName(e.kind) << "not written:" << m_store.notKeptReason();
        if (why) *why = m_store.notKeptReason();
    }
    return ok;
}
