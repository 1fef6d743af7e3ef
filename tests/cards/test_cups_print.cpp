// Prints through the default printer of a real print server. Run under scripts/with-cups.sh, which
// starts a private CUPS server with a PDF queue as its default, so each job comes back as a PDF
// file to read, and the queue and the server itself can be stopped without touching the host's.

#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "cards/cups_printer.h"
#include "fakes/fake_random.h"
#include "game/game_state.h"
#include "pdf_text.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <cups/cups.h>

namespace
{

const QString queue = QStringLiteral("PDF");

QString uniqueName(const char *what)
{
    static int serial = 0;
    return QStringLiteral("tombola-test-%1-%2-%3-%4")
        .arg(QLatin1String(what))
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(++serial);
}

bool run(const QString &program, const QStringList &args)
{
    return QProcess::execute(program, args) == 0;
}

// Job ids of the queue's jobs with this title, finished or not.
QList<int> jobsTitled(const QString &title)
{
    QList<int> ids;
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < n; ++i)
        if (jobs[i].title && QString::fromUtf8(jobs[i].title) == title) ids << jobs[i].id;
    cupsFreeJobs(n, jobs);
    return ids;
}

// Undoes a queue command (cupsaccept after cupsreject...) however the test ends.
struct Restore {
    QString program;
    QStringList args;
    ~Restore() { run(program, args); }
};

// Stops the private server for the life of the guard.
struct StoppedServer {
    pid_t pid;
    explicit StoppedServer(pid_t server) : pid(server) { ::kill(pid, SIGSTOP); }
    ~StoppedServer() { ::kill(pid, SIGCONT); }
};

struct Run {
    bool ok = false;
    QString why;
    QString failure;
    qint64 ms = 0;
};

// n cards through `canvas`; what the run and the canvas said, and how long the run took.
Run printCards(CardCanvas &canvas, int n)
{
    Run r;
    FakeRandom random(n);
    GameState stato;
    QElapsedTimer timer;
    timer.start();
    r.ok = stampa_cartelle(
        std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); },
        canvas, QStringLiteral("8/12/26"), &r.why);
    r.ms = timer.elapsed();
    r.failure = canvas.failure();
    return r;
}

} // namespace

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsCards_data();
    void printsCards();
    void refusedJobsSayWhyAndLeaveNoJob_data();
    void refusedJobsSayWhyAndLeaveNoJob();
    void stoppedServerAtLookupIsBounded();
    void stoppedServerAtHandOffIsBounded();

private:
    QString m_folder;
    SheetOrigin m_origin;
    pid_t m_server = 0;
};

void TestCupsPrint::initTestCase()
{
    const bool required = qEnvironmentVariable("TOMBOLA_REQUIRE_PRINTER") == QLatin1String("1");
    m_server = pid_t(qEnvironmentVariableIntValue("TOMBOLA_CUPSD_PID"));
    if (m_server <= 0 || qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        if (required) QFAIL("no private print server, and TOMBOLA_REQUIRE_PRINTER=1");
        QSKIP("no private print server (run under scripts/with-cups.sh)");
    }
    QVERIFY2(!QPrinterInfo::defaultPrinter().isNull(), "the private server has no default printer");
    QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), queue);
    if (!havePdftotext()) QFAIL("pdftotext (poppler-utils) is needed to read the printed jobs");
    m_folder = cupsPdfFolder();

    // Where the paper's printable area starts, as Qt's own print path sees the printer: the port
    // must put the sheet at the same place.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(queue);
    printer.setFullPage(false);
    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
    m_origin = SheetOrigin{area.left(), area.top()};
}

void TestCupsPrint::printsCards_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("4") << 4;
    QTest::newRow("7") << 7;
}

void TestCupsPrint::printsCards()
{
    QFETCH(int, n);
    const QString docName = uniqueName("cards");
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);

    CupsPrinterPort port;
    QString why;
    {
        std::unique_ptr<CardCanvas> canvas = port.open(docName, &why);
        QVERIFY2(canvas, qPrintable(why));
        FakeRandom random(n);
        GameState stato;
        QVERIFY2(stampa_cartelle(
                     std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle,
                     [&] { return newSeries(random); }, *canvas, date, &why),
                 qPrintable(why + QLatin1Char(' ') + canvas->failure()));
    }
    // The document name is the job's title.
    QCOMPARE(jobsTitled(docName).size(), 1);

    const QString file = waitForJob(m_folder, docName, 60);
    QVERIFY2(!file.isEmpty(), qPrintable(QStringLiteral("no job %1 in %2").arg(docName, m_folder)));
    const PdfText text = readPdfText(file);
    QFile::remove(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, (n + 2) / 3);

    const QList<ReadCard> cards = readCards(text, m_origin);
    QCOMPARE(cards.size(), n);
    for (int k = 0; k < n; ++k) {
        QCOMPARE(cards[k].page, k / 3 + 1);
        QCOMPARE(cards[k].place, k % 3 + 1);
        // The pieces in their order, then the code; the code on paper rebuilds the numbers on paper.
        const QRegularExpression footer(
            QStringLiteral("^la tombola del Vandrello Corvalo %1 cartella N= %2 serie (\\S+ \\S)$")
                .arg(QRegularExpression::escape(date.simplified()))
                .arg(k + 1));
        const QRegularExpressionMatch m = footer.match(cards[k].footer);
        QVERIFY2(m.hasMatch(), qPrintable(cards[k].footer));
        const CodeReading reading = parseCardCode(m.captured(1));
        QCOMPARE(reading.error, CodeError::None);
        QCOMPARE(reading.code.place, k % 6 + 1);
        const Cartella rebuilt = carta_da_codice(reading.code.series, reading.code.place);
        QList<int> expected, printed;
        for (int r = 1; r <= Cartella::righe; ++r)
            for (int c = 1; c <= Cartella::colonne; ++c)
                if (const int v = valore(rebuilt.cella(r, c))) expected << v;
        for (const PdfWord &w : cards[k].numbers)
            printed << w.text.toInt();
        std::sort(expected.begin(), expected.end());
        std::sort(printed.begin(), printed.end());
        QCOMPARE(printed, expected);
        if (k % 6 != 5) QCOMPARE(cards[k].numbers.size(), 15);
    }
    // The printer's chain re-embeds the font with other ascent figures: word boxes keep their x but
    // their tops move by a few points (rows are 36.7 points apart).
    const QString faults = sheetFaults(cards, m_origin, 1.5, 5);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
}

void TestCupsPrint::refusedJobsSayWhyAndLeaveNoJob_data()
{
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("undo");
    QTest::addColumn<QString>("says");
    QTest::newRow("rejecting") << "cupsreject"
                               << "cupsaccept"
                               << "rifiuta le stampe";
    QTest::newRow("stopped") << "cupsdisable"
                             << "cupsenable"
                             << "\u00e8 ferma";
}

void TestCupsPrint::refusedJobsSayWhyAndLeaveNoJob()
{
    QFETCH(QString, stop);
    QFETCH(QString, undo);
    QFETCH(QString, says);
    const QString docName = uniqueName("refused");
    CupsPrinterPort port;
    QString why;
    std::unique_ptr<CardCanvas> canvas = port.open(docName, &why);
    QVERIFY2(canvas, qPrintable(why));

    // The queue turns the jobs away between the lookup and the hand-off, as a printer running out of
    // paper would.
    QVERIFY(run(stop, {QStringLiteral("-r"), QStringLiteral("prova di guasto"), queue}));
    Restore restore{undo, {queue}};
    const Run r = printCards(*canvas, 4);
    QVERIFY(!r.ok);
    QVERIFY(!r.why.isEmpty());
    QVERIFY2(r.failure.startsWith(QStringLiteral("La stampante \u00abPDF\u00bb ") + says),
             qPrintable(r.failure));
    QVERIFY2(r.failure.contains(QStringLiteral("prova di guasto")), qPrintable(r.failure));
    qInfo("%s after %lld ms: %s", qPrintable(stop), r.ms, qPrintable(r.failure));
    // Told by the worker, with the server's reason, as soon as the server said it: long before the
    // stall limit, whose deadline was not what ended it.
    QCOMPARE(CupsPrinterPort::runningWorkers(), 0);
    QVERIFY2(r.ms < CupsPrinterPort::Limits{}.stall.count() / 2, qPrintable(QString::number(r.ms)));
    QVERIFY(jobsTitled(docName).isEmpty());
}

void TestCupsPrint::stoppedServerAtLookupIsBounded()
{
    CupsPrinterPort port;
    QString why;
    QElapsedTimer timer;
    {
        StoppedServer stopped(m_server);
        timer.start();
        QVERIFY(!port.open(uniqueName("lookup"), &why));
        const qint64 ms = timer.elapsed();
        const int stuck = CupsPrinterPort::runningWorkers();
        qInfo("lookup on a stopped server gave up after %lld ms, %d worker(s) left behind: %s", ms, stuck,
              qPrintable(why));
        // Given up on by its deadline, the worker still waiting on the stopped server: not before
        // the deadline, and within a few times it however busy the machine.
        const qint64 limit = CupsPrinterPort::Limits{}.lookup.count();
        QVERIFY2(stuck >= 1, "the lookup ended with its worker, not by its deadline");
        QVERIFY2(ms >= limit - 100 && ms < 3 * limit, qPrintable(QString::number(ms)));
        QVERIFY2(why.startsWith(QStringLiteral("Il server di stampa non risponde")), qPrintable(why));
        // The worker left behind ends on its own, with the server still stopped.
        QTRY_COMPARE_WITH_TIMEOUT(CupsPrinterPort::runningWorkers(), 0, 2000);
    }
    // And the port finds the printer again once the server answers.
    std::unique_ptr<CardCanvas> canvas = port.open(uniqueName("lookup"), &why);
    QVERIFY2(canvas, qPrintable(why));
}

void TestCupsPrint::stoppedServerAtHandOffIsBounded()
{
    const QString docName = uniqueName("handoff");
    CupsPrinterPort port;
    QString why;
    std::unique_ptr<CardCanvas> canvas = port.open(docName, &why);
    QVERIFY2(canvas, qPrintable(why));
    {
        StoppedServer stopped(m_server);
        const Run r = printCards(*canvas, 4);
        const int stuck = CupsPrinterPort::runningWorkers();
        qInfo("hand-off to a stopped server gave up after %lld ms, %d worker(s) left behind: %s", r.ms, stuck,
              qPrintable(r.failure));
        QVERIFY(!r.ok);
        // Given up on once it went a whole stall limit without progress, not before, and within a
        // few times that, short of the whole hand-off's limit.
        const qint64 stall = CupsPrinterPort::Limits{}.stall.count();
        QVERIFY2(stuck >= 1, "the hand-off ended with its worker, not by its deadline");
        QVERIFY2(r.ms >= stall - 100 && r.ms < 3 * stall, qPrintable(QString::number(r.ms)));
        QVERIFY2(r.failure.startsWith(QStringLiteral("Il server di stampa non risponde")),
                 qPrintable(r.failure));
        QTRY_COMPARE_WITH_TIMEOUT(CupsPrinterPort::runningWorkers(), 0, 2000);
    }
    // The job was never created: nothing comes out later, once the server has caught up with what
    // it was sent while stopped. Nothing to wait for but time: a job would show within the second.
    QVERIFY(!QTest::qWaitFor([&] { return !jobsTitled(docName).isEmpty(); }, 1000));
}

QTEST_MAIN(TestCupsPrint)
#include "test_cups_print.moc"
