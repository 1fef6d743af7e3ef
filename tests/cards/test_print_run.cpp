// The print run behind the card panel, on the game's own record: the count check of both paths,
// the cards printed, the printer's refusals, and the runs that must not start.

#include "fakes/game_harness.h"
#include "fakes/recording_canvas.h"

#include <QTest>

namespace
{
int footers(const RecordingCanvas &c)
{
    int n = 0;
    for (const auto &call : c.ofKind(RecordingCanvas::Kind::PrintLine))
        n += call.text.contains(QLatin1String("cartella N=")) ? 1 : 0;
    return n;
}

// A canvas that keeps its record in a shared log after the run destroys it.
struct LoggedCanvas : RecordingCanvas {
    QList<QList<Call>> *log;
    explicit LoggedCanvas(QList<QList<Call>> *l) : log(l) {}
    ~LoggedCanvas() override { log->append(calls); }
};
} // namespace

class TestPrintRun : public QObject
{
    Q_OBJECT

private slots:
    void countsAreCheckedOnBothPaths_data();
    void countsAreCheckedOnBothPaths();
    void aValidCountPrintsThatManyCards_data();
    void aValidCountPrintsThatManyCards();
    void noPrinterIsReportedAndALaterRunPrints();
    void aFailingPrinterIsReported();
    void printedCardsAreInPlay();
    void noRunStartsDuringADraw();
    void aPdfRunWithoutAFileLeavesTheNextRunFree();
    void aShortCardIsToldInTheRunsLine();
};

void TestPrintRun::countsAreCheckedOnBothPaths_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("0") << "0";
    QTest::newRow("31") << "31";
    QTest::newRow("99") << "99";
    QTest::newRow("empty") << "";
    QTest::newRow("/3") << "/3";
    QTest::newRow("pasted 0.4") << "0.4";
}

void TestPrintRun::countsAreCheckedOnBothPaths()
{
    QFETCH(QString, typed);
    GameHarness h;
    const auto byClick = h.printCards(typed);
    QVERIFY(byClick);
    QCOMPARE(byClick->text, QStringLiteral("valore invalido  ( digitare da 1 a 30 cartelle ) "));
    QCOMPARE(byClick->kind, Notice::Kind::Plain);
    QCOMPARE(h.state().conta_cartelle, std::int16_t(-1));

    const auto byEnter = h.enterCount(typed);
    QVERIFY(byEnter);
    QCOMPARE(byEnter->text, QStringLiteral("digitare non piu di 30 "));
    QCOMPARE(byEnter->kind, Notice::Kind::Question);
    QCOMPARE(h.printer.opened, 0);
}

void TestPrintRun::aValidCountPrintsThatManyCards_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("1 by click") << "1" << 1 << false;
    QTest::newRow("1/2 by click") << "1/2" << 1 << false;
    QTest::newRow("4 by Enter") << "4" << 4 << true;
    QTest::newRow("30 by click") << "30" << 30 << false;
}

void TestPrintRun::aValidCountPrintsThatManyCards()
{
    QFETCH(QString, typed);
    QFETCH(int, cards);
    QFETCH(bool, byEnter);
    GameHarness h;
    QList<QList<RecordingCanvas::Call>> log;
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    const auto notice = byEnter ? h.enterCount(typed) : h.printCards(typed);
    QVERIFY(!notice);
    QCOMPARE(log.size(), 1);
    RecordingCanvas doc;
    doc.calls = log[0];
    QCOMPARE(footers(doc), cards);
    QCOMPARE(doc.ofKind(RecordingCanvas::Kind::EndDoc).size(), 1);
    QCOMPARE(h.state().num_cartelle, std::int16_t(cards));
    QCOMPARE(h.state().conta_cartelle, std::int16_t(cards - 1));
    // Printing leaves the game ready to start.
    QVERIFY(h.view.isEnabled(Control::cmd_estrai));
    QCOMPARE(h.state().quanti_da_estrarre, std::int16_t(90));
}

void TestPrintRun::noPrinterIsReportedAndALaterRunPrints()
{
    GameHarness h;
    const auto notice = h.printCards("3");
    QVERIFY(notice);
    QCOMPARE(notice->kind, Notice::Kind::Error);
    QCOMPARE(notice->text, h.printer.refusal);
    QCOMPARE(notice->title, QStringLiteral("Stampa delle cartelle"));
    QVERIFY(!h.printRun.isPrinting());

    QList<QList<RecordingCanvas::Call>> log;
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    QVERIFY(!h.printCards("3"));
    QCOMPARE(log.size(), 1);
}

void TestPrintRun::aFailingPrinterIsReported()
{
    GameHarness h;
    h.printer.make = [] {
        auto c = std::make_unique<RecordingCanvas>();
        c->failNewPageAt = 1;
        return c;
    };
    const auto notice = h.printCards("9");
    QVERIFY(notice);
    QCOMPARE(notice->kind, Notice::Kind::Error);
    QVERIFY(!notice->text.isEmpty());
    QVERIFY(!h.printRun.isPrinting());
}

void TestPrintRun::printedCardsAreInPlay()
{
    // Only the cards of runs that reached the printer whole can win: each printed code is in play,
    // a code of the same series beyond the count is not, and a failed run adds none.
    GameHarness h;
    QList<QList<RecordingCanvas::Call>> log;
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    QVERIFY(!h.printCards("8"));
    RecordingCanvas doc;
    doc.calls = log[0];
    QStringList codes;
    for (const auto &call : doc.ofKind(RecordingCanvas::Kind::PrintLine))
        if (call.text.contains(QLatin1String("   serie ")))
            codes << call.text.section(QStringLiteral("   serie "), 1);
    QCOMPARE(codes.size(), 8);
    const CardsInPlay &inPlay = h.printRun.cardsInPlay();
    QCOMPARE(inPlay.size(), 8);
    for (const QString &code : codes) {
        const CodeReading reading = parseCardCode(code);
        QCOMPARE(reading.error, CodeError::None);
        QVERIFY2(inPlay.contains(reading.code), qPrintable(code));
    }
    // Each with its numbers as printed and its number in the evening.
    for (qsizetype i = 0; i < inPlay.size(); ++i) {
        const CardCode &c = inPlay.at(i).code;
        QCOMPARE(inPlay.at(i).card, carta_da_codice(c.series, c.place, c.dealer));
        QCOMPARE(inPlay.at(i).number, int(i) + 1);
    }
    const CardCode second = parseCardCode(codes[6]).code; // place 1 of the second set
    QVERIFY(!inPlay.contains({second.series, 3, second.dealer}));
    QVERIFY(!inPlay.contains({second.series, 1, CardDealer::FullSeries}));

    h.printer.make = [] {
        auto c = std::make_unique<RecordingCanvas>();
        c->failEndDoc = true;
        return c;
    };
    QVERIFY(h.printCards("3"));
    QCOMPARE(inPlay.size(), 8);

    // The next run goes on numbering the evening's cards, and the game's numbers stay as they were.
    const Lista90 history = h.state().numeri_estratti;
    log.clear();
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    QVERIFY(!h.printCards("2"));
    doc.calls = log[0];
    QStringList footers;
    for (const auto &call : doc.ofKind(RecordingCanvas::Kind::PrintLine))
        if (call.text.contains(QLatin1String("cartella N=")))
            footers << call.text.section(QStringLiteral("N="), 1).section(QLatin1Char(' '), 1, 1);
    QCOMPARE(footers, QStringList({"9", "10"}));
    QCOMPARE(h.state().numeri_estratti, history);
    QCOMPARE(h.printRun.lastSummary(),
             QStringLiteral("Stampate 2 cartelle, serie ") + formatCardCode(inPlay.at(8).code).left(5));
}

void TestPrintRun::noRunStartsDuringADraw()
{
    // A click on "OK" handled at a pump of the draw keeps its count but prints nothing: the run
    // would shuffle the history the draw is writing.
    GameHarness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    std::optional<Notice> during = Notice{};
    h.clock.onPump = [&](FakeClock::Point) {
        if (h.drawn().size() == 2 && !h.state().sospeso) {
            during = h.printCards("5");
            h.stopQuietly();
        }
    };
    h.click(Control::cmd_estrai);
    QVERIFY(!during);
    QCOMPARE(h.printer.opened, 0);
    QCOMPARE(h.state().num_cartelle, std::int16_t(5));
    QCOMPARE(h.invariantFault(), QString());
}

void TestPrintRun::aPdfRunWithoutAFileLeavesTheNextRunFree()
{
    // Giving up the file, or a second click while the file is asked for, starts nothing; and the
    // run after it prints, so no give-up leaves the panel stuck.
    GameHarness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    QVERIFY(!h.printCards("2", true, [] { return QString(); }));
    QCOMPARE(h.printer.opened, 0);
    QVERIFY(!h.printRun.isPrinting());

    std::optional<Notice> behind = Notice{};
    QVERIFY(!h.printCards("2", true, [&] {
        behind = h.printCards("2");
        return QString();
    }));
    QVERIFY(!behind);
    QCOMPARE(h.printer.opened, 0);

    QVERIFY(!h.printCards("2", true, [] { return QStringLiteral("cartelle.pdf"); }));
    QCOMPARE(h.printer.opened, 1);
    QCOMPARE(h.state().conta_cartelle, std::int16_t(1));
}

QTEST_GUILESS_MAIN(TestPrintRun)
#include "test_print_run.moc"

void TestPrintRun::aShortCardIsToldInTheRunsLine()
{
    // The dealer of sets of six may leave a set's last card short; a short card wins the tombola
    // with fewer numbers, so the line that reports the run says so. Full series never are.
    int told = 0, runs = 0;
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        GameHarness h(seed);
        h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
        for (const CardDealer dealer : {CardDealer::Classic, CardDealer::FullSeries}) {
            const qsizetype before = h.printRun.cardsInPlay().size();
            QVERIFY(!h.printRun.print(6, false, false, dealer, h.record(), {}));
            ++runs;
            QList<int> shortOnes;
            for (qsizetype k = before; k < h.printRun.cardsInPlay().size(); ++k) {
                int numbers = 0;
                const Cartella &card = h.printRun.cardsInPlay().at(k).card;
                for (int r = 1; r <= Cartella::righe; ++r)
                    for (int c = 1; c <= Cartella::colonne; ++c)
                        numbers += card.cella(r, c).isEmpty() ? 0 : 1;
                if (numbers < 15) shortOnes << numbers;
            }
            const QString line = h.printRun.lastSummary();
            if (dealer == CardDealer::FullSeries) QVERIFY(shortOnes.isEmpty());
            if (shortOnes.isEmpty())
                QVERIFY2(!line.contains(QStringLiteral("di cui")), qPrintable(line));
            else if (shortOnes.size() == 1)
                QVERIFY2(line.endsWith(QStringLiteral(", di cui una con %1 numeri").arg(shortOnes.first())),
                         qPrintable(line));
            else
                QVERIFY2(
                    line.endsWith(QStringLiteral(", di cui %1 con meno di 15 numeri").arg(shortOnes.size())),
                    qPrintable(line));
            told += shortOnes.isEmpty() ? 0 : 1;
        }
    }
    // The classic dealer left a short card in many of these runs: the case was met, not assumed.
    QVERIFY2(told > 5, qPrintable(QString::number(told)));
    qInfo("%d of %d runs of six had a short card", told, runs);
}
