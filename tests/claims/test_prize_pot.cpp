// The prize pot's sums: whatever the plan, the cards and the winners, every part is whole cents,
// none is negative, and the parts add up to the whole by the stated rules.

#include "claims/prize_pot.h"

#include <QTest>
#include <random>

class TestPrizePot : public QObject
{
    Q_OBJECT

private slots:
    void randomPlansAddUpToTheCent();
    void amountsReadAsItalians_data();
    void amountsReadAsItalians();
    void aPlanGoesToTheRecordAndBack();
    void aPlanThatIsNotRightIsSaid();
};

void TestPrizePot::randomPlansAddUpToTheCent()
{
    std::mt19937 dice(20261209);
    auto roll = [&](int n) { return int(dice() % std::uint32_t(n)); };
    for (int round = 0; round < 20000; ++round) {
        PrizePlan plan;
        plan.pot = PrizePlan::Pot(roll(3));
        plan.cardPrice = roll(1000);
        plan.fixedPot = qint64(roll(2000000));
        plan.organiserPercent = roll(60);
        plan.tombolino = roll(2) == 1;
        // Shares that make the whole, spread at random.
        int left = 100;
        const QList<Prize> prizes = plan.prizes();
        for (qsizetype k = 0; k < prizes.size(); ++k) {
            const int share = k + 1 == prizes.size() ? left : roll(left + 1);
            plan.shares[std::size_t(prizes[k])] = share;
            left -= share;
            plan.values[std::size_t(prizes[k])] = roll(100000);
        }
        const int cards = roll(5000);
        const Payout pay = payout(plan, cards);
        QCOMPARE(pay.takings, plan.cardPrice * cards);
        qint64 total = 0;
        for (const Prize p : prizes) {
            QVERIFY(pay.prize[std::size_t(p)] >= 0);
            total += pay.prize[std::size_t(p)];
        }
        QCOMPARE(total, pay.pot);
        if (plan.pot == PrizePlan::Pot::Takings) {
            QCOMPARE(pay.organiser + pay.pot, pay.takings);
            QCOMPARE(pay.organiser, pay.takings * plan.organiserPercent / 100);
        }
        if (plan.pot == PrizePlan::Pot::Fixed) QCOMPARE(pay.pot, plan.fixedPot);
        if (plan.pot != PrizePlan::Pot::FixedPrizes) {
            // Each prize its share rounded down; the cents left to the last prize alone.
            for (const Prize p : prizes) {
                const qint64 exact = pay.pot * plan.shares[std::size_t(p)] / 100;
                if (p == prizes.last())
                    QVERIFY(pay.prize[std::size_t(p)] - exact >= 0 &&
                            pay.prize[std::size_t(p)] - exact < qint64(prizes.size()));
                else
                    QCOMPARE(pay.prize[std::size_t(p)], exact);
            }
        }
        // A prize split among its winners: whole cents, the first ones a cent more, all of it given.
        const qint64 amount = pay.prize[std::size_t(prizes[roll(int(prizes.size()))])];
        const int winners = 1 + roll(12);
        const QList<qint64> parts = split(amount, winners);
        QCOMPARE(parts.size(), winners);
        qint64 sum = 0;
        for (qsizetype k = 0; k < parts.size(); ++k) {
            sum += parts[k];
            QVERIFY(parts[k] >= 0);
            QVERIFY(parts[k] == amount / winners || parts[k] == amount / winners + 1);
            if (k > 0) QVERIFY(parts[k] <= parts[k - 1]);
        }
        QCOMPARE(sum, amount);
    }
}

void TestPrizePot::amountsReadAsItalians_data()
{
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0,00 €");
    QTest::newRow("cents") << qint64(7) << QStringLiteral("0,07 €");
    QTest::newRow("terno") << qint64(3600) << QStringLiteral("36,00 €");
    QTest::newRow("the cap") << qint64(1291142) << QStringLiteral("12.911,42 €");
    QTest::newRow("millions") << qint64(123456789) << QStringLiteral("1.234.567,89 €");
}

void TestPrizePot::amountsReadAsItalians()
{
    QFETCH(qint64, cents);
    QFETCH(QString, text);
    QCOMPARE(euro(cents), text);
}

void TestPrizePot::aPlanGoesToTheRecordAndBack()
{
    PrizePlan plan;
    plan.cardPrice = 150;
    plan.pot = PrizePlan::Pot::FixedPrizes;
    plan.values = {0, 500, 1000, 1500, 2000, 5000, 2500};
    plan.tombolino = true;
    plan.organiserPercent = 10;
    QCOMPARE(PrizePlan::fromText(plan.toText()), std::optional<PrizePlan>(plan));
    QVERIFY(!PrizePlan::fromText(QStringLiteral("1 2 3")));
    QString tooMuch = plan.toText();
    tooMuch.replace(QStringLiteral(" 10 1 "), QStringLiteral(" 101 1 "));
    QVERIFY(!PrizePlan::fromText(tooMuch));
}

void TestPrizePot::aPlanThatIsNotRightIsSaid()
{
    PrizePlan plan;
    plan.cardPrice = 200;
    QVERIFY(planWarnings(plan, 100).isEmpty());
    plan.shares[std::size_t(Prize::Ambo)] = 5;
    QCOMPARE(planWarnings(plan, 100),
             QStringList({"Le quote dei premi sommano al 95%: devono fare il 100%."}));
    plan.shares[std::size_t(Prize::Ambo)] = 10;
    // 7,000 cards at 2 € make 14,000 €: above the cap of one tombola.
    QCOMPARE(planWarnings(plan, 7000).size(), 1);
    QVERIFY(planWarnings(plan, 7000).first().contains(QStringLiteral("14.000,00 €")));
}

QTEST_GUILESS_MAIN(TestPrizePot)
#include "test_prize_pot.moc"
