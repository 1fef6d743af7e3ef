// A print run's cards are in the evening's record before the first byte of its PDF is written: a
// card on paper is always a card of the record. Real PDF files through the program's printer ports,
// real SQLite files; a run stopped or failed is then marked so in the record.

#include "cards/cups_printer.h"
#include "cards/painter_canvas.h"
#include "evening/evening_record.h"
#include "fakes/evening_harness.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace
{

int rowsIn(const QString &path, const QString &sql)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next()) count = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return count;
}

bool bytesStartWithPdf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-";
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestRunRecord : public QObject
{
    Q_OBJECT

private slots:
    void aRunIsKeptBeforeItsPdf_data();
    void aRunIsKeptBeforeItsPdf();
};

void TestRunRecord::aRunIsKeptBeforeItsPdf_data()
{
    QTest::addColumn<bool>("cups");
    // The program's own port: the PDF drawn in memory, then written whole under a temporary name.
    QTest::newRow("the program's port") << true;
    // Qt's PDF writer, which opens the file as the document starts.
    QTest::newRow("Qt's PDF writer") << false;
}

void TestRunRecord::aRunIsKeptBeforeItsPdf()
{
    QFETCH(bool, cups);
    QTemporaryDir dir, out;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QString pdf = out.filePath(QStringLiteral("cartelle.pdf"));
    CupsPrinterPort cupsPort;
    QtPrinterPort qtPort;
    PrinterPort &port = cups ? static_cast<PrinterPort &>(cupsPort) : qtPort;
    EveningHarness h(path);
    h.evening->begin();
    QString opened;
    h.printer.make = [&] { return port.openPdf(pdf, &opened); };

    // When the record takes the run, neither the file nor anything else new is in its folder yet,
    // and the file of the evenings has every card.
    int seen = 0;
    QStringList present;
    QStringList faults;
    QObject::connect(&h.evening->events(), &Evening::eventAdded, [&](const EveningEvent &e) {
        if (e.kind != EveningEvent::Kind::CardsPut) return;
        ++seen;
        if (QFile::exists(pdf)) faults << QStringLiteral("the PDF exists");
        if (filesIn(out.path()) != present)
            faults << QStringLiteral("new in the folder: ") + filesIn(out.path()).join(' ');
        const int cards = rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards"));
        if (cards != h.evening->evening().cardCount())
            faults
                << QStringLiteral("%1 cards in the file, %2 in the run").arg(cards).arg(e.run.cards.size());
    });
    const auto chosen = [&] { return pdf; };
    auto notice = h.printRun.printMany(6, true, false, CardDealer::Classic, h.record(), chosen, {});
    QVERIFY2(!notice, qPrintable(notice ? notice->text : QString()));
    QCOMPARE(seen, 1);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    QVERIFY(bytesStartWithPdf(pdf));
    QCOMPARE(h.printRun.cardsInPlay().size(), 6);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 6);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM runs WHERE stopped = 1")), 0);

    // Stopped after its first card: the five others leave the record and the run is marked stopped.
    pdf = out.filePath(QStringLiteral("fermata.pdf"));
    present = filesIn(out.path());
    notice = h.printRun.printMany(6, true, false, CardDealer::Classic, h.record(), chosen,
                                  [](int) { return false; });
    QVERIFY(!notice);
    QCOMPARE(seen, 2);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    QVERIFY(bytesStartWithPdf(pdf));
    QCOMPARE(h.printRun.cardsInPlay().size(), 7);
    QCOMPARE(h.evening->evening().runs.last().cards.size(), 1);
    QVERIFY(h.evening->evening().runs.last().stopped);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 7);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM runs WHERE stopped = 1")), 1);

    // A file that cannot be written: the run was kept as dealt, then none of its cards plays.
    pdf = out.filePath(QStringLiteral("manca/cartelle.pdf"));
    present = filesIn(out.path());
    notice = h.printRun.printMany(6, true, false, CardDealer::Classic, h.record(), chosen, {});
    QVERIFY(notice);
    QCOMPARE(seen, 3);
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(h.printRun.cardsInPlay().size(), 7);
    QCOMPARE(h.evening->evening().runs.size(), 3);
    QVERIFY(h.evening->evening().runs.last().cards.isEmpty());
    QVERIFY(h.evening->evening().runs.last().stopped);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 7);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM runs WHERE stopped = 1")), 2);

    // The next run numbers on from the cards that play, and the file reads back as the evening.
    pdf = out.filePath(QStringLiteral("dopo.pdf"));
    present = filesIn(out.path());
    QVERIFY(!h.printRun.printMany(2, true, false, CardDealer::Classic, h.record(), chosen, {}));
    QCOMPARE(h.printRun.cardsInPlay().at(7).number, 8);
    QString why;
    const auto stored = h.store.load(h.evening->evening().id, &why);
    QVERIFY2(stored, qPrintable(why));
    QCOMPARE(eveningDifference(*stored, h.evening->evening()), QString());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestRunRecord test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_run_record.moc"
