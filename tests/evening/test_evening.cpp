// The evening's record: what the game, the print runs and the prize desk do is on disk before anyone
// sees it, an evening comes back whole after the program is gone, and a bad file, a folder that
// cannot be written or a second copy of the program lose nothing. GUI-less, in a private folder.

#include "evening/evening_record.h"
#include "fakes/card_rows.h"
#include "fakes/evening_harness.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <sched.h>
#include <sys/mount.h>

namespace
{

bool privateMounts = false;

// What a second reader of the file sees now.
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

QStringList winNames(const PrizeLadder &ladder)
{
    QStringList out;
    for (const PrizeWin &w : ladder.wins())
        out << QStringLiteral("%1@%2:%3/%4")
                   .arg(prizeWord(w.prize))
                   .arg(w.draw)
                   .arg(w.name())
                   .arg(int(w.how));
    return out;
}

} // namespace

class TestEvening : public QObject
{
    Q_OBJECT

private slots:
    void eachEventIsOnDiskBeforeItIsShown();
    void anEveningComesBackWhole();
    void badFilesAreSetAsideAndANewOneStarted_data();
    void badFilesAreSetAsideAndANewOneStarted();
    void aFileOfTheEarlierVersionIsBroughtUp();
    void aFolderThatCannotBeWrittenKeepsTheEveningInMemory();
    void aSecondCopyReadsButWritesNothing();
    void aFileKeptBusyIsWrittenBackWhole();
    void theCallersSetUpIsReadStrictly();
};

void TestEvening::eachEventIsOnDiskBeforeItIsShown()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    EveningHarness h(path);
    QVERIFY2(h.notice.isEmpty(), qPrintable(h.notice));
    h.evening->begin();
    QVERIFY(h.evening->isKept());

    // A number is in the file when the big display first shows it.
    int checked = 0;
    QString fault;
    h.view.onChange = [&](FakeView::Operation op, ControlId c) {
        if (op != FakeView::Operation::SetCaption || !(c == ControlId(Control::Label1))) return;
        const int drawn = h.state().drawnCount();
        // Set while the turn's number is recorded in the history but not yet taken from the pool.
        const int ordinal = 90 - h.state().quanti_da_estrarre + 1;
        if (drawn == 0 && h.state().numeri_estratti(1).isEmpty()) return;
        const int rows = rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM numbers"));
        if (rows != ordinal)
            fault = QStringLiteral("%1 numbers in the file when number %2 shows").arg(rows).arg(ordinal);
        ++checked;
    };
    h.print(6);
    const Cartella card = h.printRun.cardsInPlay().at(0).card;
    h.drawAndPause(cardRow(card, 1).mid(0, 2) + QList<int>{offCard(card)});
    h.view.onChange = nullptr;
    QVERIFY2(fault.isEmpty(), qPrintable(fault + h.evening->notKeptReason()));
    QCOMPARE(checked, 3);

    // A run's cards when the run is reported, a prize when its banner goes up.
    QObject::connect(&h.printRun, &PrintRun::runPrinted, [&] {
        if (rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")) != 12)
            fault = QStringLiteral("cards late");
    });
    QObject::connect(&h.desk, &PrizeDesk::prizeWon, [&] {
        if (rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM wins")) < 1)
            fault = QStringLiteral("prize late");
    });
    h.print(6);
    h.desk.confirm();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM runs")), 2);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM wins")), 1);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM log")), int(h.desk.events().size()));
}

void TestEvening::anEveningComesBackWhole()
{
    // An evening of two games and a third begun, in both modes, with cards printed before, between
    // and during games, prizes confirmed, claimed and checked, a card passed over and a number
    // taken back, comes back as it was left.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QList<int> drawn;
    QList<CardCode> codes;
    QStringList wins, log;
    QList<PrizeDesk::Pass> passes;
    int nextNumber = 0, gameNumber = 0;
    QString bigNumber, counter;
    PrizePlan plan;
    {
        EveningHarness h(path);
        h.evening->begin();
        plan.cardPrice = 150;
        plan.organiserPercent = 10;
        plan.tombolino = true;
        h.desk.setPlan(plan);
        h.print(12, CardDealer::FullSeries);
        h.drawAndPause({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
        while (h.desk.sighting())
            h.desk.confirm();
        h.game.newGame();
        h.print(5);
        h.drawAndPause({90, 89, 88, 87, 86, 85, 84, 83, 82, 81});
        if (h.desk.sighting()) h.desk.ignore();
        if (h.desk.sighting()) h.desk.confirm();
        h.print(4); // during the game: plays from the next
        h.game.newGame();
        QVERIFY(h.game.setBasketMode(true));
        h.desk.setAnnounceAtOnce(true);
        for (const int n : {44, 45, 46, 47, 48, 49, 50, 51, 52, 53})
            QVERIFY(h.game.enterNumber(n));
        QVERIFY(h.game.takeBackAsked());
        QVERIFY(h.evening->isKept());
        drawn = h.game.drawnNumbers();
        codes = h.printRun.cardsInPlay().codes();
        wins = winNames(h.desk.ladder());
        passes = h.desk.passes();
        for (const PrizeDesk::Event &e : h.desk.events())
            log << e.text;
        nextNumber = h.printRun.cardsInPlay().nextNumber();
        gameNumber = h.desk.gameNumber();
        bigNumber = h.caption(Control::Label1);
        counter = h.caption(Control::Label2);
        QCOMPARE(gameNumber, 3);
    }
    // The program is gone; a new one on the same file.
    EveningHarness h(path, 99);
    QVERIFY2(h.notice.isEmpty(), qPrintable(h.notice));
    QString why;
    const auto left = h.evening->unfinished(&why);
    QVERIFY2(left, qPrintable(why));
    QVERIFY(EveningRecord::resumeQuestion(*left).contains(
        QStringLiteral("Tombola n. 3: 9 numeri estratti, 21 cartelle")));
    h.evening->resume(*left);
    QCOMPARE(h.game.drawnNumbers(), drawn);
    QCOMPARE(h.printRun.cardsInPlay().codes(), codes);
    QCOMPARE(h.printRun.cardsInPlay().nextNumber(), nextNumber);
    QCOMPARE(winNames(h.desk.ladder()), wins);
    QCOMPARE(h.desk.passes(), passes);
    QStringList resumedLog;
    for (const PrizeDesk::Event &e : h.desk.events())
        resumedLog << e.text;
    // The log as it was, then a line saying when the evening stopped and came back.
    QVERIFY(!resumedLog.isEmpty());
    const QString resumedAt = resumedLog.takeLast();
    QCOMPARE(resumedLog, log);
    QVERIFY2(resumedAt.startsWith(QStringLiteral("Serata ripresa alle ")), qPrintable(resumedAt));
    QVERIFY2(resumedAt.contains(QStringLiteral("ultimo evento registrato alle ")), qPrintable(resumedAt));
    QCOMPARE(h.desk.gameNumber(), gameNumber);
    QVERIFY(h.desk.plan() == plan);
    QVERIFY(h.game.isBasketMode());
    QVERIFY(h.desk.announceAtOnce());
    // The board, the big number and the counter as they were, the draw stopped.
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.caption(Control::Label1), bigNumber);
    QCOMPARE(h.caption(Control::Label2), counter);
    QVERIFY(h.state().sospeso);
    // The cards printed during game 2 play this game; all of them are watched.
    QCOMPARE(h.desk.watch().size(), codes.size());

    // It records on into the same evening: the next number and the next card follow.
    QVERIFY(h.game.enterNumber(77));
    h.print(1);
    QCOMPARE(h.printRun.cardsInPlay().at(h.printRun.cardsInPlay().size() - 1).number, nextNumber);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM evenings")), 1);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM numbers WHERE game = 3")), 10);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM taken_back")), 1);

    // Closed, it is no longer offered; a new evening numbers its cards from 1. Closing once erased
    // the prizes of the evening's first game (the desk's reset was recorded as game 1's).
    const qint64 closedId = h.evening->evening().id;
    const int winsBefore = rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM wins"));
    QVERIFY(winsBefore > 0);
    QVERIFY(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM wins WHERE game = 1")) > 0);
    h.evening->close();
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM wins")), winsBefore);
    const auto closed = h.store.load(closedId, &why);
    QVERIFY2(closed, qPrintable(why));
    QVERIFY(!closed->findGame(1)->wins.isEmpty());
    QCOMPARE(h.printRun.cardsInPlay().size(), 0);
    QCOMPARE(h.desk.gameNumber(), 1);
    QVERIFY(!h.evening->unfinished());
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM evenings WHERE ended IS NOT NULL")), 1);
}

void TestEvening::badFilesAreSetAsideAndANewOneStarted_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a database") << "garbage"
                                    << "rovinato";
    QTest::newRow("truncated") << "truncated"
                               << "rovinato";
    QTest::newRow("newer version") << "newer"
                                   << "versione-nuova";
    QTest::newRow("another program's database") << "foreign"
                                                << "rovinato";
    QTest::newRow("a number out of range") << "row"
                                           << "rovinato";
}

void TestEvening::badFilesAreSetAsideAndANewOneStarted()
{
    QFETCH(QString, fault);
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(30);
        h.drawAndPause({5, 6, 7});
    }
    auto sql = [&](const QString &statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("spoil"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(statement));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("spoil"));
    };
    QFile file(path);
    if (fault == QLatin1String("garbage")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(5000, 'x'));
        file.close();
    } else if (fault == QLatin1String("truncated")) {
        sql(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        QVERIFY(file.resize(file.size() / 2));
    } else if (fault == QLatin1String("newer")) {
        sql(QStringLiteral("PRAGMA user_version = %1").arg(EveningStore::kVersion + 1));
    } else if (fault == QLatin1String("foreign")) {
        QFile::remove(path);
        sql(QStringLiteral("CREATE TABLE people(name TEXT)"));
    } else {
        sql(QStringLiteral("UPDATE numbers SET number = 95 WHERE ordinal = 2"));
    }
    const QByteArray spoilt = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    EveningHarness h(path);
    QVERIFY2(h.notice.contains(QStringLiteral("messo da parte")), qPrintable(h.notice));
    QVERIFY(h.evening->isKept());
    QVERIFY(!h.evening->unfinished());
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("serate-%1-*.sqlite").arg(kind)});
    QVERIFY2(aside.size() == 1, qPrintable(h.notice + QDir(dir.path()).entryList().join(",")));
    QFile kept(dir.filePath(aside[0]));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), spoilt);
    // The new file keeps the evening.
    h.evening->begin();
    h.print(2);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 2);
}

void TestEvening::aFileOfTheEarlierVersionIsBroughtUp()
{
    // A file written before evenings had a prize plan or the caller's set-up: neither column,
    // version 1.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QList<int> drawn;
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(6);
        h.drawAndPause({5, 6, 7});
        drawn = h.game.drawnNumbers();
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE evenings DROP COLUMN plan")));
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE evenings DROP COLUMN setup")));
        for (const char *table : {"seals", "voided", "deliveries"})
            QVERIFY(q.exec(QStringLiteral("DROP TABLE %1").arg(QLatin1String(table))));
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = 1")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("older"));

    EveningHarness h(path);
    QVERIFY2(h.notice.isEmpty(), qPrintable(h.notice));
    const auto left = h.evening->unfinished();
    QVERIFY(left);
    h.evening->resume(*left);
    QCOMPARE(h.game.drawnNumbers(), drawn);
    QVERIFY(!h.desk.plan().inUse());
    PrizePlan plan;
    plan.cardPrice = 100;
    h.desk.setPlan(plan);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM evenings WHERE plan IS NOT NULL")), 1);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM evenings WHERE setup IS NOT NULL")), 1);
}

void TestEvening::aFolderThatCannotBeWrittenKeepsTheEveningInMemory()
{
    // No folder at all: the evening goes on, unkept, and says so.
    {
        EveningHarness h(QStringLiteral("/dev/null/tombola/serate.sqlite"));
        QVERIFY(!h.notice.isEmpty());
        QVERIFY(!h.evening->isKept());
        h.evening->begin();
        h.print(3);
        h.drawAndPause({1, 2});
        QCOMPARE(h.evening->evening().cardCount(), 3);
        QCOMPARE(h.evening->evening().games.first().numbers.size(), 2);
    }
    // A disk that fills in the middle of the evening: the write that fails leaves the evening in
    // memory and the mark on.
    if (!privateMounts) QSKIP("no mount namespace of our own (needs root): cannot fill a disk");
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    QVERIFY(::mount("tombola-test", folder.constData(), "tmpfs", 0, "size=160k") == 0);
    {
        EveningHarness h(dir.filePath(QStringLiteral("serate.sqlite")));
        QVERIFY2(h.evening->isKept(), qPrintable(h.notice));
        h.evening->begin();
        QSignalSpy kept(h.evening.get(), &EveningRecord::keptChanged);
        for (int k = 0; k < 40 && h.evening->isKept(); ++k)
            h.print(30);
        QVERIFY(!h.evening->isKept());
        QCOMPARE(kept.size(), 1);
        QVERIFY(!h.evening->notKeptReason().isEmpty());
        const int cards = h.evening->evening().cardCount();
        h.print(6);
        QCOMPARE(h.evening->evening().cardCount(), cards + 6);
        h.drawAndPause({3, 4});
        QCOMPARE(h.game.drawnNumbers(), QList<int>({3, 4}));
        // Space freed: the next event writes the whole evening back and the mark goes (once
        // stopped, the record used to stay off for the rest of the evening).
        QVERIFY(::mount("tombola-test", folder.constData(), "tmpfs", MS_REMOUNT, "size=8m") == 0);
        h.drawAndPause({5});
        QVERIFY2(h.evening->isKept(), qPrintable(h.evening->notKeptReason()));
        QCOMPARE(kept.size(), 2);
        QString why;
        const auto stored = h.store.load(h.evening->evening().id, &why);
        QVERIFY2(stored, qPrintable(why));
        QCOMPARE(eveningDifference(*stored, h.evening->evening()), QString());
        QCOMPARE(stored->cardCount(), cards + 6);
    }
    // A folder that cannot be written is said to be one, not blamed on another copy.
    QVERIFY(::mount("tombola-test", folder.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=8m") == 0);
    {
        EveningHarness h(dir.filePath(QStringLiteral("other.sqlite")));
        QVERIFY(!h.evening->isKept());
        QVERIFY2(!h.notice.contains(QStringLiteral("Un'altra copia")), qPrintable(h.notice));
        QVERIFY2(h.notice.startsWith(QStringLiteral("Impossibile registrare la serata")),
                 qPrintable(h.notice));
    }
    ::umount2(folder.constData(), MNT_DETACH);
}

void TestEvening::aSecondCopyReadsButWritesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    EveningHarness first(path);
    first.evening->begin();
    first.print(6);
    EveningHarness second(path, 3);
    QVERIFY(second.notice.contains(QStringLiteral("Un'altra copia")));
    QVERIFY(!second.evening->isKept());
    QVERIFY(second.store.isReadable());
    QCOMPARE(second.store.evenings().size(), 1);
    second.evening->begin();
    second.print(6);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 6);
    // The first goes on writing.
    first.print(6);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM cards")), 12);
}

void TestEvening::aFileKeptBusyIsWrittenBackWhole()
{
    // Another process holds the file locked: the draw goes on, the mark shows, and once the lock
    // goes the whole evening held in memory is written (once stopped, the record used to stay off).
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    EveningHarness h(path);
    h.evening->begin();
    h.print(6);
    h.drawAndPause({1, 2, 3});
    QVERIFY(h.evening->isKept());
    QSignalSpy kept(h.evening.get(), &EveningRecord::keptChanged);
    QProcess locker;
    locker.start(QStringLiteral("sqlite3"), {path});
    QVERIFY(locker.waitForStarted());
    locker.write("PRAGMA busy_timeout=5000; BEGIN EXCLUSIVE; SELECT 'locked';\n");
    QVERIFY(locker.waitForReadyRead(10000));
    QVERIFY(locker.readAll().contains("locked"));
    h.drawAndPause({4, 5});
    h.print(6);
    QVERIFY(!h.evening->isKept());
    QCOMPARE(kept.size(), 1);
    // Still locked: the next event is tried and fails again, and it is kept in memory.
    h.drawAndPause({6});
    QVERIFY(!h.evening->isKept());
    QCOMPARE(h.evening->evening().games.first().numbers.size(), 6);
    locker.write("ROLLBACK;\n.quit\n");
    QVERIFY(locker.waitForFinished(10000));
    // No event needed: the record tries again by itself.
    QTRY_VERIFY_WITH_TIMEOUT(h.evening->isKept(), 4 * Evening::kRetrySeconds * 1000);
    QCOMPARE(kept.size(), 2);
    QString why;
    const auto stored = h.store.load(h.evening->evening().id, &why);
    QVERIFY2(stored, qPrintable(why));
    QCOMPARE(eveningDifference(*stored, h.evening->evening()), QString());
    QCOMPARE(stored->games.first().drawn(), QList<int>({1, 2, 3, 4, 5, 6}));
    QCOMPARE(stored->cardCount(), 12);
    // And it records on, one event at a time.
    h.drawAndPause({7});
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM numbers")), 7);
}

int main(int argc, char **argv)
{
    // Before any thread starts: mounts of the process's own, gone with it however it ends.
    privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QCoreApplication app(argc, argv);
    TestEvening test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_evening.moc"

void TestEvening::theCallersSetUpIsReadStrictly()
{
    // What comes back from the file drives the phones' server and the window: read back to the
    // same, and anything out of range refused rather than passed on.
    EveningSetup s;
    s.phonesToken = "ABCDEFGHJKMNPQRSTVWXYZ2345";
    s.phonesOn = true;
    s.phonesPort = 8091;
    s.cardsPerPhone = 2;
    s.pace = 200;
    s.audienceOpen = true;
    s.waiting = QStringLiteral("AMBO alla 4ª estrazione: cartella 7KQ3M-4 Y");
    QCOMPARE(EveningSetup::fromText(s.toText()), std::optional<EveningSetup>(s));
    QCOMPARE(EveningSetup::fromText(EveningSetup{}.toText()), std::optional<EveningSetup>(EveningSetup{}));
    const QString good = s.toText();
    for (const auto &[from, to] : std::initializer_list<std::pair<QString, QString>>{
             {QStringLiteral("ABCDEFGHJKMNPQRSTVWXYZ2345"), QStringLiteral("ABCDEFGHJKMNPQRSTVWXYZ234")},
             {QStringLiteral("ABCDEFGHJKMNPQRSTVWXYZ2345"), QStringLiteral("ABCDEFGHJKMNPQRSTVWXYZ234I")},
             {QStringLiteral("\"ritmo\":200"), QStringLiteral("\"ritmo\":50")},
             {QStringLiteral("\"ritmo\":200"), QStringLiteral("\"ritmo\":\"200\"")},
             {QStringLiteral("\"cartelleTelefono\":2"), QStringLiteral("\"cartelleTelefono\":7")},
             {QStringLiteral("\"porta\":8091"), QStringLiteral("\"porta\":70000")},
             {QStringLiteral("\"telefoni\":true"), QStringLiteral("\"telefoni\":true,\"altro\":1")},
             {QStringLiteral("{"), QStringLiteral("[")}}) {
        QString bad = good;
        bad.replace(from, to);
        QVERIFY2(bad != good, qPrintable(from));
        QVERIFY2(!EveningSetup::fromText(bad), qPrintable(bad));
    }
}
