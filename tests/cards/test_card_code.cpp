// Card codes: the fixed series shuffle, the code and its check symbol, the printed footer read back
// into the same cards, and the prizes of a card against a draw order.

#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "fakes/fake_random.h"
#include "fakes/recording_canvas.h"
#include "game/game_state.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <cmath>

using Kind = RecordingCanvas::Kind;
using Call = RecordingCanvas::Call;
using Grid = std::array<std::array<int, 9>, 3>;

namespace
{

Cartella cardOf(const Grid &grid)
{
    Cartella card;
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c) {
            const int n = grid[std::size_t(r - 1)][std::size_t(c - 1)];
            if (n) card.cella(r, c) = QString::number(n);
        }
    }
    return card;
}

// The symbols of a code without its separators.
QString compact(const QString &code)
{
    QString out = code;
    out.remove(QLatin1Char('-')).remove(QLatin1Char(' '));
    return out;
}

struct PrintedCard {
    int number = 0;
    QString code;
    Cartella card;
};

// The cards of a recorded print run: each number put back in the cell its position names.
QList<PrintedCard> readBack(const RecordingCanvas &canvas)
{
    QList<PrintedCard> out;
    QList<QPair<Call, QString>> numbers; // (its move, its text) for the current card
    Call lastMove{Kind::MoveTo, 0, 0, 0, 0, {}};
    for (const Call &call : canvas.calls) {
        if (call.kind == Kind::MoveTo) lastMove = call;
        if (call.kind != Kind::PrintLine) continue;
        if (!call.text.contains(QLatin1String("cartella N="))) {
            numbers.append({lastMove, call.text});
            continue;
        }
        PrintedCard printed;
        printed.number = call.text.section(QStringLiteral("N= "), 1).section(QLatin1Char(' '), 0, 0).toInt();
        printed.code = call.text.section(QStringLiteral("   serie "), 1);
        const double alto = lastMove.b / unita - 8.0; // the footer sits 8 units below the card top
        for (const auto &[move, text] : numbers) {
            const int col = int(std::lround((move.a / unita - 2.5) / 2.5));
            const int row = int(std::lround((move.b / unita - alto) / 2.0));
            QString &cell = printed.card.cella(row, col);
            if (!cell.isEmpty()) qFatal("two numbers printed in one cell");
            cell = text;
        }
        numbers.clear();
        out.append(printed);
    }
    return out;
}

} // namespace

class TestCardCode : public QObject
{
    Q_OBJECT

private slots:
    void generatorGivesThePublishedOutputs();
    void seriesShuffleIsTheDealersShuffle();
    void goldenCards_data();
    void goldenCards();
    void everyPrintedCardComesBackFromItsCode_data();
    void everyPrintedCardComesBackFromItsCode();
    void seriesComesFromTheRandomPort();
    void everySingleErrorAndSwapIsRefused();
    void readingTolerancesAndRefusals_data();
    void readingTolerancesAndRefusals();
    void formatRefusesValuesOutOfRange();
    void prizes_data();
    void prizes();
    void tombolaNeedsEveryNumberOfTheCard();
};

void TestCardCode::generatorGivesThePublishedOutputs()
{
    // The first outputs of the reference splitmix64.c from state 0.
    SeriesGenerator g(0);
    QCOMPARE(g.next64(), 0xE220A8397B1DCDAFULL);
    QCOMPARE(g.next64(), 0x6E789E6AA1B965F4ULL);
    QCOMPARE(g.next64(), 0x06C45D188009454FULL);
}

void TestCardCode::seriesShuffleIsTheDealersShuffle()
{
    for (quint64 serie : {quint64(0), quint64(1), quint64(0x1234567), quint64(seriesCount - 1)}) {
        SeriesGenerator g(serie);
        std::vector<double> rs;
        for (int i = 0; i < 90; ++i)
            rs.push_back(g.nextUnit());
        FakeRandom random;
        random.replay(rs);
        Lista90 dealt;
        genera_tombola(dealt, random);
        Lista90 mixed;
        mescola_serie(mixed, serie);
        QCOMPARE(mixed, dealt);
    }
    Lista90 a, b;
    mescola_serie(a, 7);
    mescola_serie(b, 8);
    QVERIFY(a != b);
}

void TestCardCode::goldenCards_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Grid>("grid");
    // Produced once by this generator and dealer, and checked by hand against the card rules.
    QTest::newRow("first of series 0") << "00000-1 2"
                                       << Grid{{{3, 11, 0, 30, 0, 0, 0, 70, 80},
                                                {0, 17, 24, 37, 0, 0, 63, 0, 86},
                                                {0, 0, 0, 39, 48, 51, 68, 0, 88}}};
    QTest::newRow("sixth of series 0, 14 numbers") << "00000-6 C"
                                                   << Grid{{{0, 14, 0, 36, 42, 52, 60, 0, 0},
                                                            {6, 0, 29, 38, 43, 0, 61, 0, 0},
                                                            {8, 0, 0, 0, 49, 54, 0, 75, 0}}};
    QTest::newRow("last series") << "ZZZZZ-3 4"
                                 << Grid{{{0, 0, 22, 31, 0, 57, 60, 75, 0},
                                          {1, 0, 25, 37, 0, 59, 0, 0, 85},
                                          {0, 12, 27, 38, 47, 0, 0, 79, 0}}};
    QTest::newRow("AQKFF-4") << "AQKFF-4 H"
                             << Grid{{{0, 0, 29, 0, 41, 56, 0, 71, 87},
                                      {0, 13, 0, 38, 43, 0, 61, 72, 0},
                                      {4, 15, 0, 0, 0, 0, 62, 78, 88}}};
    QTest::newRow("BRRAE-2") << "BRRAE-2 9"
                             << Grid{{{2, 10, 20, 34, 44, 0, 0, 0, 0},
                                      {4, 12, 22, 39, 0, 0, 0, 0, 86},
                                      {0, 19, 25, 0, 48, 0, 61, 0, 87}}};
    // Full series: places A..F. Produced once by the full-series dealer, checked by hand likewise.
    QTest::newRow("full series 0, first") << "00000-A M"
                                          << Grid{{{0, 10, 0, 32, 43, 0, 62, 0, 88},
                                                   {1, 0, 24, 35, 48, 0, 64, 0, 0},
                                                   {0, 15, 0, 36, 0, 55, 65, 73, 0}}};
    QTest::newRow("full series 0, sixth") << "00000-F Y"
                                          << Grid{{{3, 0, 25, 0, 40, 0, 0, 72, 89},
                                                   {0, 0, 26, 34, 42, 0, 68, 78, 0},
                                                   {9, 0, 29, 38, 44, 0, 0, 79, 0}}};
    QTest::newRow("full series AQKFF, fourth") << "AQKFF-D 3"
                                               << Grid{{{0, 0, 0, 30, 0, 52, 60, 73, 81},
                                                        {8, 11, 0, 0, 49, 53, 0, 0, 86},
                                                        {9, 0, 0, 39, 0, 58, 69, 78, 0}}};
}

void TestCardCode::goldenCards()
{
    QFETCH(QString, code);
    QFETCH(Grid, grid);
    const Cartella expected = cardOf(grid);
    const CodeReading reading = parseCardCode(code);
    QCOMPARE(reading.error, CodeError::None);
    QCOMPARE(formatCardCode(reading.code), code);
    QCOMPARE(carta_da_codice(reading.code.series, reading.code.place, reading.code.dealer), expected);
}

void TestCardCode::everyPrintedCardComesBackFromItsCode_data()
{
    QTest::addColumn<CardDealer>("dealer");
    QTest::addColumn<QString>("places");
    QTest::addColumn<int>("runs");
    // Rebuilding a full-series card deals its whole series: fewer runs keep the time alike.
    QTest::newRow("classic") << CardDealer::Classic << "1-6" << 600;
    QTest::newRow("full series") << CardDealer::FullSeries << "A-F" << 200;
}

void TestCardCode::everyPrintedCardComesBackFromItsCode()
{
    QFETCH(CardDealer, dealer);
    QFETCH(QString, places);
    QFETCH(int, runs);
    const QRegularExpression shape(
        QStringLiteral("^[0-9A-HJKMNP-TV-Z]{5}-[%1] [0-9A-HJKMNP-TV-Z]$").arg(places));
    QSet<quint32> seen;
    int cards = 0;
    for (std::uint32_t seed = 1; seed <= std::uint32_t(runs); ++seed) {
        RecordingCanvas canvas;
        FakeRandom random(seed);
        GameState stato;
        const std::int16_t n = seed % 5 == 0 ? std::int16_t(seed % 29 + 1) : std::int16_t(30);
        QVERIFY(stampa_cartelle(
            n, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
            QStringLiteral("1/2/03"), nullptr, dealer));
        const QList<PrintedCard> printed = readBack(canvas);
        QCOMPARE(printed.size(), int(n));
        quint32 setSeries = 0;
        for (int k = 0; k < printed.size(); ++k) {
            const PrintedCard &p = printed[k];
            QCOMPARE(p.number, k + 1);
            QVERIFY2(shape.match(p.code).hasMatch(), qPrintable(p.code));
            const CodeReading reading = parseCardCode(p.code);
            QCOMPARE(reading.error, CodeError::None);
            QCOMPARE(reading.code.place, k % 6 + 1);
            QCOMPARE(reading.code.dealer, dealer);
            if (k % 6 == 0) {
                setSeries = reading.code.series;
                seen.insert(setSeries);
            }
            QCOMPARE(reading.code.series, setSeries);
            if (carta_da_codice(reading.code.series, reading.code.place, dealer) != p.card)
                QFAIL(qPrintable(QStringLiteral("seed %1 card %2 (%3) is not its code's card")
                                     .arg(seed)
                                     .arg(k + 1)
                                     .arg(p.code)));
            ++cards;
        }
        if (dealer == CardDealer::FullSeries) {
            // The pool keeps the numbers of the last set not yet on a card: those of its unprinted
            // cards.
            QList<int> pool, unprinted;
            for (int i = 1; i <= 90; ++i)
                if (const int v = valore(stato.numeri_estratti(i))) pool << v;
            const CardSet last = fullSeries(setSeries);
            for (std::size_t p = std::size_t((n - 1) % 6 + 1); p < 6; ++p)
                for (int r = 1; r <= 3; ++r)
                    for (int c = 1; c <= 9; ++c)
                        if (const int v = valore(last[p].cella(r, c))) unprinted << v;
            std::sort(pool.begin(), pool.end());
            std::sort(unprinted.begin(), unprinted.end());
            QCOMPARE(pool, unprinted);
        }
    }
    QVERIFY(cards > 25 * runs);
    // 25-bit series drawn a few thousand times: a repeat or two at most, by chance.
    QVERIFY2(seen.size() > 4 * runs, qPrintable(QString::number(seen.size())));
}

void TestCardCode::seriesComesFromTheRandomPort()
{
    QCOMPARE(seriesFromUnit(0.0), quint32(0));
    QCOMPARE(seriesFromUnit(0.5), seriesCount / 2);
    QCOMPARE(seriesFromUnit(4294967295.0 / 4294967296.0), seriesCount - 1);
    QCOMPARE(seriesFromUnit(1.0), seriesCount - 1);

    RecordingCanvas canvas;
    FakeRandom random;
    random.onReseed = [&canvas] { canvas.mark(QStringLiteral("reseed")); };
    random.replay({0.5, 0.0, 4294967295.0 / 4294967296.0});
    GameState stato;
    QVERIFY(stampa_cartelle(
        13, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
        QStringLiteral("x")));
    const QList<PrintedCard> printed = readBack(canvas);
    QCOMPARE(printed[0].code, formatCardCode({seriesCount / 2, 1}));
    QCOMPARE(printed[0].code.left(5), QStringLiteral("G0000"));
    QCOMPARE(printed[5].code.left(7), QStringLiteral("G0000-6"));
    QCOMPARE(printed[6].code.left(7), QStringLiteral("00000-1"));
    QCOMPARE(printed[12].code.left(7), QStringLiteral("ZZZZZ-1"));
    QCOMPARE(canvas.ofKind(Kind::Marker).size(), 3); // the reseed before every set stays
    QCOMPARE(random.nexts(), 3);
}

void TestCardCode::everySingleErrorAndSwapIsRefused()
{
    const QString alphabet = QLatin1String(codeAlphabet);
    QCOMPARE(alphabet.size(), 32);
    SeriesGenerator pick(2024);
    int refused = 0;
    for (int i = 0; i < 2000; ++i) {
        const CardCode code{quint32(pick.next64() % seriesCount), i % 6 + 1,
                            i % 2 ? CardDealer::FullSeries : CardDealer::Classic};
        const QString good = compact(formatCardCode(code));
        QCOMPARE(good.size(), 7);
        const CodeReading back = parseCardCode(good);
        QCOMPARE(back.error, CodeError::None);
        QCOMPARE(back.code, code);

        for (int p = 0; p < 7; ++p) {
            for (const QChar s : alphabet) {
                if (s == good[p]) continue;
                QString bad = good;
                bad[p] = s;
                const bool placeOut = p == 5 && !(s >= QLatin1Char('1') && s <= QLatin1Char('6')) &&
                                      !(s >= QLatin1Char('A') && s <= QLatin1Char('F'));
                const CodeError expected = placeOut ? CodeError::PlaceOutOfSet : CodeError::WrongCheck;
                if (parseCardCode(bad).error != expected) QFAIL(qPrintable(bad + " from " + good));
                ++refused;
            }
        }
        // Any two different symbols swapped, neighbours or not.
        for (int a = 0; a < 7; ++a) {
            for (int b = a + 1; b < 7; ++b) {
                if (good[a] == good[b]) continue;
                QString bad = good;
                std::swap(bad[a], bad[b]);
                if (parseCardCode(bad).error == CodeError::None) QFAIL(qPrintable(bad + " from " + good));
                ++refused;
            }
        }
    }
    QVERIFY(refused > 2000 * 7 * 31);
}

void TestCardCode::readingTolerancesAndRefusals_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<CodeError>("error");
    QTest::addColumn<uint>("series");
    QTest::addColumn<int>("place");
    QTest::addColumn<CardDealer>("dealer");
    const uint s = 0x0ABCDEF;
    const QString good = formatCardCode({s, 4});
    QCOMPARE(good, QStringLiteral("AQKFF-4 H"));
    QTest::newRow("as printed") << good << CodeError::None << s << 4 << CardDealer::Classic;
    QTest::newRow("lower case") << good.toLower() << CodeError::None << s << 4 << CardDealer::Classic;
    QTest::newRow("no separators") << "AQKFF4H" << CodeError::None << s << 4 << CardDealer::Classic;
    QTest::newRow("blanks and hyphens anywhere")
        << "  aq-kff 4-h\t" << CodeError::None << s << 4 << CardDealer::Classic;
    // O, I and L are not symbols: they read as the 0 and 1 they look like.
    const uint ones = (1u << 20) | 1u;
    const QString withZeroAndOne = formatCardCode({ones, 2});
    QCOMPARE(withZeroAndOne.left(5), QStringLiteral("10001"));
    QTest::newRow("O, I and L") << QStringLiteral("IoOOl") + withZeroAndOne.mid(5) << CodeError::None << ones
                                << 2 << CardDealer::Classic;
    QTest::newRow("empty") << "" << CodeError::WrongForm << 0u << 0 << CardDealer::Classic;
    QTest::newRow("one symbol short") << "AQKFF-4" << CodeError::WrongForm << 0u << 0 << CardDealer::Classic;
    QTest::newRow("one symbol more") << "AQKFF-4 HH" << CodeError::WrongForm << 0u << 0
                                     << CardDealer::Classic;
    QTest::newRow("U is no symbol") << "AQKFU-4 H" << CodeError::WrongForm << 0u << 0 << CardDealer::Classic;
    QTest::newRow("punctuation") << "AQKFF.4 H" << CodeError::WrongForm << 0u << 0 << CardDealer::Classic;
    QTest::newRow("accented letter") << QString::fromUtf8("AQKF\u00c8-4 H") << CodeError::WrongForm << 0u << 0
                                     << CardDealer::Classic;
    QTest::newRow("full series, first") << "AQKFF-A D" << CodeError::None << s << 1 << CardDealer::FullSeries;
    QTest::newRow("full series, sixth") << "aqkff-f 7" << CodeError::None << s << 6 << CardDealer::FullSeries;
    QTest::newRow("place 0") << "AQKFF-0 H" << CodeError::PlaceOutOfSet << 0u << 0 << CardDealer::Classic;
    QTest::newRow("place 7") << "AQKFF-7 H" << CodeError::PlaceOutOfSet << 0u << 0 << CardDealer::Classic;
    QTest::newRow("place 9, between the ranges")
        << "AQKFF-9 H" << CodeError::PlaceOutOfSet << 0u << 0 << CardDealer::Classic;
    QTest::newRow("place G, past A..F")
        << "AQKFF-G H" << CodeError::PlaceOutOfSet << 0u << 0 << CardDealer::Classic;
    QTest::newRow("place a letter") << "AQKFF-K H" << CodeError::PlaceOutOfSet << 0u << 0
                                    << CardDealer::Classic;
    QTest::newRow("wrong check") << "AQKFF-4 J" << CodeError::WrongCheck << 0u << 0 << CardDealer::Classic;
}

void TestCardCode::readingTolerancesAndRefusals()
{
    QFETCH(QString, typed);
    QFETCH(CodeError, error);
    QFETCH(uint, series);
    QFETCH(int, place);
    QFETCH(CardDealer, dealer);
    const CodeReading reading = parseCardCode(typed);
    QCOMPARE(reading.error, error);
    if (error == CodeError::None) QCOMPARE(reading.code, (CardCode{series, place, dealer}));
}

void TestCardCode::formatRefusesValuesOutOfRange()
{
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, formatCardCode({seriesCount, 1}));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, formatCardCode({0, 0}));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, formatCardCode({0, 7}));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, formatCardCode({0, 7, CardDealer::FullSeries}));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, carta_da_codice(0, 0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, carta_da_codice(0, 7));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, carta_da_codice(0, 7, CardDealer::FullSeries));
}

namespace
{
// Rows: 1 12 25 38 47 / 5 53 64 77 88 / 19 29 56 69 90.
const Grid handCard{
    {{1, 12, 25, 38, 47, 0, 0, 0, 0}, {5, 0, 0, 0, 0, 53, 64, 77, 88}, {0, 19, 29, 0, 0, 56, 69, 0, 90}}};
} // namespace

void TestCardCode::prizes_data()
{
    QTest::addColumn<QList<int>>("draw");
    QTest::addColumn<Prize>("best");
    QTest::addColumn<QList<int>>("rows");
    // (ordinal, number) of ambo, terno, quaterno, cinquina, tombola; 0 0 when never.
    QTest::addColumn<QList<int>>("moments");
    const QList<int> none{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("nothing drawn") << QList<int>{} << Prize::None << QList<int>{0, 0, 0} << none;
    QTest::newRow("none of its numbers") << QList<int>{2, 3, 4} << Prize::None << QList<int>{0, 0, 0} << none;
    QTest::newRow("one a row") << QList<int>{1, 53, 19} << Prize::None << QList<int>{1, 1, 1} << none;
    QTest::newRow("ambo") << QList<int>{2, 1, 3, 12, 4} << Prize::Ambo << QList<int>{2, 0, 0}
                          << QList<int>{4, 12, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("two rows of two: still ambo")
        << QList<int>{1, 5, 12, 53} << Prize::Ambo << QList<int>{2, 2, 0}
        << QList<int>{3, 12, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("a number drawn twice counts once")
        << QList<int>{1, 1, 0, 91, 12} << Prize::Ambo << QList<int>{2, 0, 0}
        << QList<int>{5, 12, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("terno") << QList<int>{90, 1, 19, 12, 56, 25} << Prize::Terno << QList<int>{3, 0, 3}
                           << QList<int>{3, 19, 5, 56, 0, 0, 0, 0, 0, 0};
    QTest::newRow("quaterno") << QList<int>{5, 53, 40, 64, 41, 77} << Prize::Quaterno << QList<int>{0, 4, 0}
                              << QList<int>{2, 53, 4, 64, 6, 77, 0, 0, 0, 0};
    QTest::newRow("cinquina") << QList<int>{88, 7, 5, 53, 1, 64, 12, 77} << Prize::Cinquina
                              << QList<int>{2, 5, 0} << QList<int>{3, 5, 4, 53, 6, 64, 8, 77, 0, 0};
    QTest::newRow("tombola") << QList<int>{1,  2,  5,  12, 19, 25, 29, 38, 47, 53,
                                           56, 60, 64, 69, 77, 88, 89, 90, 10}
                             << Prize::Tombola << QList<int>{5, 5, 5}
                             << QList<int>{4, 12, 6, 25, 8, 38, 9, 47, 18, 90};
}

void TestCardCode::prizes()
{
    QFETCH(QList<int>, draw);
    QFETCH(Prize, best);
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, moments);
    const Cartella card = cardOf(handCard);
    const CardResult result = evaluateCard(card, draw);
    QCOMPARE(result.best, best);
    QCOMPARE((QList<int>{result.outPerRow[0], result.outPerRow[1], result.outPerRow[2]}), rows);
    QList<int> got;
    for (Prize p : {Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina, Prize::Tombola})
        got << result.moment(p).ordinal << result.moment(p).number;
    QCOMPARE(got, moments);
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c) {
            const int n = valore(card.cella(r, c));
            QCOMPARE(result.marked[r - 1][c - 1], n > 0 && draw.contains(n));
        }
    }
}

void TestCardCode::tombolaNeedsEveryNumberOfTheCard()
{
    // The sixth card of a set may hold fewer than 15: all of them make the tombola.
    const Cartella sixth = carta_da_codice(0, 6);
    QList<int> numbers;
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 9; ++c)
            if (int n = valore(sixth.cella(r, c))) numbers << n;
    QCOMPARE(numbers.size(), 14);
    const QList<int> allButOne = numbers.mid(0, 13);
    QCOMPARE(evaluateCard(sixth, allButOne).best, Prize::Cinquina);
    const CardResult all = evaluateCard(sixth, allButOne + QList<int>{numbers.last()});
    QCOMPARE(all.best, Prize::Tombola);
    QCOMPARE(all.moment(Prize::Tombola), (PrizeMoment{14, numbers.last()}));

    // An empty card never makes one, even with every number out.
    QList<int> everything;
    for (int n = 1; n <= 90; ++n)
        everything << n;
    QCOMPARE(evaluateCard(Cartella(), everything).best, Prize::None);
}

QTEST_APPLESS_MAIN(TestCardCode)
#include "test_card_code.moc"
