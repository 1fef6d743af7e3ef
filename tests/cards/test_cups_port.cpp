// The libcups printer port without a real print server: a fake one in the process fails each step
// of the hand-off on cue, and PDF files are saved onto a full or read-only disk of our own.

#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "cards/cups_printer.h"
#include "cards/painter_canvas.h"
#include "fake_ipp_server.h"
#include "fakes/fake_random.h"
#include "game/game_state.h"
#include "pdf_text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <sched.h>
#include <sys/mount.h>

namespace
{

const QString date = QStringLiteral("8/12/26");
constexpr double pointsPerHundredthMm = 72.0 / 2540.0;

// Set in main(): the process has mounts of its own, which die with it.
bool privateMounts = false;

struct Run {
    bool ok = false;
    QString failure;
    qint64 ms = 0;
};

Run printCards(CardCanvas &canvas, int n, std::uint32_t seed = 5)
{
    Run r;
    FakeRandom random(seed);
    GameState stato;
    QElapsedTimer timer;
    timer.start();
    r.ok = stampa_cartelle(
        std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); },
        canvas, date);
    r.ms = timer.elapsed();
    r.failure = canvas.failure();
    return r;
}

QStringList everythingIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A tmpfs of `size` over `folder`, read-only if asked, for the life of the guard.
struct SmallDisk {
    QByteArray path;
    bool mounted = false;
    SmallDisk(const QString &folder, const char *size, bool readOnly) : path(QFile::encodeName(folder))
    {
        mounted = ::mount("tombola-test", path.constData(), "tmpfs", readOnly ? MS_RDONLY : 0, size) == 0;
    }
    ~SmallDisk()
    {
        if (mounted) ::umount2(path.constData(), MNT_DETACH);
    }
};

} // namespace

class TestCupsPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void noServerSaysSoAtOnce();
    void noDefaultPrinterExplainsWhy();
    void stalledLookupIsBounded();
    void jobCarriesTheSheetOnA4WithThePrintersMargins();
    void failedHandOffsSayWhy_data();
    void failedHandOffsSayWhy();
    void pdfFileIsTheSameAsBefore();
    void pdfIntoAMissingFolderFailsAtOnce();
    void unfinishedPdfLeavesNoFile();
    void pdfOntoAFullDiskLeavesNothing();
    void pdfOntoAReadOnlyDiskFailsAtOnce();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeIppServer> m_server;
    QByteArray m_oldServer;
};

void TestCupsPort::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<FakeIppServer>(m_dir->filePath(QStringLiteral("ipp.sock")));
    QVERIFY(m_server->listening());
    // Each lookup or hand-off runs on a new thread, whose libcups reads CUPS_SERVER afresh.
    m_oldServer = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", QFile::encodeName(m_dir->filePath(QStringLiteral("ipp.sock"))));
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
}

void TestCupsPort::cleanup()
{
    // Workers given up on end within half a second of the server's silence.
    QTRY_COMPARE_WITH_TIMEOUT(CupsPrinterPort::runningWorkers(), 0, 2000);
    m_server.reset();
    m_dir.reset();
    if (m_oldServer.isNull())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", m_oldServer);
}

void TestCupsPort::noServerSaysSoAtOnce()
{
    qputenv("CUPS_SERVER", QFile::encodeName(m_dir->filePath(QStringLiteral("nobody.sock"))));
    CupsPrinterPort port;
    QString why;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!port.open(QStringLiteral("cartelle"), &why));
    const qint64 ms = timer.elapsed();
    qInfo("no server: %lld ms: %s", ms, qPrintable(why));
    // Said by the lookup itself, with libcups's reason, not by the deadline, which gives none; and
    // long before that deadline: it did not wait for a server that is not there.
    QVERIFY2(why.startsWith(QStringLiteral("Il server di stampa non risponde (")), qPrintable(why));
    QVERIFY2(ms < CupsPrinterPort::Limits{}.lookup.count() / 2, qPrintable(QString::number(ms)));
}

void TestCupsPort::noDefaultPrinterExplainsWhy()
{
    m_server->on(IPP_OP_CUPS_GET_DEFAULT, FakeIppServer::Act::Answer, IPP_STATUS_ERROR_NOT_FOUND,
                 "No default printer.");
    CupsPrinterPort port;
    QString why;
    QVERIFY(!port.open(QStringLiteral("cartelle"), &why));
    QVERIFY2(why.startsWith(QStringLiteral("Nessuna stampante predefinita")), qPrintable(why));
}

void TestCupsPort::stalledLookupIsBounded()
{
    m_server->on(IPP_OP_CUPS_GET_DEFAULT, FakeIppServer::Act::Stall);
    CupsPrinterPort port;
    const qint64 limit = CupsPrinterPort::Limits{}.lookup.count();
    QString why;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!port.open(QStringLiteral("cartelle"), &why));
    const qint64 ms = timer.elapsed();
    // Given up on by the deadline: the worker is still stuck in the stalled exchange.
    const int stuck = CupsPrinterPort::runningWorkers();
    qInfo("stalled lookup given up after %lld ms, %d worker(s) left behind: %s", ms, stuck, qPrintable(why));
    QVERIFY(m_server->saw(IPP_OP_CUPS_GET_DEFAULT));
    QVERIFY2(stuck >= 1, "the lookup ended with its worker, not by its deadline");
    // Not before its deadline: a slow server gets the whole of it. And within a few times it,
    // however busy the machine; the stalled server alone would hold it for good.
    QVERIFY2(ms >= limit - 100 && ms < 3 * limit, qPrintable(QString::number(ms)));
    QVERIFY2(why.startsWith(QStringLiteral("Il server di stampa non risponde")), qPrintable(why));
}

void TestCupsPort::jobCarriesTheSheetOnA4WithThePrintersMargins()
{
    if (!havePdftotext()) QSKIP("pdftotext (poppler-utils) is not installed");
    // 18 points at the left, wider than Qt's 10: the printer's own counts. None at the top: Qt's 10.
    m_server->margins[0] = 635;
    m_server->margins[1] = 0;
    CupsPrinterPort port;
    QString why;
    std::unique_ptr<CardCanvas> canvas = port.open(QStringLiteral("Cartelle della tombola"), &why);
    QVERIFY2(canvas, qPrintable(why));
    const Run r = printCards(*canvas, 4);
    QVERIFY2(r.ok, qPrintable(r.failure));

    const FakeIppServer::Seen seen = m_server->seen();
    QCOMPARE(seen.jobName, std::string("Cartelle della tombola"));
    QCOMPARE(seen.media, std::string(CUPS_MEDIA_A4));
    QVERIFY(!m_server->saw(IPP_OP_CANCEL_JOB));
    QVERIFY(seen.document.rfind("%PDF-", 0) == 0);

    const QString file = m_dir->filePath(QStringLiteral("job.pdf"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(seen.document.data(), qint64(seen.document.size()));
    out.close();
    const PdfText text = readPdfText(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, 2);
    QVERIFY(QString::fromLatin1(QByteArray::fromStdString(seen.document))
                .contains(QRegularExpression(QStringLiteral("/MediaBox \\[0 0 595(\\.0*)? 842(\\.0*)?\\]"))));
    const SheetOrigin origin{635 * pointsPerHundredthMm, 10};
    const QList<ReadCard> cards = readCards(text, origin);
    QCOMPARE(cards.size(), 4);
    const QString faults = sheetFaults(cards, origin, 0.5, 0.5);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
}

void TestCupsPort::failedHandOffsSayWhy_data()
{
    using Act = FakeIppServer::Act;
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("act");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("cancels");
    QTest::addColumn<bool>("stalls");

    const int attrs = IPP_OP_GET_PRINTER_ATTRIBUTES, create = IPP_OP_CREATE_JOB, send = IPP_OP_SEND_DOCUMENT;
    const QString refused = QStringLiteral("La stampante \u00abFINTA\u00bb ");
    const QString broke = QStringLiteral("Il server di stampa ha interrotto la stampa su \u00abFINTA\u00bb");
    const QString silent = QStringLiteral("Il server di stampa non risponde pi\u00f9");
    QTest::newRow("queue rejecting jobs")
        << create << int(Act::Answer) << int(IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS)
        << refused + "rifiuta le stampe" << false << false;
    QTest::newRow("job not allowed") << create << int(Act::Answer) << int(IPP_STATUS_ERROR_FORBIDDEN)
                                     << refused + "ha rifiutato la stampa" << false << false;
    QTest::newRow("printer gone") << attrs << int(Act::Answer) << int(IPP_STATUS_ERROR_NOT_FOUND)
                                  << refused + "non c'\u00e8 pi\u00f9" << false << false;
    QTest::newRow("document refused")
        << send << int(Act::Answer) << int(IPP_STATUS_ERROR_INTERNAL) << broke << true << false;
    QTest::newRow("dies at the state check") << attrs << int(Act::HangUp) << 0 << broke << false << false;
    QTest::newRow("dies at the job") << create << int(Act::HangUp) << 0 << broke << false << false;
    QTest::newRow("dies at the document") << send << int(Act::HangUp) << 0 << broke << true << false;
    QTest::newRow("stalls at the state check") << attrs << int(Act::Stall) << 0 << silent << false << true;
    QTest::newRow("stalls at the job") << create << int(Act::Stall) << 0 << silent << false << true;
    QTest::newRow("stalls at the document") << send << int(Act::Stall) << 0 << silent << true << true;
}

void TestCupsPort::failedHandOffsSayWhy()
{
    QFETCH(int, op);
    QFETCH(int, act);
    QFETCH(int, status);
    QFETCH(QString, says);
    QFETCH(bool, cancels);
    QFETCH(bool, stalls);
    CupsPrinterPort port;
    QString why;
    std::unique_ptr<CardCanvas> canvas = port.open(QStringLiteral("cartelle"), &why);
    QVERIFY2(canvas, qPrintable(why));
    // The lookup asked for the printer's attributes too: the faults start at the hand-off.
    m_server->on(ipp_op_t(op), FakeIppServer::Act(act), ipp_status_t(status), "guasto di prova");

    const Run r = printCards(*canvas, 4);
    const int stuck = CupsPrinterPort::runningWorkers();
    qInfo("after %lld ms, %d worker(s) left behind: %s", r.ms, stuck, qPrintable(r.failure));
    QVERIFY(!r.ok);
    QVERIFY2(r.failure.startsWith(says), qPrintable(r.failure));
    if (act == int(FakeIppServer::Act::Answer))
        QVERIFY2(r.failure.contains(QStringLiteral("guasto di prova")), qPrintable(r.failure));
    // A hang-up leaves libcups with errno 0: no "(Success)" in a failure.
    QVERIFY2(!r.failure.contains(QLatin1String(std::strerror(0))), qPrintable(r.failure));
    const qint64 stall = CupsPrinterPort::Limits{}.stall.count();
    if (stalls) {
        // Given up on once the hand-off went a whole stall limit without progress, not before, and
        // within a few times that, short of the whole hand-off's limit; the worker is left behind in
        // the stalled exchange.
        QVERIFY2(stuck >= 1, "the hand-off ended with its worker, not by its deadline");
        QVERIFY2(r.ms >= stall - 100 && r.ms < 3 * stall, qPrintable(QString::number(r.ms)));
    } else {
        // Told by the worker as soon as the fault showed: long before the stall limit, whose
        // deadline was not what ended it.
        QCOMPARE(stuck, 0);
        QVERIFY2(r.ms < stall / 2, qPrintable(QString::number(r.ms)));
    }
    // A job begun and not finished is cancelled, so half a document never prints.
    if (cancels)
        QTRY_VERIFY_WITH_TIMEOUT(m_server->saw(IPP_OP_CANCEL_JOB), 2000);
    else
        QVERIFY(!m_server->saw(IPP_OP_CANCEL_JOB));
}

void TestCupsPort::pdfFileIsTheSameAsBefore()
{
    if (!havePdftotext()) QSKIP("pdftotext (poppler-utils) is not installed");
    // The Qt port wrote the file straight from QPdfWriter: every word must stay where it was.
    const QString before = m_dir->filePath(QStringLiteral("before.pdf"));
    const QString after = m_dir->filePath(QStringLiteral("after.pdf"));
    QString why;
    {
        QtPrinterPort port;
        std::unique_ptr<CardCanvas> canvas = port.openPdf(before, &why);
        QVERIFY2(canvas, qPrintable(why));
        QVERIFY(printCards(*canvas, 7).ok);
    }
    {
        CupsPrinterPort port;
        std::unique_ptr<CardCanvas> canvas = port.openPdf(after, &why);
        QVERIFY2(canvas, qPrintable(why));
        QVERIFY(printCards(*canvas, 7).ok);
    }
    const PdfText a = readPdfText(before);
    const PdfText b = readPdfText(after);
    QVERIFY2(a.error.isEmpty() && b.error.isEmpty(), qPrintable(a.error + b.error));
    QCOMPARE(b.pages, 3);
    QCOMPARE(b.words.size(), a.words.size());
    for (qsizetype i = 0; i < a.words.size(); ++i) {
        QCOMPARE(b.words[i].text, a.words[i].text);
        QCOMPARE(b.words[i].page, a.words[i].page);
        QVERIFY(std::abs(b.words[i].xMin - a.words[i].xMin) < 0.01);
        QVERIFY(std::abs(b.words[i].yMin - a.words[i].yMin) < 0.01);
    }
}

void TestCupsPort::pdfIntoAMissingFolderFailsAtOnce()
{
    const QString bad = m_dir->filePath(QStringLiteral("no/such/folder/cartelle.pdf"));
    CupsPrinterPort port;
    QString why;
    QVERIFY(!port.openPdf(bad, &why));
    QVERIFY2(why.startsWith(QStringLiteral("Impossibile scrivere il file")) && why.contains(bad),
             qPrintable(why));
}

void TestCupsPort::unfinishedPdfLeavesNoFile()
{
    const QString folder = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    CupsPrinterPort port;
    QString why;
    {
        std::unique_ptr<CardCanvas> canvas = port.openPdf(folder + QStringLiteral("/cartelle.pdf"), &why);
        QVERIFY2(canvas, qPrintable(why));
        // A run broken off before its end: half a sheet must not be left as if it were the file.
        canvas->setFontSize(20);
        canvas->moveTo(100, 100);
        canvas->printLine(QStringLiteral("12"));
    }
    QCOMPARE(everythingIn(folder), QStringList());
}

void TestCupsPort::pdfOntoAFullDiskLeavesNothing()
{
    if (!privateMounts) QSKIP("no mount namespace of our own (needs root): cannot make a full disk");
    const QString folder = m_dir->filePath(QStringLiteral("full"));
    QVERIFY(QDir().mkpath(folder));
    const SmallDisk disk(folder, "size=16k", false);
    QVERIFY(disk.mounted);
    const QString file = folder + QStringLiteral("/cartelle.pdf");
    CupsPrinterPort port;
    QString why;
    std::unique_ptr<CardCanvas> canvas = port.openPdf(file, &why);
    QVERIFY2(canvas, qPrintable(why));
    const Run r = printCards(*canvas, 30);
    QVERIFY(!r.ok);
    QVERIFY2(r.failure.startsWith(QStringLiteral("Impossibile salvare il file")) && r.failure.contains(file),
             qPrintable(r.failure));
    QVERIFY2(r.failure.contains(QStringLiteral("disco pieno")), qPrintable(r.failure));
    QCOMPARE(everythingIn(folder), QStringList());
    canvas.reset();
    QCOMPARE(everythingIn(folder), QStringList());
}

void TestCupsPort::pdfOntoAReadOnlyDiskFailsAtOnce()
{
    if (!privateMounts) QSKIP("no mount namespace of our own (needs root): cannot make a read-only disk");
    const QString folder = m_dir->filePath(QStringLiteral("readonly"));
    QVERIFY(QDir().mkpath(folder));
    const SmallDisk disk(folder, "size=16k", true);
    QVERIFY(disk.mounted);
    const QString file = folder + QStringLiteral("/cartelle.pdf");
    CupsPrinterPort port;
    QString why;
    QVERIFY(!port.openPdf(file, &why));
    QVERIFY2(why.startsWith(QStringLiteral("Impossibile scrivere il file")) && why.contains(file),
             qPrintable(why));
    QCOMPARE(everythingIn(folder), QStringList());
}

int main(int argc, char **argv)
{
    // Before any thread starts: a mount namespace of the process's own, so the small disks it mounts
    // are seen by nobody else and go away with it, however it ends.
    privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QGuiApplication app(argc, argv);
    TestCupsPort test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_cups_port.moc"
