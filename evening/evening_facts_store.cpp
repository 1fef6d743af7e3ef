// The committee's facts on disk: the sealed draws, the cards declared void, the prizes handed over.

#include "evening/evening_facts_store.h"

#include "evening/evening_store.h"
#include "evening/stored_rows.h"
#include "game/draw_seal.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace facts
{
namespace
{

const char *const kTables[] = {
    "CREATE TABLE seals(evening INTEGER NOT NULL, game INTEGER NOT NULL, secret TEXT NOT NULL, at TEXT NOT "
    "NULL, revealed TEXT, PRIMARY KEY(evening, game))",
    "CREATE TABLE voided(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, at TEXT NOT NULL, game INTEGER "
    "NOT NULL, what TEXT NOT NULL, cards TEXT NOT NULL)",
    "CREATE TABLE deliveries(evening INTEGER NOT NULL, game INTEGER NOT NULL, idx INTEGER NOT NULL, "
    "recipient TEXT NOT NULL, at TEXT NOT NULL, PRIMARY KEY(evening, game, idx))",
};

// Card numbers, ascending and none twice: "801 802 803".
QString cardNumbersText(const QList<int> &cards)
{
    QStringList parts;
    for (const int n : cards)
        parts << QString::number(n);
    return parts.join(QLatin1Char(' '));
}

bool parseCardNumbers(const QString &text, QList<int> *out)
{
    out->clear();
    for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || n < 1 || n > 1000000 || (!out->isEmpty() && n <= out->last())) return false;
        *out << n;
    }
    return !out->isEmpty();
}

bool gameIn(const QVariant &v, int *out)
{
    bool ok = false;
    const qint64 i = v.toLongLong(&ok);
    if (!ok || i < 1 || i > 100000) return false;
    *out = int(i);
    return true;
}

bool timeOf(const QVariant &v, QDateTime *out)
{
    const auto t = rows::parseTime(v.toString());
    if (!t) return false;
    *out = *t;
    return true;
}

QSqlQuery rowsOf(const QSqlDatabase &db, const QString &sql, qint64 evening)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(evening);
    q.exec();
    return q;
}

bool seals(const QSqlDatabase &db, qint64 id, StoredEvening &e)
{
    QSqlQuery q = rowsOf(
        db, QStringLiteral("SELECT game, secret, at, revealed FROM seals WHERE evening = ? ORDER BY game"),
        id);
    while (q.next()) {
        StoredSeal s;
        const auto secret = seal::parseSecret(q.value(1).toString());
        if (!gameIn(q.value(0), &s.game) || !secret || !timeOf(q.value(2), &s.at) ||
            (!q.value(3).isNull() && !timeOf(q.value(3), &s.revealed)))
            return false;
        s.secret = *secret;
        e.seals << s;
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool voided(const QSqlDatabase &db, qint64 id, StoredEvening &e)
{
    QSqlQuery q = rowsOf(
        db, QStringLiteral("SELECT at, game, what, cards FROM voided WHERE evening = ? ORDER BY id"), id);
    while (q.next()) {
        StoredVoid v;
        v.what = q.value(2).toString();
        if (!timeOf(q.value(0), &v.at) || !gameIn(q.value(1), &v.game) || v.what.size() > 2000 ||
            !parseCardNumbers(q.value(3).toString(), &v.cards))
            return false;
        e.voided << v;
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool deliveries(const QSqlDatabase &db, qint64 id, StoredEvening &e)
{
    QSqlQuery q = rowsOf(
        db,
        QStringLiteral(
            "SELECT game, idx, recipient, at FROM deliveries WHERE evening = ? ORDER BY at, game, idx"),
        id);
    while (q.next()) {
        StoredDelivery d;
        bool ok = false;
        d.index = q.value(1).toInt(&ok);
        d.to = q.value(2).toString();
        const StoredGame *g = gameIn(q.value(0), &d.game) ? e.findGame(d.game) : nullptr;
        // A prize handed over is one the game gave.
        if (!ok || !g || d.index < 0 || d.index >= g->wins.size() || d.to.size() > 500 ||
            !timeOf(q.value(3), &d.at))
            return false;
        e.deliveries << d;
    }
    return q.lastError().type() == QSqlError::NoError;
}

} // namespace

bool createTables(QSqlQuery &q)
{
    for (const char *statement : kTables)
        if (!q.exec(QLatin1String(statement))) return false;
    return true;
}

bool read(const QSqlDatabase &db, qint64 id, StoredEvening &e, QString *table)
{
    const QStringList tables = db.tables();
    struct Step {
        const char *table;
        const char *name;
        bool (*read)(const QSqlDatabase &, qint64, StoredEvening &);
    };
    static constexpr Step steps[] = {
        {"seals", "sigilli", &seals},
        {"voided", "cartelle annullate", &voided},
        {"deliveries", "consegne", &deliveries},
    };
    for (const Step &step : steps) {
        if (!tables.contains(QLatin1String(step.table))) continue;
        if (step.read(db, id, e)) continue;
        *table = QLatin1String(step.name);
        return false;
    }
    return true;
}

} // namespace facts

namespace facts
{

bool insertSeal(QSqlQuery &q, qint64 evening, const StoredSeal &s)
{
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO seals(evening, game, secret, at, revealed) VALUES (?, ?, ?, ?, ?)"));
    for (const QVariant &v :
         {QVariant(evening), QVariant(s.game), QVariant(seal::secretText(s.secret)),
          QVariant(rows::timeText(s.at)), s.isRevealed() ? QVariant(rows::timeText(s.revealed)) : QVariant()})
        q.addBindValue(v);
    return q.exec();
}

bool insertVoid(QSqlQuery &q, qint64 evening, const StoredVoid &v)
{
    q.prepare(QStringLiteral("INSERT INTO voided(evening, at, game, what, cards) VALUES (?, ?, ?, ?, ?)"));
    for (const QVariant &x : {QVariant(evening), QVariant(rows::timeText(v.at)), QVariant(v.game),
                              QVariant(v.what), QVariant(facts::cardNumbersText(v.cards))})
        q.addBindValue(x);
    return q.exec();
}

bool insertDelivery(QSqlQuery &q, qint64 evening, const StoredDelivery &d)
{
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO deliveries(evening, game, idx, recipient, at) VALUES (?, ?, ?, ?, ?)"));
    for (const QVariant &x : {QVariant(evening), QVariant(d.game), QVariant(d.index), QVariant(d.to),
                              QVariant(rows::timeText(d.at))})
        q.addBindValue(x);
    return q.exec();
}

bool writeAll(QSqlQuery &q, const StoredEvening &e)
{
    for (const char *table : {"seals", "voided", "deliveries"}) {
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE evening = ?").arg(QLatin1String(table)));
        q.addBindValue(e.id);
        if (!q.exec()) return false;
    }
    for (const StoredSeal &s : e.seals)
        if (!insertSeal(q, e.id, s)) return false;
    for (const StoredVoid &v : e.voided)
        if (!insertVoid(q, e.id, v)) return false;
    for (const StoredDelivery &d : e.deliveries)
        if (!insertDelivery(q, e.id, d)) return false;
    return true;
}

} // namespace facts

bool EveningStore::setSeal(qint64 evening, const StoredSeal &s)
{
    return write([&](QSqlQuery &q) { return facts::insertSeal(q, evening, s); });
}

bool EveningStore::addVoid(qint64 evening, const StoredVoid &v)
{
    return write([&](QSqlQuery &q) { return facts::insertVoid(q, evening, v); });
}

bool EveningStore::setDelivery(qint64 evening, const StoredDelivery &d)
{
    return write([&](QSqlQuery &q) { return facts::insertDelivery(q, evening, d); });
}
