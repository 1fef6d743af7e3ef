// Resume is replay: over random evenings (draws at random and from the basket, prints, cards dealt
// to phones, claims, confirmations, passes, take-backs, new games, options), the evening rebuilt
// from the store equals the live one at every step, and so do the prizes, passes and pot a program
// started again on the file brings back. Also: a reader catches up from the last event it saw.

#include "evening/evening.h"
#include "evening/evening_record.h"
#include "fakes/evening_harness.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <random>

namespace
{

QString payoutText(const PrizeDesk &desk)
{
    const Payout p = desk.payout();
    QStringList out{QString::number(p.takings), QString::number(p.organiser), QString::number(p.pot)};
    for (const qint64 v : p.prize)
        out << QString::number(v);
    return out.join(QLatin1Char(' '));
}

// What a program started again on `path` brings back, against the live `h`; empty when the same.
QString resumedDifference(const QString &path, EveningHarness &h)
{
    // A second copy only reads the file: the live one keeps writing it.
    EveningHarness again(path, 5);
    QString why;
    const auto left = again.evening->unfinished(&why);
    if (!left)
        return h.evening->evening().isEmpty() ? QString() : QStringLiteral("nothing to resume: ") + why;
    if (const QString off = eveningDifference(*left, h.evening->evening()); !off.isEmpty())
        return QStringLiteral("stored: ") + off;
    again.evening->resume(*left);
    if (again.game.drawnNumbers() != h.game.drawnNumbers()) return QStringLiteral("numbers");
    if (again.printRun.cardsInPlay().codes() != h.printRun.cardsInPlay().codes())
        return QStringLiteral("cards");
    if (again.printRun.cardsInPlay().nextNumber() != h.printRun.cardsInPlay().nextNumber())
        return QStringLiteral("card numbering");
    if (again.desk.gameNumber() != h.desk.gameNumber()) return QStringLiteral("game number");
    if (again.desk.ladder().wins() != h.desk.ladder().wins()) return QStringLiteral("prizes");
    if (again.desk.passes() != h.desk.passes()) return QStringLiteral("passes");
    if (payoutText(again.desk) != payoutText(h.desk))
        return QStringLiteral("pot %1 / %2").arg(payoutText(again.desk), payoutText(h.desk));
    if (again.game.isBasketMode() != h.game.isBasketMode()) return QStringLiteral("basket");
    if (again.desk.announceAtOnce() != h.desk.announceAtOnce()) return QStringLiteral("announce at once");
    if (!(again.desk.plan() == h.desk.plan())) return QStringLiteral("plan");
    return {};
}

// One random step of an evening; `what` says which, for a failure's message.
void randomStep(EveningHarness &h, std::mt19937 &rng, QString &what)
{
    auto pick = [&rng](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    const QList<int> pool = h.pool();
    switch (pick(11)) {
    case 0:
    case 1:
    case 2: {
        if (pool.isEmpty()) break;
        QList<int> numbers;
        QList<int> left = h.state().quanti_da_estrarre < 90 ? pool : h.pool();
        for (int k = 1 + pick(10); k > 0 && !left.isEmpty(); --k)
            numbers << left.takeAt(pick(int(left.size())));
        what = QStringLiteral("draw %1").arg(numbers.size());
        h.drawAndPause(numbers);
        break;
    }
    case 3:
        what = QStringLiteral("print");
        h.print(1 + pick(8), pick(2) ? CardDealer::Classic : CardDealer::FullSeries);
        break;
    case 4:
        what = QStringLiteral("phone card");
        h.printRun.dealToPhone(QStringLiteral("PHONE%1").arg(pick(3)), {}, CardDealer::Classic);
        break;
    case 5:
        what = QStringLiteral("confirm or pass");
        if (h.desk.sighting()) pick(3) ? h.desk.confirm() : h.desk.ignore();
        break;
    case 6: {
        what = QStringLiteral("claim");
        const QList<int> drawn = h.game.drawnNumbers();
        if (pick(2) && h.printRun.cardsInPlay().size() > 0) {
            h.desk.claimFromPhone(
                h.printRun.cardsInPlay().at(pick(int(h.printRun.cardsInPlay().size()))).code);
        } else if (drawn.size() >= 2) {
            QStringList numbers;
            for (int k = 0; k < 2; ++k)
                numbers << QString::number(drawn[pick(int(drawn.size()))]);
            h.desk.claimFromPanel(0, numbers);
        }
        break;
    }
    case 7:
        what = QStringLiteral("take back");
        if (h.game.isBasketMode()) {
            if (!pool.isEmpty() && pick(2)) h.game.enterNumber(pool[pick(int(pool.size()))]);
            h.game.takeBackAsked();
        } else {
            h.game.setBasketMode(true);
        }
        break;
    case 8:
        what = QStringLiteral("new game");
        if (pick(2)) h.game.newGame();
        break;
    case 9: {
        what = QStringLiteral("plan");
        PrizePlan plan = h.desk.plan();
        plan.cardPrice = 50 * pick(5);
        plan.tombolino = pick(2);
        h.desk.setPlan(plan);
        break;
    }
    default:
        what = QStringLiteral("options");
        h.desk.setAnnounceAtOnce(pick(2));
        if (pick(2)) h.game.setBasketMode(!h.game.isBasketMode());
        break;
    }
}

} // namespace

class TestEveningReplay : public QObject
{
    Q_OBJECT

private slots:
    void theStoredEveningIsTheLiveOne_data();
    void theStoredEveningIsTheLiveOne();
    void aReaderCatchesUpFromItsLastEvent();
};

void TestEveningReplay::theStoredEveningIsTheLiveOne_data()
{
    QTest::addColumn<int>("seed");
    for (const int seed : {1, 2, 3, 4, 5, 6})
        QTest::addRow("seed %d", seed) << seed;
}

void TestEveningReplay::theStoredEveningIsTheLiveOne()
{
    QFETCH(int, seed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    EveningHarness h(path, std::uint32_t(seed));
    h.evening->begin();
    std::mt19937 rng(seed);
    EveningStore &store = h.evening->store();
    for (int step = 1; step <= 60; ++step) {
        QString what;
        randomStep(h, rng, what);
        QVERIFY2(h.evening->isKept(), qPrintable(h.evening->notKeptReason()));
        const QString at = QStringLiteral("step %1 (%2): ").arg(step).arg(what);
        // The evening read back from the store, and replayed through the evening's own application.
        QString why;
        const auto stored = store.load(h.evening->evening().id, &why);
        QVERIFY2(stored, qPrintable(at + why));
        QCOMPARE(eveningDifference(*stored, h.evening->evening()), QString());
        Evening replayed(store);
        replayed.replay(*stored);
        QVERIFY2(eveningDifference(replayed.state(), h.evening->evening()).isEmpty(),
                 qPrintable(at + eveningDifference(replayed.state(), h.evening->evening())));
        // Every fact of the evening is one of its events, numbered in order.
        const QList<EveningEvent> &events = h.evening->events().events();
        for (qsizetype k = 0; k < events.size(); ++k)
            QCOMPARE(events[k].seq, k + 1);
        StoredEvening folded;
        folded.id = h.evening->evening().id;
        folded.started = h.evening->evening().started;
        for (const EveningEvent &e : events)
            applyEvent(folded, e);
        QVERIFY2(eveningDifference(folded, h.evening->evening()).isEmpty(), qPrintable(at));
        // A program started again brings back the same prizes, passes and pot.
        const QString resumed = resumedDifference(path, h);
        QVERIFY2(resumed.isEmpty(), qPrintable(at + resumed));
    }
}

void TestEveningReplay::aReaderCatchesUpFromItsLastEvent()
{
    // A phone that lost the connection asks for what came after the last event it saw: it gets
    // exactly those, in order, and they bring its copy to the live evening.
    EveningHarness h;
    h.evening->begin();
    const Evening &evening = h.evening->events();
    QSignalSpy added(&evening, &Evening::eventAdded);
    h.print(6);
    h.drawAndPause({10, 20, 30});
    const qint64 seen = evening.lastSeq();
    StoredEvening copy;
    copy.id = evening.id();
    copy.started = evening.state().started;
    for (const EveningEvent &e : evening.since(0))
        applyEvent(copy, e);
    h.drawAndPause({40, 50});
    h.print(2);
    const QList<EveningEvent> missed = evening.since(seen);
    QVERIFY(missed.size() >= 3);
    QCOMPARE(missed.first().seq, seen + 1);
    QCOMPARE(missed.last().seq, evening.lastSeq());
    QCOMPARE(added.size(), int(evening.events().size()) - 2); // all but the two at the start
    for (const EveningEvent &e : missed)
        applyEvent(copy, e);
    QCOMPARE(eveningDifference(copy, evening.state()), QString());
    QVERIFY(evening.since(evening.lastSeq()).isEmpty());
}

QTEST_GUILESS_MAIN(TestEveningReplay)
#include "test_evening_replay.moc"
