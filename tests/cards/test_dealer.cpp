#include "cards/dealer.h"
#include "fakes/fake_random.h"

#include <QSet>
#include <QTest>
#include <initializer_list>

namespace
{

Lista90 pool(std::initializer_list<int> numbers)
{
    Lista90 lista;
    int i = 0;
    for (int n : numbers)
        lista(++i) = n ? QString::number(n) : QString();
    return lista;
}

int countIn(const Cartella &card)
{
    int n = 0;
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c)
            n += card.cella(r, c).isEmpty() ? 0 : 1;
    }
    return n;
}

// Empty when the card keeps every limit; else what broke.
QString limitsBroken(const Cartella &card)
{
    int total = 0;
    for (int r = 1; r <= 3; ++r) {
        int inRow = 0;
        for (int c = 1; c <= 9; ++c) {
            const QString &t = card.cella(r, c);
            if (t.isEmpty()) continue;
            ++inRow;
            bool ok = false;
            const int n = t.toInt(&ok);
            if (!ok || n < 1 || n > 90 || colonna_di(n) != c)
                return QStringLiteral("%1 in column %2").arg(t).arg(c);
        }
        if (inRow > 5) return QStringLiteral("row %1 holds %2").arg(r).arg(inRow);
        total += inRow;
    }
    return total > 15 ? QStringLiteral("card holds %1").arg(total) : QString();
}

} // namespace

class TestDealer : public QObject
{
    Q_OBJECT

private slots:
    void columnOfNumber_data();
    void columnOfNumber();
    void cardAndListIndexesAreChecked();
    void shuffleIsAPermutation();
    void shuffleFollowsThePickRule();
    void dealsTheExamplePool();
    void sixColumnsOverflowToRowTwo();
    void dealerLeavesWhatFitsNowhere();
    void dealerStopsAtFifteenAndAtTheFirstGap();
    void dealerClearsTheCardFirst();
    void sortsByValue();
    void sortsColumnsKeepingCells();
    void shiftCompacts();
    void setsOfSixKeepTheRules();
    void sixthCardStatistics();
};

void TestDealer::columnOfNumber_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("column");
    const int cases[][2] = {{1, 1},  {5, 1},  {9, 1},  {10, 2}, {19, 2}, {20, 3},
                            {69, 7}, {79, 8}, {80, 9}, {89, 9}, {90, 9}};
    for (const auto &c : cases)
        QTest::addRow("%d", c[0]) << c[0] << c[1];
}

void TestDealer::columnOfNumber()
{
    QFETCH(int, n);
    QFETCH(int, column);
    QCOMPARE(colonna_di(n), column);
}

void TestDealer::cardAndListIndexesAreChecked()
{
    Cartella card;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, card.cella(0, 1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, card.cella(4, 1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, card.cella(1, 0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, card.cella(1, 10));
    card.cella(3, 9) = QStringLiteral("90");
    QCOMPARE(card.cella(3, 9), QStringLiteral("90"));
    QVERIFY(card.cella(1, 1).isEmpty());
    Lista3 three;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, three(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, three(4));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, colonna_di(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, colonna_di(91));
}

void TestDealer::shuffleIsAPermutation()
{
    for (std::uint32_t seed : {1u, 2u, 77u, 4096u}) {
        FakeRandom random(seed);
        Lista90 lista = pool({5, 5, 5}); // stale content must all be overwritten
        genera_tombola(lista, random);
        QSet<int> seen;
        for (int i = 1; i <= 90; ++i) {
            QVERIFY2(!lista(i).isEmpty(), qPrintable(QString::number(i)));
            bool ok = false;
            const int n = lista(i).toInt(&ok);
            QVERIFY(ok && n >= 1 && n <= 90);
            QCOMPARE(lista(i), QString::number(n)); // no leading zeros or blanks
            seen.insert(n);
        }
        QCOMPARE(seen.size(), 90);
        QCOMPARE(random.reseeds(), 1);
        QCOMPARE(random.nexts(), 90);
    }
}

void TestDealer::shuffleFollowsThePickRule()
{
    // r = 0 always picks the first free number: the natural order.
    FakeRandom low;
    low.replay(std::vector<double>(90, 0.0));
    Lista90 lista;
    genera_tombola(lista, low);
    for (int i = 1; i <= 90; ++i)
        QCOMPARE(lista(i), QString::number(i));

    // r just below 1 picks the last free one; r = 1 (out of contract) is clamped the same way.
    FakeRandom high;
    std::vector<double> rs(90, 0.9999999);
    rs[1] = 1.0;
    high.replay(rs);
    genera_tombola(lista, high);
    for (int i = 1; i <= 90; ++i)
        QCOMPARE(lista(i), QString::number(91 - i));

    // floor(0.5 * 90) + 1 = 46; then of 89 left, floor(0.5 * 89) + 1 = 45th, which is 45.
    FakeRandom half;
    half.replay({0.5, 0.5, 0.0});
    genera_tombola(lista, half);
    QCOMPARE(lista(1), QStringLiteral("46"));
    QCOMPARE(lista(2), QStringLiteral("45"));
    QCOMPARE(lista(3), QStringLiteral("1"));
}

void TestDealer::dealsTheExamplePool()
{
    Lista90 lista = pool({47, 41, 5, 90, 83, 12, 44});
    Cartella card;
    std::int16_t pos = 1;
    genera_cartella(card, pos, lista);

    Cartella expected;
    expected.cella(1, 5) = QStringLiteral("47");
    expected.cella(1, 1) = QStringLiteral("5");
    expected.cella(1, 9) = QStringLiteral("90");
    expected.cella(1, 2) = QStringLiteral("12");
    expected.cella(2, 5) = QStringLiteral("41");
    expected.cella(2, 9) = QStringLiteral("83");
    expected.cella(3, 5) = QStringLiteral("44");
    QCOMPARE(card, expected);
    QCOMPARE(lista, Lista90()); // every number dealt left the pool
}

void TestDealer::sixColumnsOverflowToRowTwo()
{
    Lista90 lista = pool({1, 15, 23, 37, 42, 58});
    Cartella card;
    std::int16_t pos = 0;
    genera_cartella(card, pos, lista);
    QCOMPARE(card.cella(1, 1), QStringLiteral("1"));
    QCOMPARE(card.cella(1, 2), QStringLiteral("15"));
    QCOMPARE(card.cella(1, 3), QStringLiteral("23"));
    QCOMPARE(card.cella(1, 4), QStringLiteral("37"));
    QCOMPARE(card.cella(1, 5), QStringLiteral("42"));
    QVERIFY(card.cella(1, 6).isEmpty());
    QCOMPARE(card.cella(2, 6), QStringLiteral("58"));
    QCOMPARE(countIn(card), 6);
}

void TestDealer::dealerLeavesWhatFitsNowhere()
{
    // Column 1 has three cells: the fourth number of the decade stays in the pool, in its place.
    Lista90 lista = pool({3, 1, 2, 4, 11});
    Cartella card;
    std::int16_t pos = 0;
    genera_cartella(card, pos, lista);
    QCOMPARE(card.cella(1, 1), QStringLiteral("3"));
    QCOMPARE(card.cella(2, 1), QStringLiteral("1"));
    QCOMPARE(card.cella(3, 1), QStringLiteral("2"));
    QCOMPARE(card.cella(1, 2), QStringLiteral("11"));
    QCOMPARE(countIn(card), 4);
    QCOMPARE(lista, pool({0, 0, 0, 4, 0}));
}

void TestDealer::dealerStopsAtFifteenAndAtTheFirstGap()
{
    // The natural order fills columns 1 to 5 three deep, then every row holds 5: stop.
    Lista90 lista;
    riempi_numeri(lista);
    Cartella card;
    std::int16_t pos = 0;
    genera_cartella(card, pos, lista);
    Cartella expected;
    for (int c = 1; c <= 5; ++c) {
        for (int r = 1; r <= 3; ++r)
            expected.cella(r, c) = QString::number(c == 1 ? r : (c - 1) * 10 + r - 1);
    }
    QCOMPARE(card, expected);
    for (int i = 1; i <= 90; ++i) {
        const bool dealt = (i <= 3) || (i >= 10 && i <= 42 && i % 10 <= 2);
        QCOMPARE(lista(i).isEmpty(), dealt);
    }

    // The walk ends at the first empty entry even when more follow it.
    Lista90 gap = pool({7, 0, 8, 9});
    genera_cartella(card, pos, gap);
    QCOMPARE(card.cella(1, 1), QStringLiteral("7"));
    QCOMPARE(countIn(card), 1);
    QCOMPARE(gap, pool({0, 0, 8, 9}));
}

void TestDealer::dealerClearsTheCardFirst()
{
    Cartella card;
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c)
            card.cella(r, c) = QStringLiteral("33");
    }
    Lista90 empty;
    std::int16_t pos = 0;
    genera_cartella(card, pos, empty);
    QCOMPARE(card, Cartella());
}

void TestDealer::sortsByValue()
{
    Lista3 three;
    three(1) = QStringLiteral("75");
    three(2) = QStringLiteral("8");
    three(3) = QStringLiteral("30");
    ordina(three, 3);
    QCOMPARE(three(1), QStringLiteral("8"));
    QCOMPARE(three(2), QStringLiteral("30"));
    QCOMPARE(three(3), QStringLiteral("75"));

    // Only entries 1..Ncol take part.
    three(1) = QStringLiteral("75");
    three(2) = QStringLiteral("8");
    three(3) = QStringLiteral("1");
    ordina(three, 2);
    QCOMPARE(three(1), QStringLiteral("8"));
    QCOMPARE(three(2), QStringLiteral("75"));
    QCOMPARE(three(3), QStringLiteral("1"));
    ordina(three, 1);
    ordina(three, 0);
    QCOMPARE(three(1), QStringLiteral("8"));
    QCOMPARE(three(2), QStringLiteral("75"));

    Lista90 lista;
    riempi_numeri(lista);
    for (int i = 1; i <= 45; ++i)
        std::swap(lista(i), lista(91 - i));
    ordina(lista, 90);
    for (int i = 1; i <= 90; ++i)
        QCOMPARE(lista(i), QString::number(i));
}

void TestDealer::sortsColumnsKeepingCells()
{
    Cartella card;
    card.cella(1, 5) = QStringLiteral("47");
    card.cella(3, 5) = QStringLiteral("41");
    card.cella(2, 1) = QStringLiteral("9");
    card.cella(1, 9) = QStringLiteral("90");
    card.cella(2, 9) = QStringLiteral("85");
    card.cella(3, 9) = QStringLiteral("80");
    card.cella(1, 2) = QStringLiteral("10");
    card.cella(2, 2) = QStringLiteral("19");
    ordina_colonna(card);

    Cartella expected;
    expected.cella(1, 5) = QStringLiteral("41");
    expected.cella(3, 5) = QStringLiteral("47");
    expected.cella(2, 1) = QStringLiteral("9");
    expected.cella(1, 9) = QStringLiteral("80");
    expected.cella(2, 9) = QStringLiteral("85");
    expected.cella(3, 9) = QStringLiteral("90");
    expected.cella(1, 2) = QStringLiteral("10");
    expected.cella(2, 2) = QStringLiteral("19");
    QCOMPARE(card, expected);
}

void TestDealer::shiftCompacts()
{
    Lista90 empty;
    QVERIFY(shift_cartella(empty));
    QCOMPARE(empty, Lista90());

    Lista90 scattered;
    scattered(2) = QStringLiteral("33");
    scattered(3) = QStringLiteral("7");
    scattered(40) = QStringLiteral("90");
    scattered(90) = QStringLiteral("1");
    QVERIFY(!shift_cartella(scattered));
    QCOMPARE(scattered, pool({33, 7, 90, 1}));

    Lista90 full;
    riempi_numeri(full);
    Lista90 copy = full;
    QVERIFY(!shift_cartella(full));
    QCOMPARE(full, copy);
}

void TestDealer::setsOfSixKeepTheRules()
{
    FakeRandom random(2024);
    for (int set = 0; set < 300; ++set) {
        Lista90 lista;
        genera_tombola(lista, random);
        QSet<int> dealt;
        int numbers = 0;
        for (std::int16_t k = 1; k <= 6; ++k) {
            Cartella card;
            genera_cartella(card, k, lista);
            shift_cartella(lista);
            const QString broken = limitsBroken(card);
            QVERIFY2(broken.isEmpty(),
                     qPrintable(QStringLiteral("set %1 card %2: %3").arg(set).arg(k).arg(broken)));
            for (int r = 1; r <= 3; ++r) {
                for (int c = 1; c <= 9; ++c) {
                    if (!card.cella(r, c).isEmpty()) {
                        dealt.insert(card.cella(r, c).toInt());
                        ++numbers;
                    }
                }
            }
        }
        QCOMPARE(dealt.size(), numbers); // no number twice within the set
        // Whatever was not dealt is still in the pool, at its front.
        int left = 0;
        while (left < 90 && !lista(left + 1).isEmpty()) {
            ++left;
            QVERIFY(!dealt.contains(lista(left).toInt()));
        }
        QCOMPARE(numbers + left, 90);
    }
}

void TestDealer::sixthCardStatistics()
{
    constexpr int sets = 4000;
    FakeRandom random(90);
    int sizes[16] = {};
    int fullFirstFive = 0;
    for (int set = 0; set < sets; ++set) {
        Lista90 lista;
        genera_tombola(lista, random);
        bool allFull = true;
        for (std::int16_t k = 1; k <= 6; ++k) {
            Cartella card;
            genera_cartella(card, k, lista);
            shift_cartella(lista);
            const int n = countIn(card);
            if (k <= 5)
                allFull = allFull && n == 15;
            else
                ++sizes[n];
        }
        fullFirstFive += allFull ? 1 : 0;
    }
    const double p15 = double(sizes[15]) / sets;
    const double p14 = double(sizes[14]) / sets;
    const double p13 = double(sizes[13]) / sets;
    qInfo("sixth card: 15 in %.3f, 14 in %.3f, 13 in %.3f, first five full in %.4f", p15, p14, p13,
          double(fullFirstFive) / sets);
    QVERIFY2(p15 > 0.15 && p15 < 0.35, qPrintable(QString::number(p15)));
    QVERIFY2(p14 > 0.38 && p14 < 0.62, qPrintable(QString::number(p14)));
    QVERIFY2(p13 > 0.15 && p13 < 0.35, qPrintable(QString::number(p13)));
    QVERIFY(p15 + p14 + p13 > 0.88);
    QVERIFY(double(fullFirstFive) / sets > 0.97);
}

QTEST_APPLESS_MAIN(TestDealer)
#include "test_dealer.moc"
