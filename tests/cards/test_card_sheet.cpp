#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "fakes/fake_random.h"
#include "fakes/recording_canvas.h"
#include "game/game_state.h"

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using Kind = RecordingCanvas::Kind;
using Call = RecordingCanvas::Call;

namespace
{

const double numberX[9] = {1835, 2752.5, 3670, 4587.5, 5505, 6422.5, 7340, 8257.5, 9175};
const double separatorX[8] = {2422.2, 3339.7, 4257.2, 5174.7, 6092.2, 7009.7, 7927.2, 8844.7};
constexpr double frameLeft = 1468;
constexpr double frameRight = 9909;

bool near(double a, double b)
{
    return std::abs(a - b) < 0.01;
}

#define QCOMPARE_NEAR(actual, expected)                                                                      \
    QVERIFY2(near((actual), (expected)),                                                                     \
             qPrintable(                                                                                     \
                 QStringLiteral("%1 is %2, expected %3").arg(#actual).arg(actual, 0, 'f', 3).arg(expected)))

bool isFooter(const Call &call)
{
    return call.kind == Kind::PrintLine && call.text.contains(QStringLiteral("cartella N="));
}

int footerNumber(const Call &call)
{
    return call.text.section(QStringLiteral("N= "), 1).section(QLatin1Char(' '), 0, 0).toInt();
}

// Every cell holds a number of its column, so every position is drawn.
Cartella fullGrid()
{
    Cartella card;
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c)
            card.cella(r, c) = QString::number(c == 1 ? r : (c - 1) * 10 + r);
    }
    return card;
}

// The drawing calls of each page, split at the page breaks.
QList<QList<Call>> pages(const RecordingCanvas &canvas)
{
    QList<QList<Call>> out{{}};
    for (const Call &call : canvas.calls) {
        if (call.kind == Kind::NewPage)
            out.append(QList<Call>{});
        else if (call.kind != Kind::EndDoc && call.kind != Kind::Marker)
            out.last().append(call);
    }
    // A break followed by nothing draws no page.
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

} // namespace

class TestCardSheet : public QObject
{
    Q_OBJECT

private slots:
    void drawsOneCardInOrder();
    void coordinatesForEachPlace_data();
    void coordinatesForEachPlace();
    void pageStructure_data();
    void pageStructure();
    void reshufflesEverySixCards();
    void printedCardsKeepTheRules();
    void stopsWhenTheCanvasRefuses();
    void rejectsCountsOutsideTheRange();
};

void TestCardSheet::drawsOneCardInOrder()
{
    Cartella card;
    card.cella(1, 5) = QStringLiteral("47");
    card.cella(3, 5) = QStringLiteral("41");
    card.cella(2, 1) = QStringLiteral("8");
    card.cella(1, 9) = QStringLiteral("90");
    RecordingCanvas canvas;
    float alto = 3;
    std::int16_t numero = 1;
    stampa_cartella(alto, numero, card, canvas, QStringLiteral("14/05/24"));

    const QList<Kind> number = {Kind::MoveTo, Kind::PrintLine};
    QList<Kind> expectedKinds = {Kind::FontSize, Kind::PenWidth};
    expectedKinds += number + number; // row 1: 41 (sorted up), 90
    expectedKinds += number;          // row 2: 8
    expectedKinds += number;          // row 3: 47
    expectedKinds += {Kind::Rectangle, Kind::PenWidth};
    for (int i = 0; i < 8 + 3; ++i)
        expectedKinds += Kind::Line;
    expectedKinds += {Kind::MoveTo, Kind::FontSize, Kind::PrintLine, Kind::FontSize};
    QList<Kind> kinds;
    for (const Call &call : canvas.calls)
        kinds.append(call.kind);
    QCOMPARE(kinds, expectedKinds);

    const QList<Call> &c = canvas.calls;
    QCOMPARE(c[0].a, 20.0);
    QCOMPARE(c[1].a, 8.0);
    QCOMPARE(c[3].text, QStringLiteral("41"));
    QCOMPARE(c[5].text, QStringLiteral("90"));
    QCOMPARE(c[7].text, QStringLiteral("8"));
    QCOMPARE(c[9].text, QStringLiteral("47"));
    QCOMPARE(c[11].a, 2.0);
    QCOMPARE(c[24].a, 8.0);
    QCOMPARE(c[25].text,
             QStringLiteral("la tombola del Vandrello Corvalo          14/05/24     cartella N= 1 "));
    QCOMPARE(c[26].a, 20.0);

    QCOMPARE(card, Cartella());
    QCOMPARE(alto, 3.0f);

    // With a code, the footer keeps its pieces and ends with it.
    RecordingCanvas coded;
    card.cella(2, 1) = QStringLiteral("8");
    stampa_cartella(alto, numero, card, coded, QStringLiteral("14/05/24"), QStringLiteral("7KQ3M-4 X"));
    QCOMPARE(coded.ofKind(Kind::PrintLine).last().text,
             QStringLiteral(
                 "la tombola del Vandrello Corvalo          14/05/24     cartella N= 1    serie 7KQ3M-4 X"));
}

void TestCardSheet::coordinatesForEachPlace_data()
{
    QTest::addColumn<float>("alto");
    QTest::addColumn<QList<double>>("rowY");
    QTest::addColumn<double>("frameTop");
    QTest::addColumn<double>("frameBottom");
    QTest::addColumn<QList<double>>("ruleY");
    QTest::addColumn<double>("footerY");
    QTest::newRow("first") << 3.0f << QList<double>{1835, 2569, 3303} << 1724.9 << 3890.2
                           << QList<double>{1724.9, 2458.9, 3192.9} << 4037.0;
    QTest::newRow("second") << 16.0f << QList<double>{6606, 7340, 8074} << 6495.9 << 8661.2
                            << QList<double>{6495.9, 7229.9, 7963.9} << 8808.0;
    QTest::newRow("third") << 29.0f << QList<double>{11377, 12111, 12845} << 11266.9 << 13432.2
                           << QList<double>{11266.9, 12000.9, 12734.9} << 13579.0;
}

void TestCardSheet::coordinatesForEachPlace()
{
    QFETCH(float, alto);
    QFETCH(QList<double>, rowY);
    QFETCH(double, frameTop);
    QFETCH(double, frameBottom);
    QFETCH(QList<double>, ruleY);
    QFETCH(double, footerY);

    Cartella card = fullGrid();
    const Cartella grid = card;
    RecordingCanvas canvas;
    std::int16_t numero = 12;
    stampa_cartella(alto, numero, card, canvas, QStringLiteral("d"));

    // Each number sits where its cell is, and says what the cell held.
    const QList<Call> moves = canvas.ofKind(Kind::MoveTo);
    const QList<Call> texts = canvas.ofKind(Kind::PrintLine);
    QCOMPARE(moves.size(), 28);
    QCOMPARE(texts.size(), 28);
    for (int i = 0; i < 27; ++i) {
        const int r = i / 9 + 1;
        const int c = i % 9 + 1;
        QCOMPARE_NEAR(moves[i].a, numberX[c - 1]);
        QCOMPARE_NEAR(moves[i].b, rowY[r - 1]);
        QCOMPARE(texts[i].text, grid.cella(r, c));
    }
    QCOMPARE_NEAR(moves[27].a, 3670.0);
    QCOMPARE_NEAR(moves[27].b, footerY);
    QVERIFY(texts[27].text.endsWith(QStringLiteral("     cartella N= 12 ")));

    const QList<Call> frames = canvas.ofKind(Kind::Rectangle);
    QCOMPARE(frames.size(), 1);
    QCOMPARE_NEAR(frames[0].a, frameLeft);
    QCOMPARE_NEAR(frames[0].b, frameTop);
    QCOMPARE_NEAR(frames[0].c, frameRight);
    QCOMPARE_NEAR(frames[0].d, frameBottom);

    const QList<Call> lines = canvas.ofKind(Kind::Line);
    QCOMPARE(lines.size(), 11);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE_NEAR(lines[i].a, separatorX[i]);
        QCOMPARE_NEAR(lines[i].c, separatorX[i]);
        QCOMPARE_NEAR(lines[i].b, frameTop);
        QCOMPARE_NEAR(lines[i].d, frameBottom);
    }
    for (int r = 0; r < 3; ++r) {
        const Call &rule = lines[8 + r];
        QCOMPARE_NEAR(rule.a, frameLeft);
        QCOMPARE_NEAR(rule.c, frameRight);
        QCOMPARE_NEAR(rule.b, ruleY[r]);
        QCOMPARE_NEAR(rule.d, ruleY[r]);
    }
}

void TestCardSheet::pageStructure_data()
{
    QTest::addColumn<int>("n");
    for (int n : {1, 2, 3, 4, 6, 7, 30})
        QTest::addRow("%d", n) << n;
}

void TestCardSheet::pageStructure()
{
    QFETCH(int, n);
    RecordingCanvas canvas;
    FakeRandom random(n);
    GameState stato;
    QString why = QStringLiteral("untouched");
    QVERIFY(stampa_cartelle(
        std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); },
        canvas, QStringLiteral("1/2/03"), &why));
    QCOMPARE(why, QStringLiteral("untouched"));
    QCOMPARE(stato.conta_cartelle, std::int16_t(n - 1));

    // One end of document, last; a break after every third card, including the last one.
    QCOMPARE(canvas.ofKind(Kind::EndDoc).size(), 1);
    QCOMPARE(canvas.calls.last().kind, Kind::EndDoc);
    QCOMPARE(canvas.ofKind(Kind::NewPage).size(), n / 3);

    const QList<QList<Call>> drawn = pages(canvas);
    QCOMPARE(drawn.size(), (n + 2) / 3);
    const double footerY[3] = {4037, 8808, 13579};
    int expectedNumber = 1;
    for (int p = 0; p < drawn.size(); ++p) {
        int place = 0;
        for (int i = 0; i < drawn[p].size(); ++i) {
            if (!isFooter(drawn[p][i])) continue;
            QVERIFY2(place < 3, "more than three cards on a page");
            // The pieces in their order, then the card's code with its place in the set.
            const QRegularExpression footer(
                QStringLiteral(
                    "^la tombola del Vandrello Corvalo          1/2/03     cartella N= %1    serie "
                    "[0-9A-HJKMNP-TV-Z]{5}-%2 [0-9A-HJKMNP-TV-Z]$")
                    .arg(expectedNumber)
                    .arg((expectedNumber - 1) % 6 + 1));
            QVERIFY2(footer.match(drawn[p][i].text).hasMatch(), qPrintable(drawn[p][i].text));
            QCOMPARE(footerNumber(drawn[p][i]), expectedNumber++);
            QCOMPARE(drawn[p][i - 2].kind, Kind::MoveTo);
            QCOMPARE_NEAR(drawn[p][i - 2].b, footerY[place]);
            ++place;
        }
        QCOMPARE(place, p + 1 < drawn.size() ? 3 : (n - 1) % 3 + 1);
    }
    QCOMPARE(expectedNumber, n + 1);
}

void TestCardSheet::reshufflesEverySixCards()
{
    RecordingCanvas canvas;
    FakeRandom random(7);
    random.onReseed = [&canvas] { canvas.mark(QStringLiteral("reseed")); };
    GameState stato;
    QVERIFY(stampa_cartelle(
        30, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
        QStringLiteral("x")));

    // The card printed right after each reseed.
    QList<int> shuffledFor;
    bool pending = false;
    for (const Call &call : canvas.calls) {
        if (call.kind == Kind::Marker) {
            QVERIFY2(!pending, "two shuffles for one card");
            pending = true;
        } else if (pending && isFooter(call)) {
            shuffledFor.append(footerNumber(call));
            pending = false;
        }
    }
    QCOMPARE(shuffledFor, (QList<int>{1, 7, 13, 19, 25}));
    // One value of the port per set: its series, which fixes the shuffle.
    QCOMPARE(random.nexts(), 5);
}

void TestCardSheet::printedCardsKeepTheRules()
{
    RecordingCanvas canvas;
    FakeRandom random(31);
    GameState stato;
    riempi_numeri(stato.numeri_estratti); // an earlier game's history must not leak into the cards
    QVERIFY(stampa_cartelle(
        30, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
        QStringLiteral("x")));

    QSet<QString> inSet;
    QList<QPair<double, int>> card; // (x, value) of the current card, in print order
    int cardNumber = 0;
    QList<int> sizes;
    for (int i = 0; i < canvas.calls.size(); ++i) {
        const Call &call = canvas.calls[i];
        if (isFooter(call)) {
            ++cardNumber;
            sizes.append(int(card.size()));
            // Ascending down each column: a later row of the same column holds a larger number.
            for (int a = 0; a < card.size(); ++a) {
                for (int b = a + 1; b < card.size(); ++b) {
                    if (near(card[a].first, card[b].first)) QVERIFY(card[a].second < card[b].second);
                }
            }
            card.clear();
            if (cardNumber % 6 == 0) inSet.clear();
            continue;
        }
        if (call.kind != Kind::PrintLine) continue;
        const Call &move = canvas.calls[i - 1];
        QCOMPARE(move.kind, Kind::MoveTo);
        const int value = call.text.toInt();
        QVERIFY2(!inSet.contains(call.text), qPrintable(call.text + " twice in a set"));
        inSet.insert(call.text);
        QCOMPARE_NEAR(move.a, numberX[colonna_di(value) - 1]);
        card.append({move.a, value});
    }
    QCOMPARE(cardNumber, 30);
    for (int k = 0; k < 30; ++k) {
        QVERIFY(sizes[k] <= 15);
        if (k % 6 != 5) QCOMPARE(sizes[k], 15);
    }
}

void TestCardSheet::stopsWhenTheCanvasRefuses()
{
    {
        RecordingCanvas canvas;
        canvas.failNewPageAt = 1;
        FakeRandom random;
        GameState stato;
        QString why;
        QVERIFY(!stampa_cartelle(
            7, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
            QStringLiteral("x"), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(canvas.calls.last().kind, Kind::NewPage); // nothing drawn after the refusal
        int footers = 0;
        for (const Call &call : canvas.calls)
            footers += isFooter(call) ? 1 : 0;
        QCOMPARE(footers, 3);
    }
    {
        RecordingCanvas canvas;
        canvas.failEndDoc = true;
        FakeRandom random;
        GameState stato;
        QString why;
        QVERIFY(!stampa_cartelle(
            2, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
            QStringLiteral("x"), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!stampa_cartelle(
            2, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas,
            QStringLiteral("x"))); // no `why` wanted
    }
}

void TestCardSheet::rejectsCountsOutsideTheRange()
{
    RecordingCanvas canvas;
    FakeRandom random;
    GameState stato;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, stampa_cartelle(
                                                    0, stato.numeri_estratti, stato.conta_cartelle,
                                                    [&] { return newSeries(random); }, canvas, QString()));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, stampa_cartelle(
                                                    31, stato.numeri_estratti, stato.conta_cartelle,
                                                    [&] { return newSeries(random); }, canvas, QString()));
    QVERIFY(canvas.calls.isEmpty());
}

QTEST_APPLESS_MAIN(TestCardSheet)
#include "test_card_sheet.moc"
