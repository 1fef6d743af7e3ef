// Reading the evenings back: every row is checked against what this program writes, and an evening
// with one row out of place is refused whole.

#include "evening/evening_facts_store.h"
#include "evening/evening_store.h"
#include "evening/stored_rows.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <map>

namespace
{

// The rows of one evening from `table`, in the order written.
QSqlQuery rowsOf(const QSqlDatabase &db, const QString &columns, const QString &table, qint64 evening,
                 const QString &order)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE evening = ? ORDER BY %3").arg(columns, table, order));
    q.addBindValue(evening);
    q.exec();
    return q;
}

bool flag(const QVariant &v, bool *out)
{
    bool ok = false;
    const int i = v.toInt(&ok);
    if (!ok || (i != 0 && i != 1)) return false;
    *out = i == 1;
    return true;
}

bool inRange(const QVariant &v, qint64 low, qint64 high, int *out)
{
    bool ok = false;
    const qint64 i = v.toLongLong(&ok);
    if (!ok || i < low || i > high) return false;
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

// Reads one evening; false at the first row out of place, naming its table.
class Reader
{
public:
    Reader(const QSqlDatabase &db, qint64 id) : m_db(db), m_id(id) {}

    bool read(StoredEvening &e, QString *why)
    {
        struct Step {
            const char *table;
            bool (Reader::*read)(StoredEvening &);
        };
        static constexpr Step steps[] = {
            {"serate", &Reader::evening},  {"stampe", &Reader::runs},
            {"cartelle", &Reader::cards},  {"tombole", &Reader::games},
            {"numeri", &Reader::numbers},  {"numeri tolti", &Reader::takenBack},
            {"premi", &Reader::wins},      {"cartelle ignorate", &Reader::passes},
            {"avvenimenti", &Reader::log},
        };
        for (const Step &step : steps) {
            if ((this->*step.read)(e)) continue;
            if (why) *why = QStringLiteral("dati non validi (%1)").arg(QLatin1String(step.table));
            return false;
        }
        QString table;
        if (!facts::read(m_db, m_id, e, &table)) {
            if (why) *why = QStringLiteral("dati non validi (%1)").arg(table);
            return false;
        }
        return true;
    }

private:
    // Calls `row` on each row of the evening in `table`; false at the first it refuses.
    template <typename Row>
    bool eachRow(const QString &columns, const QString &table, const QString &order, Row &&row)
    {
        QSqlQuery q = rowsOf(m_db, columns, table, m_id, order);
        while (q.next())
            if (!row(q)) return false;
        return q.lastError().type() == QSqlError::NoError;
    }

    bool evening(StoredEvening &e)
    {
        QSqlQuery q(m_db);
        // A file of the first version has no prize plan: it reads as none.
        const bool withPlan = m_db.record(QStringLiteral("evenings")).contains(QStringLiteral("plan"));
        // Nor has one before the third the caller's set-up: it reads as the start-up's.
        const bool withSetup = m_db.record(QStringLiteral("evenings")).contains(QStringLiteral("setup"));
        q.prepare(
            QStringLiteral(
                "SELECT started, ended, game, basket, announce, full_series%1%2 FROM evenings WHERE id = ?")
                .arg(withPlan ? QStringLiteral(", plan") : QString(),
                     withPlan && withSetup ? QStringLiteral(", setup") : QString()));
        q.addBindValue(m_id);
        if (!q.exec() || !q.next()) return false;
        e.id = m_id;
        if (!timeOf(q.value(0), &e.started)) return false;
        if (!q.value(1).isNull() && !timeOf(q.value(1), &e.ended)) return false;
        if (withPlan && !q.value(6).isNull()) {
            const auto plan = PrizePlan::fromText(q.value(6).toString());
            if (!plan) return false;
            e.plan = *plan;
        }
        if (withPlan && withSetup && !q.value(7).isNull()) {
            const auto setup = EveningSetup::fromText(q.value(7).toString());
            if (!setup) return false;
            e.setup = *setup;
        }
        return inRange(q.value(2), 1, 100000, &e.game) && flag(q.value(3), &e.basket) &&
               flag(q.value(4), &e.announceAtOnce) && flag(q.value(5), &e.fullSeries);
    }

    bool runs(StoredEvening &e)
    {
        QSqlQuery q =
            rowsOf(m_db, QStringLiteral("id, at, destination, to_pdf, dealer, game, drawn, stopped"),
                   QStringLiteral("runs"), m_id, QStringLiteral("id"));
        while (q.next()) {
            StoredRun r;
            int dealer = 0;
            r.id = q.value(0).toLongLong();
            r.destination = q.value(2).toString();
            if (!timeOf(q.value(1), &r.at) || r.destination.size() > 4096 || !flag(q.value(3), &r.toPdf) ||
                !inRange(q.value(4), 0, 1, &dealer) || !inRange(q.value(5), 1, 100000, &r.game) ||
                !inRange(q.value(6), 0, 90, &r.drawn) || !flag(q.value(7), &r.stopped))
                return false;
            r.dealer = CardDealer(dealer);
            m_runs[r.id] = int(e.runs.size());
            e.runs << r;
        }
        return q.lastError().type() == QSqlError::NoError;
    }

    bool cards(StoredEvening &e)
    {
        QSqlQuery q = rowsOf(m_db, QStringLiteral("number, run, series, place, dealer, cells"),
                             QStringLiteral("cards"), m_id, QStringLiteral("number"));
        QSet<QString> codes;
        while (q.next()) {
            CardInPlay c;
            int place = 0, dealer = 0, series = 0;
            const auto run = m_runs.find(q.value(1).toLongLong());
            if (!inRange(q.value(0), 1, 1000000, &c.number) || run == m_runs.end() ||
                !inRange(q.value(2), 0, seriesCount - 1, &series) || !inRange(q.value(3), 1, 6, &place) ||
                !inRange(q.value(4), 0, 1, &dealer))
                return false;
            StoredRun &owner = e.runs[run->second];
            c.code = CardCode{quint32(series), place, CardDealer(dealer)};
            const auto cells = rows::parseCells(q.value(5).toString());
            if (!cells || c.code.dealer != owner.dealer || codes.contains(formatCardCode(c.code)))
                return false;
            codes.insert(formatCardCode(c.code));
            c.card = *cells;
            owner.cards << c;
        }
        return q.lastError().type() == QSqlError::NoError;
    }

    bool games(StoredEvening &e)
    {
        return eachRow(QStringLiteral("game, started"), QStringLiteral("games"), QStringLiteral("game"),
                       [&](const QSqlQuery &q) {
                           StoredGame g;
                           if (!inRange(q.value(0), 1, 100000, &g.number) || !timeOf(q.value(1), &g.started))
                               return false;
                           e.games << g;
                           return true;
                       });
    }

    StoredGame *game(StoredEvening &e, const QVariant &v)
    {
        int number = 0;
        if (!inRange(v, 1, 100000, &number)) return nullptr;
        for (StoredGame &g : e.games)
            if (g.number == number) return &g;
        return nullptr;
    }

    bool number(const QSqlQuery &q, StoredNumber &n)
    {
        return inRange(q.value(1), 1, 90, &n.ordinal) && inRange(q.value(2), 1, 90, &n.number) &&
               timeOf(q.value(3), &n.at) && flag(q.value(4), &n.byHand);
    }

    bool numbers(StoredEvening &e)
    {
        return eachRow(QStringLiteral("game, ordinal, number, at, by_hand"), QStringLiteral("numbers"),
                       QStringLiteral("game, ordinal"), [&](const QSqlQuery &q) {
                           StoredGame *g = game(e, q.value(0));
                           StoredNumber n;
                           // In their order, one after the other, none twice.
                           if (!g || !number(q, n) || n.ordinal != g->numbers.size() + 1 ||
                               g->drawn().contains(n.number))
                               return false;
                           g->numbers << n;
                           return true;
                       });
    }

    bool takenBack(StoredEvening &e)
    {
        return eachRow(QStringLiteral("game, ordinal, number, at, by_hand"), QStringLiteral("taken_back"),
                       QStringLiteral("id"), [&](const QSqlQuery &q) {
                           StoredGame *g = game(e, q.value(0));
                           StoredNumber n;
                           if (!g || !number(q, n)) return false;
                           g->takenBack << n;
                           return true;
                       });
    }

    bool wins(StoredEvening &e)
    {
        return eachRow(QStringLiteral("game, prize, draw, how, card, numbers, shared"),
                       QStringLiteral("wins"), QStringLiteral("id"), [&](const QSqlQuery &q) {
                           StoredGame *g = game(e, q.value(0));
                           PrizeWin w;
                           int prize = 0, how = 0;
                           const auto numbers = rows::parseNumbers(q.value(5).toString());
                           if (!g || !inRange(q.value(1), 1, 5, &prize) ||
                               !inRange(q.value(2), 1, int(g->numbers.size()), &w.draw) ||
                               !inRange(q.value(3), 0, int(lastConfirmation), &how) || !numbers ||
                               !flag(q.value(6), &w.shared))
                               return false;
                           w.prize = Prize(prize);
                           w.how = Confirmation(how);
                           w.who.how = w.how;
                           w.who.numbers = *numbers;
                           if (!q.value(4).isNull()) {
                               const auto code = rows::parseCode(q.value(4).toString());
                               if (!code) return false;
                               w.who.card = *code;
                           } else if (numbers->size() < 2) {
                               return false;
                           }
                           g->wins << w;
                           return true;
                       });
    }

    bool passes(StoredEvening &e)
    {
        return eachRow(QStringLiteral("game, prize, card, draw"), QStringLiteral("passes"),
                       QStringLiteral("id"), [&](const QSqlQuery &q) {
                           StoredGame *g = game(e, q.value(0));
                           PrizeDesk::Pass p;
                           int prize = 0;
                           const auto code = rows::parseCode(q.value(2).toString());
                           if (!g || !inRange(q.value(1), 1, 5, &prize) || !code ||
                               !inRange(q.value(3), 1, 90, &p.draw))
                               return false;
                           p.prize = Prize(prize);
                           p.code = *code;
                           g->passes << p;
                           return true;
                       });
    }

    bool log(StoredEvening &e)
    {
        QSqlQuery q = rowsOf(m_db, QStringLiteral("game, draw, at, text, refused"), QStringLiteral("log"),
                             m_id, QStringLiteral("id"));
        while (q.next()) {
            PrizeDesk::Event ev;
            ev.text = q.value(3).toString();
            if (!inRange(q.value(0), 1, 100000, &ev.game) || !inRange(q.value(1), 0, 90, &ev.draw) ||
                !timeOf(q.value(2), &ev.at) || ev.text.size() > 2000 || !flag(q.value(4), &ev.refused))
                return false;
            e.log << ev;
        }
        return q.lastError().type() == QSqlError::NoError;
    }

    const QSqlDatabase &m_db;
    qint64 m_id;
    std::map<qint64, int> m_runs;
};

} // namespace

std::optional<qint64> EveningStore::lastOpenEvening() const
{
    if (!QSqlDatabase::contains(m_connection)) return std::nullopt;
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("SELECT id FROM evenings WHERE ended IS NULL ORDER BY id DESC LIMIT 1")) ||
        !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

QList<EveningSummary> EveningStore::evenings() const
{
    QList<EveningSummary> out;
    if (!QSqlDatabase::contains(m_connection)) return out;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT e.id, e.started, e.ended, (SELECT COUNT(*) FROM games g WHERE g.evening = e.id), "
            "(SELECT COUNT(*) FROM cards c WHERE c.evening = e.id) FROM evenings e ORDER BY e.id DESC")))
        return out;
    while (q.next()) {
        EveningSummary s;
        s.id = q.value(0).toLongLong();
        s.started = rows::parseTime(q.value(1).toString()).value_or(QDateTime());
        if (!q.value(2).isNull()) s.ended = rows::parseTime(q.value(2).toString()).value_or(QDateTime());
        s.games = q.value(3).toInt();
        s.cards = q.value(4).toInt();
        out << s;
    }
    return out;
}

std::optional<StoredEvening> EveningStore::load(qint64 id, QString *why) const
{
    StoredEvening e;
    if (!QSqlDatabase::contains(m_connection)) return std::nullopt;
    Reader reader(db(), id);
    if (!reader.read(e, why)) return std::nullopt;
    return e;
}
