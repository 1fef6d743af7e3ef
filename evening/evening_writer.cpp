// The store's writes: each event's rows, and the whole evening written again after a failure.

#include "evening/evening_facts_store.h"
#include "evening/evening_store.h"
#include "evening/stored_rows.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

namespace
{

// A text for a NOT NULL column: an empty text, never a null one.
QVariant notNull(const QString &value)
{
    return QVariant(value.isNull() ? QStringLiteral("") : value);
}

bool insertRun(QSqlQuery &q, qint64 evening, const StoredRun &run, qint64 *id)
{
    q.prepare(
        QStringLiteral("INSERT INTO runs(evening, at, destination, to_pdf, dealer, game, drawn, stopped) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(evening), QVariant(rows::timeText(run.at)), notNull(run.destination),
                              QVariant(int(run.toPdf)), QVariant(int(run.dealer)), QVariant(run.game),
                              QVariant(run.drawn), QVariant(int(run.stopped))})
        q.addBindValue(v);
    if (!q.exec()) return false;
    *id = q.lastInsertId().toLongLong();
    q.prepare(QStringLiteral("INSERT INTO cards(evening, number, run, series, place, dealer, cells) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const CardInPlay &c : run.cards) {
        for (const QVariant &v :
             {QVariant(evening), QVariant(c.number), QVariant(*id), QVariant(qint64(c.code.series)),
              QVariant(c.code.place), QVariant(int(c.code.dealer)), QVariant(rows::cellsText(c.card))})
            q.addBindValue(v);
        if (!q.exec()) return false;
    }
    return true;
}

bool insertGame(QSqlQuery &q, qint64 evening, int game, const QDateTime &at)
{
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO games(evening, game, started) VALUES (?, ?, ?)"));
    q.addBindValue(evening);
    q.addBindValue(game);
    q.addBindValue(rows::timeText(at));
    return q.exec();
}

bool insertNumber(QSqlQuery &q, const char *table, qint64 evening, int game, const StoredNumber &n)
{
    q.prepare(
        QStringLiteral("INSERT %1 INTO %2(evening, game, ordinal, number, at, by_hand) VALUES (?, ?, ?, ?, "
                       "?, ?)")
            .arg(QLatin1String(qstrcmp(table, "numbers") == 0 ? "OR REPLACE" : ""), QLatin1String(table)));
    for (const QVariant &v : {QVariant(evening), QVariant(game), QVariant(n.ordinal), QVariant(n.number),
                              QVariant(rows::timeText(n.at)), QVariant(int(n.byHand))})
        q.addBindValue(v);
    return q.exec();
}

bool deleteOf(QSqlQuery &q, const char *table, qint64 evening, int game)
{
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE evening = ?%2")
                  .arg(QLatin1String(table), game > 0 ? QStringLiteral(" AND game = ?") : QString()));
    q.addBindValue(evening);
    if (game > 0) q.addBindValue(game);
    return q.exec();
}

bool insertWins(QSqlQuery &q, qint64 evening, int game, const QList<PrizeWin> &wins,
                const QList<PrizeDesk::Pass> &passes)
{
    q.prepare(QStringLiteral("INSERT INTO wins(evening, game, prize, draw, how, card, numbers, shared) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const PrizeWin &w : wins) {
        for (const QVariant &v :
             {QVariant(evening), QVariant(game), QVariant(int(w.prize)), QVariant(w.draw),
              QVariant(int(w.how)), w.who.card ? QVariant(rows::codeText(*w.who.card)) : QVariant(),
              notNull(rows::numbersText(w.who.numbers)), QVariant(int(w.shared))})
            q.addBindValue(v);
        if (!q.exec()) return false;
    }
    q.prepare(QStringLiteral("INSERT INTO passes(evening, game, prize, card, draw) VALUES (?, ?, ?, ?, ?)"));
    for (const PrizeDesk::Pass &p : passes) {
        for (const QVariant &v : {QVariant(evening), QVariant(game), QVariant(int(p.prize)),
                                  QVariant(rows::codeText(p.code)), QVariant(p.draw)})
            q.addBindValue(v);
        if (!q.exec()) return false;
    }
    return true;
}

bool insertLog(QSqlQuery &q, qint64 evening, const PrizeDesk::Event &e)
{
    q.prepare(
        QStringLiteral("INSERT INTO log(evening, game, draw, at, text, refused) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(evening), QVariant(e.game), QVariant(e.draw),
                              QVariant(rows::timeText(e.at)), notNull(e.text), QVariant(int(e.refused))})
        q.addBindValue(v);
    return q.exec();
}

bool updateOptions(QSqlQuery &q, qint64 evening, const StoredEvening &o)
{
    q.prepare(QStringLiteral("UPDATE evenings SET game = ?, basket = ?, announce = ?, full_series = ?, "
                             "plan = ?, setup = ? WHERE id = ?"));
    for (const QVariant &v : {QVariant(o.game), QVariant(int(o.basket)), QVariant(int(o.announceAtOnce)),
                              QVariant(int(o.fullSeries)), QVariant(o.plan.toText()),
                              QVariant(o.setup.toText()), QVariant(evening)})
        q.addBindValue(v);
    return q.exec();
}

} // namespace

qint64 EveningStore::addRun(qint64 evening, const StoredRun &run)
{
    qint64 id = 0;
    write([&](QSqlQuery &q) { return insertRun(q, evening, run, &id); });
    return id;
}

bool EveningStore::addGame(qint64 evening, int game, const QDateTime &at)
{
    return write([&](QSqlQuery &q) { return insertGame(q, evening, game, at); });
}

bool EveningStore::addNumber(qint64 evening, int game, const StoredNumber &n)
{
    return write([&](QSqlQuery &q) { return insertNumber(q, "numbers", evening, game, n); });
}

bool EveningStore::takeBack(qint64 evening, int game, const StoredNumber &n)
{
    return write([&](QSqlQuery &q) {
        q.prepare(QStringLiteral("DELETE FROM numbers WHERE evening = ? AND game = ? AND ordinal = ?"));
        q.addBindValue(evening);
        q.addBindValue(game);
        q.addBindValue(n.ordinal);
        return q.exec() && insertNumber(q, "taken_back", evening, game, n);
    });
}

bool EveningStore::setWins(qint64 evening, int game, const QList<PrizeWin> &wins,
                           const QList<PrizeDesk::Pass> &passes)
{
    return write([&](QSqlQuery &q) {
        return deleteOf(q, "wins", evening, game) && deleteOf(q, "passes", evening, game) &&
               insertWins(q, evening, game, wins, passes);
    });
}

bool EveningStore::addLog(qint64 evening, const PrizeDesk::Event &e)
{
    return write([&](QSqlQuery &q) { return insertLog(q, evening, e); });
}

bool EveningStore::setOptions(qint64 evening, const StoredEvening &o)
{
    return write([&](QSqlQuery &q) { return updateOptions(q, evening, o); });
}

bool EveningStore::cutRun(qint64 evening, int firstNotPrinted)
{
    return write([&](QSqlQuery &q) {
        const QString last = QStringLiteral("(SELECT MAX(id) FROM runs WHERE evening = ?)");
        q.prepare(QStringLiteral("UPDATE runs SET stopped = 1 WHERE id = %1").arg(last));
        q.addBindValue(evening);
        if (!q.exec()) return false;
        if (firstNotPrinted == 0) return true;
        q.prepare(
            QStringLiteral("DELETE FROM cards WHERE evening = ? AND run = %1 AND number >= ?").arg(last));
        q.addBindValue(evening);
        q.addBindValue(evening);
        q.addBindValue(firstNotPrinted);
        return q.exec();
    });
}

bool EveningStore::rewrite(StoredEvening &evening, QString *why)
{
    if (!m_writable) {
        if (why) *why = m_reason;
        return false;
    }
    // Tried afresh: the failure that stopped the writes may be gone (space freed, the lock let go).
    // A new file put in place of one changed under the program takes the evening here.
    m_failed = false;
    m_wantsWhole = false;
    // A file whose making failed half-way (no tables yet) is made ready first.
    if (!m_prepared && !prepare(QFileInfo(m_path).absolutePath())) {
        if (why) *why = m_reason;
        return false;
    }
    const bool ok = write([&](QSqlQuery &q) {
        if (evening.id == 0) {
            q.prepare(QStringLiteral("INSERT INTO evenings(started) VALUES (?)"));
            q.addBindValue(rows::timeText(evening.started));
            if (!q.exec()) return false;
            evening.id = q.lastInsertId().toLongLong();
        } else {
            q.prepare(QStringLiteral("INSERT OR IGNORE INTO evenings(id, started) VALUES (?, ?)"));
            q.addBindValue(evening.id);
            q.addBindValue(rows::timeText(evening.started));
            if (!q.exec()) return false;
        }
        for (const QString &table : kTables)
            if (table != QLatin1String("evenings") && !deleteOf(q, qPrintable(table), evening.id, 0))
                return false;
        q.prepare(QStringLiteral("UPDATE evenings SET started = ?, ended = ? WHERE id = ?"));
        q.addBindValue(rows::timeText(evening.started));
        q.addBindValue(evening.ended.isValid() ? QVariant(rows::timeText(evening.ended)) : QVariant());
        q.addBindValue(evening.id);
        if (!q.exec() || !updateOptions(q, evening.id, evening)) return false;
        for (StoredRun &run : evening.runs)
            if (!insertRun(q, evening.id, run, &run.id)) return false;
        for (const StoredGame &g : evening.games) {
            if (!insertGame(q, evening.id, g.number, g.started) ||
                !insertWins(q, evening.id, g.number, g.wins, g.passes))
                return false;
            for (const StoredNumber &n : g.numbers)
                if (!insertNumber(q, "numbers", evening.id, g.number, n)) return false;
            for (const StoredNumber &n : g.takenBack)
                if (!insertNumber(q, "taken_back", evening.id, g.number, n)) return false;
        }
        for (const PrizeDesk::Event &e : evening.log)
            if (!insertLog(q, evening.id, e)) return false;
        return facts::writeAll(q, evening);
    });
    if (ok)
        m_reason.clear();
    else if (why)
        *why = m_reason;
    return ok;
}
