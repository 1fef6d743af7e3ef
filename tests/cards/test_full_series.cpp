// The full-series dealer: the rules of a series over many series, a broken generator, and the
// spread of numbers over card places and rows, with biased dealers to show the spread check bites.

#include "cards/card_code.h"
#include "cards/full_series.h"

#include <QTest>
#include <algorithm>
#include <cmath>

namespace
{

// The first rule a set of six cards breaks, empty when it is a full series.
QString seriesFaults(const CardSet &set)
{
    std::array<int, 91> seen{};
    for (std::size_t p = 0; p < set.size(); ++p) {
        const QString card = QStringLiteral("card %1: ").arg(p + 1);
        int onCard = 0;
        for (int r = 1; r <= 3; ++r) {
            int inRow = 0;
            for (int c = 1; c <= 9; ++c) {
                const QString &text = set[p].cella(r, c);
                if (text.isEmpty()) continue;
                const int n = valore(text);
                if (n < 1 || n > 90 || QString::number(n) != text)
                    return card + QStringLiteral("'%1'").arg(text);
                if (colonna_di(n) != c) return card + QStringLiteral("%1 in column %2").arg(n).arg(c);
                for (int above = 1; above < r; ++above) {
                    if (valore(set[p].cella(above, c)) > n)
                        return card + QStringLiteral("column %1 not sorted").arg(c);
                }
                ++seen[std::size_t(n)];
                ++inRow;
            }
            if (inRow != 5) return card + QStringLiteral("row %1 holds %2").arg(r).arg(inRow);
            onCard += inRow;
        }
        if (onCard != 15) return card + QStringLiteral("%1 numbers").arg(onCard);
    }
    for (int n = 1; n <= 90; ++n) {
        if (seen[std::size_t(n)] != 1)
            return QStringLiteral("%1 is on %2 cards").arg(n).arg(seen[std::size_t(n)]);
    }
    return {};
}

// Where each number of a series lies: place 0..5 and row 0..2.
struct Where {
    std::array<int, 91> place{};
    std::array<int, 91> row{};
};

Where whereOf(const CardSet &set)
{
    Where w;
    for (int p = 0; p < 6; ++p) {
        for (int r = 1; r <= 3; ++r) {
            for (int c = 1; c <= 9; ++c) {
                if (const int n = set[std::size_t(p)].cella(r, c).toInt()) {
                    w.place[std::size_t(n)] = p;
                    w.row[std::size_t(n)] = r - 1;
                }
            }
        }
    }
    return w;
}

// The numbers of column c (1..9), ascending.
QList<int> columnNumbers(int c)
{
    QList<int> out;
    for (int n = 1; n <= 90; ++n)
        if (colonna_di(n) == c) out << n;
    return out;
}

// The greatest deviations, in standard deviations, of two counts from what a fair dealer gives:
// - each number on each place: a sixth of the series;
// - each cell (place, column, row) filled: the same for the three rows of a column. With columns
//   sorted, this is what decides which rows a number can land on.
struct Spread {
    double place = 0, placeChi2PerDof = 0, cell = 0;
    bool fair(double limit) const { return place < limit && cell < limit; }
};

class SpreadCount
{
public:
    void add(const Where &w)
    {
        ++m_series;
        for (int n = 1; n <= 90; ++n) {
            const auto p = std::size_t(w.place[std::size_t(n)]);
            const auto r = std::size_t(w.row[std::size_t(n)]);
            ++m_onPlace[std::size_t(n)][p];
            ++m_cell[p][std::size_t(colonna_di(n) - 1)][r];
        }
    }

    Spread spread() const
    {
        Spread s;
        const double n = m_series;
        const double expected = n / 6;
        const double sd = std::sqrt(n * (1.0 / 6) * (5.0 / 6));
        double chi2 = 0;
        for (int k = 1; k <= 90; ++k) {
            for (int p = 0; p < 6; ++p) {
                const double o = m_onPlace[std::size_t(k)][std::size_t(p)];
                s.place = std::max(s.place, std::abs(o - expected) / sd);
                chi2 += (o - expected) * (o - expected) / expected;
            }
        }
        s.placeChi2PerDof = chi2 / (90 * 5);
        for (const auto &place : m_cell) {
            for (const auto &column : place) {
                const double total = column[0] + column[1] + column[2];
                const double q = total / (3 * n);
                for (const int o : column)
                    s.cell = std::max(s.cell, std::abs(o - total / 3) / std::sqrt(n * q * (1 - q)));
            }
        }
        return s;
    }

private:
    int m_series = 0;
    std::array<std::array<int, 6>, 91> m_onPlace{};
    std::array<std::array<std::array<int, 3>, 9>, 6> m_cell{};
};

// Card `p` with rows `a` and `b` exchanged, its columns sorted again: still a card of the series.
void swapRows(Where &w, int p, int a, int b)
{
    for (int c = 1; c <= 9; ++c) {
        QList<int> numbers, rows;
        for (const int n : columnNumbers(c)) {
            if (w.place[std::size_t(n)] != p) continue;
            int &r = w.row[std::size_t(n)];
            r = r == a ? b : r == b ? a : r;
            numbers << n;
            rows << r;
        }
        std::sort(rows.begin(), rows.end());
        for (qsizetype i = 0; i < numbers.size(); ++i)
            w.row[std::size_t(numbers[i])] = rows[i];
    }
}

// Far beyond what chance gives a fair dealer in any cell (about 3 at most over these few hundred
// cells; 5 has odds near one in two million a cell).
constexpr double bound = 5.0;
constexpr int spreadSeries = 20000;

} // namespace

class TestFullSeries : public QObject
{
    Q_OBJECT

private slots:
    void theRuleCheckCatchesBrokenSets_data();
    void theRuleCheckCatchesBrokenSets();
    void everySeriesKeepsTheRules();
    void aStuckGeneratorStillDealsAFullSeries_data();
    void aStuckGeneratorStillDealsAFullSeries();
    void noPlaceOrRowIsFavoured();
};

void TestFullSeries::theRuleCheckCatchesBrokenSets_data()
{
    QTest::addColumn<int>("breakage");
    QTest::addColumn<QString>("fault");
    QTest::newRow("the classic dealer's set of series 0") << 0 << "card 6: row 3 holds 4";
    QTest::newRow("a number in the next column") << 1 << "in column";
    QTest::newRow("a column upside down") << 2 << "not sorted";
    QTest::newRow("a card twice") << 3 << "is on 2 cards";
    QTest::newRow("a number up a row") << 4 << "card 1: row 1 holds 6";
}

void TestFullSeries::theRuleCheckCatchesBrokenSets()
{
    QFETCH(int, breakage);
    QFETCH(QString, fault);
    CardSet set = fullSeries(3);
    QCOMPARE(seriesFaults(set), QString());
    Cartella &card = set[0];
    // A number of card 1 beside an empty cell (rows 1 and 2 of one column, or columns c and c + 1).
    auto firstColumn = [&](auto test) {
        for (int c = 1; c <= 9; ++c)
            if (test(c)) return c;
        return 0;
    };
    switch (breakage) {
    case 0:
        for (int k = 1; k <= 6; ++k)
            set[std::size_t(k - 1)] = carta_da_codice(0, k);
        break;
    case 1: {
        const int c = firstColumn(
            [&](int k) { return k < 9 && !card.cella(1, k).isEmpty() && card.cella(1, k + 1).isEmpty(); });
        QVERIFY(c);
        std::swap(card.cella(1, c), card.cella(1, c + 1));
        break;
    }
    case 2: {
        const int c =
            firstColumn([&](int k) { return !card.cella(1, k).isEmpty() && !card.cella(2, k).isEmpty(); });
        QVERIFY(c);
        std::swap(card.cella(1, c), card.cella(2, c));
        break;
    }
    case 3:
        set[1] = card;
        break;
    case 4: {
        const int c =
            firstColumn([&](int k) { return card.cella(1, k).isEmpty() && !card.cella(2, k).isEmpty(); });
        QVERIFY(c);
        std::swap(card.cella(1, c), card.cella(2, c));
        break;
    }
    }
    const QString found = seriesFaults(set);
    QVERIFY2(found.contains(fault), qPrintable(found));
}

void TestFullSeries::everySeriesKeepsTheRules()
{
    SeriesGenerator pick(90);
    std::array<int, 6> rebuilt{};
    for (int i = 0; i < 3000; ++i) {
        const quint32 serie = i < 2 ? (i == 0 ? 0 : seriesCount - 1) : quint32(pick.next64() % seriesCount);
        const CardSet set = fullSeries(serie);
        const QString fault = seriesFaults(set);
        if (!fault.isEmpty()) QFAIL(qPrintable(QStringLiteral("series %1: %2").arg(serie).arg(fault)));
        // Same series, same cards: a card's code rebuilds it.
        const int p = i % 6;
        rebuilt[std::size_t(p)] +=
            set[std::size_t(p)] == carta_da_codice(serie, p + 1, CardDealer::FullSeries) ? 1 : 0;
    }
    QCOMPARE(rebuilt, (std::array<int, 6>{500, 500, 500, 500, 500, 500}));
    QVERIFY(fullSeries(7) != fullSeries(8));
}

void TestFullSeries::aStuckGeneratorStillDealsAFullSeries_data()
{
    QTest::addColumn<double>("r");
    QTest::newRow("always 0") << 0.0;
    QTest::newRow("always just below 1") << 0.999999;
    QTest::newRow("always one half") << 0.5;
}

void TestFullSeries::aStuckGeneratorStillDealsAFullSeries()
{
    QFETCH(double, r);
    int calls = 0;
    const CardSet set = dealFullSeries([&] {
        ++calls;
        return r;
    });
    QCOMPARE(seriesFaults(set), QString());
    QVERIFY(calls < 1000 * 90 + 6 * 9 + 1); // gave up on the shuffle, and did not hang
}

void TestFullSeries::noPlaceOrRowIsFavoured()
{
    // The same series seen as dealt, and with two kinds of bias a faulty dealer could have:
    // one series in 40 has the card holding 90 moved to the front; one series in 10 has card 1's
    // first column pulled to the top row.
    SpreadCount fair, placeBias, rowBias;
    for (int s = 0; s < spreadSeries; ++s) {
        const Where w = whereOf(fullSeries(quint64(s)));
        fair.add(w);
        Where p = w;
        if (s % 40 == 0) {
            const int from = p.place[90];
            for (int &place : p.place)
                place = place == from ? 0 : place == 0 ? from : place;
        }
        placeBias.add(p);
        Where q = w;
        if (s % 10 == 0) {
            for (const int n : columnNumbers(1)) {
                if (q.place[std::size_t(n)] == 0 && q.row[std::size_t(n)] != 0) {
                    bool topFree = true;
                    for (const int m : columnNumbers(1))
                        topFree = topFree && !(q.place[std::size_t(m)] == 0 && q.row[std::size_t(m)] == 0);
                    if (topFree) swapRows(q, 0, 0, q.row[std::size_t(n)]);
                    break;
                }
            }
        }
        rowBias.add(q);
    }
    const Spread f = fair.spread(), p = placeBias.spread(), q = rowBias.spread();
    auto show = [](const char *what, const Spread &x) {
        qInfo("%-22s max |z|: place %.2f  cell %.2f  place chi2/dof %.3f", what, x.place, x.cell,
              x.placeChi2PerDof);
    };
    show("fair", f);
    show("place bias (1 in 40)", p);
    show("row bias (1 in 10)", q);
    QVERIFY(f.fair(bound));
    QVERIFY(f.placeChi2PerDof < 1.3); // 450 degrees of freedom: 1 +- 0.07
    QVERIFY(!p.fair(bound));
    QVERIFY(!q.fair(bound));
}

QTEST_APPLESS_MAIN(TestFullSeries)
#include "test_full_series.moc"
