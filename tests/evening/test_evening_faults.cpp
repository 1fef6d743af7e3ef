// The evening's record against faults of the disk and of whoever else touches the file: a main
// file found empty beside its journal, a file truncated, replaced or left without its journal
// under the running program, a file damaged while the program is away, a record that stopped and
// never caught up, a file another process keeps locked. Real SQLite files in private folders.

#include "evening/evening_record.h"
#include "fakes/card_rows.h"
#include "fakes/evening_harness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
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

// What a second reader of the file sees now; -1 when it cannot read it.
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

// A copy of a file the store has open, made by another process as a careless copy would be: a
// descriptor of it opened and closed here would drop the store's locks on it (POSIX locks).
bool copyAside(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {from, to}) == 0;
}

// The numbers the main file holds when it is read alone, without its journal: a copy of it in a
// folder of its own, read there.
int numbersInMainFileAlone(const QString &path)
{
    QTemporaryDir alone;
    const QString copy = alone.filePath(QStringLiteral("solo.sqlite"));
    if (!copyAside(path, copy)) return -1;
    return rowsIn(copy, QStringLiteral("SELECT COUNT(*) FROM numbers"));
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The files set aside in `folder`, by name; `suffix` "-wal" for their journals.
QStringList setAsideIn(const QString &folder, const QString &suffix = {})
{
    return QDir(folder).entryList({QStringLiteral("serate-rovinato-*.sqlite") + suffix});
}

// The evening last left open in the file `path`, read by a store of its own.
std::optional<StoredEvening> storedEvening(const QString &path, QString *why)
{
    EveningStore store;
    QString notice;
    store.open(path, &notice);
    if (!notice.isEmpty()) *why = notice;
    const auto id = store.lastOpenEvening();
    if (!id) return std::nullopt;
    return store.load(*id, why);
}

// Another process (the sqlite3 shell) holding the file in an exclusive transaction until let go.
struct Locker {
    QProcess shell;
    bool lock(const QString &path)
    {
        shell.start(QStringLiteral("sqlite3"), {path});
        if (!shell.waitForStarted()) return false;
        shell.write("PRAGMA busy_timeout=5000; BEGIN EXCLUSIVE; SELECT 'locked';\n");
        QByteArray out;
        QElapsedTimer waited;
        waited.start();
        while (!out.contains("locked") && waited.elapsed() < 20000 && shell.waitForReadyRead(20000))
            out += shell.readAll();
        return out.contains("locked");
    }
    bool release()
    {
        shell.write("ROLLBACK;\n.quit\n");
        return shell.waitForFinished(20000);
    }
    ~Locker()
    {
        if (shell.state() != QProcess::NotRunning) {
            shell.kill();
            shell.waitForFinished(5000);
        }
    }
};

QString clockOf(const QDateTime &at)
{
    return QLocale(QLocale::Italian, QLocale::Italy).toString(at.time(), QStringLiteral("HH:mm"));
}

} // namespace

class TestEveningFaults : public QObject
{
    Q_OBJECT

private slots:
    void anEmptyFileBesideItsJournalIsSetAsideWhole_data();
    void anEmptyFileBesideItsJournalIsSetAsideWhole();
    void aFileChangedUnderTheProgramIsNoticedAtTheNextEvent_data();
    void aFileChangedUnderTheProgramIsNoticedAtTheNextEvent();
    void theMainFileHoldsTheEveningAndItsCopyBringsItBack();
    void theResumeQuestionSaysWhenTheRecordStopped();
    void aFullDiskStillNotesWhenTheRecordStopped();
    void aNewFileLeftHalfMadeByAFullDiskIsMadeWhenTheDiskAllows();
    void aLockedFileCostsAnEventNoWait();
};

void TestEveningFaults::anEmptyFileBesideItsJournalIsSetAsideWhole_data()
{
    QTest::addColumn<bool>("afterAGame");
    // A young file has every page in its journal: the evenings come back from it alone.
    QTest::newRow("a young file") << false;
    // After a game's end the journal was copied into the main file and emptied: it holds only what
    // followed, and the copy taken at that end brings the evening back up to it.
    QTest::newRow("after a game") << true;
}

void TestEveningFaults::anEmptyFileBesideItsJournalIsSetAsideWhole()
{
    QFETCH(bool, afterAGame);
    QTemporaryDir dir, other;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    const QString copy = other.filePath(QStringLiteral("serate.sqlite"));
    StoredEvening written;
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(6);
        h.drawAndPause({11, 12, 13});
        if (afterAGame) {
            h.game.newGame();
            h.drawAndPause({21, 22});
        }
        QVERIFY(h.evening->isKept());
        // The file and its journal as a crash or a careless copy leaves them, while the program runs.
        QVERIFY(copyAside(path, copy));
        QVERIFY(copyAside(path + QStringLiteral("-wal"), copy + QStringLiteral("-wal")));
        if (afterAGame) QVERIFY(QFile::copy(EveningStore::backupPath(path), EveningStore::backupPath(copy)));
        written = h.evening->evening();
    }
    const QByteArray journal = bytesOf(copy + QStringLiteral("-wal"));
    QVERIFY(!journal.isEmpty());
    const QByteArray main = bytesOf(copy);
    QVERIFY(QFile(copy).resize(0));

    EveningHarness h(copy);
    QVERIFY2(h.notice.contains(QStringLiteral("era vuoto")), qPrintable(h.notice));
    QVERIFY(h.evening->isKept());
    // The pair set aside whole: not a byte of the journal lost.
    const QStringList aside = setAsideIn(other.path());
    QCOMPARE(aside.size(), 1);
    QVERIFY2(h.notice.contains(aside[0]), qPrintable(h.notice));
    QCOMPARE(bytesOf(other.filePath(aside[0])).size(), 0);
    QCOMPARE(bytesOf(other.filePath(aside[0]) + QStringLiteral("-wal")), journal);
    // With the main file it belonged to, that journal is the evening as last written.
    QTemporaryDir again;
    const QString pair = again.filePath(QStringLiteral("serate.sqlite"));
    QVERIFY(writeBytes(pair, main));
    QVERIFY(QFile::copy(other.filePath(aside[0]) + QStringLiteral("-wal"), pair + QStringLiteral("-wal")));
    QString why;
    const auto fromPair = storedEvening(pair, &why);
    QVERIFY2(fromPair, qPrintable(why));
    QCOMPARE(eveningDifference(*fromPair, written), QString());

    // What the program itself brought back.
    const auto left = h.evening->unfinished(&why);
    QVERIFY2(left, qPrintable(why));
    if (!afterAGame) {
        QVERIFY2(h.notice.contains(QStringLiteral("ricostruite dal giornale")), qPrintable(h.notice));
        QCOMPARE(eveningDifference(*left, written), QString());
    } else {
        QVERIFY2(h.notice.contains(QStringLiteral("copia di sicurezza")), qPrintable(h.notice));
        QCOMPARE(left->findGame(1)->drawn(), QList<int>({11, 12, 13}));
        QCOMPARE(left->cardCount(), 6);
        // What came after the copy is the only loss.
        QVERIFY(!left->findGame(2) || left->findGame(2)->numbers.isEmpty());
    }
}

void TestEveningFaults::aFileChangedUnderTheProgramIsNoticedAtTheNextEvent_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("main file truncated") << "truncated";
    QTest::newRow("journal and shared memory removed") << "journal";
    QTest::newRow("another file in its place") << "replaced";
    QTest::newRow("main file removed") << "removed";
}

void TestEveningFaults::aFileChangedUnderTheProgramIsNoticedAtTheNextEvent()
{
    QFETCH(QString, fault);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    StoredEvening shown;
    QList<int> drawn;
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(6);
        const Cartella card = h.printRun.cardsInPlay().at(0).card;
        const QList<int> row = cardRow(card, 1);
        h.drawAndPause(row.mid(0, 2) + QList<int>{offCard(card)});
        QVERIFY(h.desk.sighting());
        h.desk.confirm();
        QVERIFY(h.evening->isKept());
        QSignalSpy kept(h.evening.get(), &EveningRecord::keptChanged);

        if (fault == QLatin1String("truncated")) {
            QVERIFY(QFile(path).resize(0));
        } else if (fault == QLatin1String("journal")) {
            QVERIFY(QFile::remove(path + QStringLiteral("-wal")));
            QVERIFY(QFile::remove(path + QStringLiteral("-shm")));
        } else if (fault == QLatin1String("replaced")) {
            const QString stranger = dir.filePath(QStringLiteral("altro.sqlite"));
            QVERIFY(copyAside(path, stranger));
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::rename(stranger, path));
        } else {
            QVERIFY(QFile::remove(path));
        }
        // The next events: a number that makes a terno, its prize, a run of cards.
        h.drawAndPause({row[2]});
        QVERIFY(h.desk.sighting());
        h.desk.confirm();
        h.print(3);
        QVERIFY2(h.evening->isKept(), qPrintable(h.evening->notKeptReason()));
        QCOMPARE(kept.size(), 0);
        shown = h.evening->evening();
        drawn = h.game.drawnNumbers();
        QCOMPARE(shown.findGame(1)->wins.size(), 2);
    }
    // Set aside: the file, or what is left of it when it is gone.
    QCOMPARE(
        setAsideIn(dir.path(), fault == QLatin1String("removed") ? QStringLiteral("-wal") : QString()).size(),
        1);
    // Read afresh: every event of the evening, in order.
    QString why;
    const auto stored = storedEvening(path, &why);
    QVERIFY2(stored, qPrintable(why));
    QCOMPARE(eveningDifference(*stored, shown), QString());
    QCOMPARE(stored->findGame(1)->drawn(), drawn);
    QCOMPARE(stored->cardCount(), 9);
}

void TestEveningFaults::theMainFileHoldsTheEveningAndItsCopyBringsItBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    const QString backup = EveningStore::backupPath(path);
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(6);
        h.drawAndPause({31, 32, 33});
        // Until then they are in the journal: the main file alone lacks them (or its tables).
        QVERIFY(numbersInMainFileAlone(path) < 3);
        // A game over: the main file alone has it, and so has the copy beside it.
        h.game.newGame();
        QCOMPARE(numbersInMainFileAlone(path), 3);
        QVERIFY(QFile::exists(backup));
        QCOMPARE(rowsIn(backup, QStringLiteral("SELECT COUNT(*) FROM numbers")), 3);
        QCOMPARE(rowsIn(backup, QStringLiteral("SELECT COUNT(*) FROM cards")), 6);
        // In the middle of a game, a few seconds after the last event, the main file catches up.
        h.drawAndPause({44});
        QTRY_COMPARE_WITH_TIMEOUT(numbersInMainFileAlone(path), 4, 10 * Evening::kIdleSeconds * 1000);
        QCOMPARE(rowsIn(backup, QStringLiteral("SELECT COUNT(*) FROM numbers")), 3);
    }
    // Damaged while the program is away: its first pages overwritten.
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(f.write(QByteArray(8192, 'x')), qint64(8192));
    }
    EveningHarness h(path);
    QVERIFY2(h.notice.contains(QStringLiteral("copia di sicurezza")), qPrintable(h.notice));
    QVERIFY2(h.notice.contains(QStringLiteral("messo da parte")), qPrintable(h.notice));
    QCOMPARE(setAsideIn(dir.path()).size(), 1);
    QString why;
    const auto left = h.evening->unfinished(&why);
    QVERIFY2(left, qPrintable(why));
    QCOMPARE(left->findGame(1)->drawn(), QList<int>({31, 32, 33}));
    QCOMPARE(left->cardCount(), 6);
    // The number after the copy is the only loss.
    QVERIFY(!left->findGame(2) || left->findGame(2)->numbers.isEmpty());
    h.evening->resume(*left);
    QCOMPARE(h.game.drawnNumbers(), QList<int>());
    QVERIFY(h.evening->isKept());
}

void TestEveningFaults::theResumeQuestionSaysWhenTheRecordStopped()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QDateTime before, after;
    {
        EveningHarness h(path);
        h.evening->begin();
        h.print(6);
        h.drawAndPause({1, 2, 3});
        Locker locker;
        QVERIFY(locker.lock(path));
        before = QDateTime::currentDateTime();
        h.drawAndPause({4, 5});
        after = QDateTime::currentDateTime();
        QVERIFY(!h.evening->isKept());
        // The program ends before the file takes writes again.
    }
    const QString sentence = QStringLiteral(": quanto è successo dopo non è stato registrato.");
    {
        EveningHarness h(path);
        QVERIFY2(h.notice.isEmpty(), qPrintable(h.notice));
        QString why;
        const auto left = h.evening->unfinished(&why);
        QVERIFY2(left, qPrintable(why));
        QCOMPARE(left->findGame(1)->drawn(), QList<int>({1, 2, 3}));
        const QString question = EveningRecord::resumeQuestion(*left);
        const QString at = QStringLiteral("La registrazione si era fermata alle %1") + sentence;
        QVERIFY2(question.contains(at.arg(clockOf(before))) || question.contains(at.arg(clockOf(after))),
                 qPrintable(question));
        QVERIFY2(question.endsWith(QStringLiteral("Riprendere la serata?")), qPrintable(question));
        // Resumed, the log says it, for the verbale.
        h.evening->resume(*left);
        const QString note = h.desk.events().last().text;
        QVERIFY2(note.contains(QStringLiteral("la registrazione si era fermata alle ")), qPrintable(note));
        QVERIFY(h.evening->isKept());
        // A fault caught up before the program ends is no stop.
        h.drawAndPause({6});
        Locker locker;
        QVERIFY(locker.lock(path));
        h.drawAndPause({7});
        QVERIFY(!h.evening->isKept());
        QVERIFY(locker.release());
        QTRY_VERIFY_WITH_TIMEOUT(h.evening->isKept(), 4 * Evening::kRetrySeconds * 1000);
    }
    EveningHarness h(path);
    const auto left = h.evening->unfinished();
    QVERIFY(left);
    QCOMPARE(left->findGame(1)->drawn(), QList<int>({1, 2, 3, 6, 7}));
    const QString question = EveningRecord::resumeQuestion(*left);
    QVERIFY2(!question.contains(QStringLiteral("si era fermata")), qPrintable(question));
}

void TestEveningFaults::aFullDiskStillNotesWhenTheRecordStopped()
{
    if (!privateMounts) QSKIP("no mount namespace of our own (needs root): cannot fill a disk");
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    QVERIFY(::mount("tombola-test", folder.constData(), "tmpfs", 0, "size=1m") == 0);
    // Unmounted however the test ends, before the folder goes.
    const auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    const QString filler = dir.filePath(QStringLiteral("riempitivo"));
    QDateTime before;
    {
        EveningHarness h(path);
        QVERIFY2(h.evening->isKept(), qPrintable(h.notice));
        h.evening->begin();
        h.print(6);
        h.drawAndPause({1, 2});
        QVERIFY(h.evening->isKept());
        // The disk filled to its last byte by another file.
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size()) {
        }
        while (fill.write(block.constData(), 1) == 1) {
        }
        fill.close();
        before = QDateTime::currentDateTime();
        h.drawAndPause({3});
        QVERIFY(!h.evening->isKept());
        // The program ends with the disk still full.
    }
    QVERIFY(QFile::remove(filler));
    EveningHarness h(path);
    const auto left = h.evening->unfinished();
    QVERIFY(left);
    QCOMPARE(left->findGame(1)->drawn(), QList<int>({1, 2}));
    const QString question = EveningRecord::resumeQuestion(*left);
    QVERIFY2(question.contains(QStringLiteral("La registrazione si era fermata alle ")),
             qPrintable(question));
    QVERIFY2(left->recordStopped >= before, qPrintable(left->recordStopped.toString(Qt::ISODateWithMs)));
}

void TestEveningFaults::aNewFileLeftHalfMadeByAFullDiskIsMadeWhenTheDiskAllows()
{
    if (!privateMounts) QSKIP("no mount namespace of our own (needs root): cannot fill a disk");
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    QVERIFY(::mount("tombola-test", folder.constData(), "tmpfs", 0, "size=1m") == 0);
    const auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    const QString filler = dir.filePath(QStringLiteral("riempitivo"));
    StoredEvening shown;
    {
        EveningHarness h(path);
        QVERIFY2(h.evening->isKept(), qPrintable(h.notice));
        h.evening->begin();
        h.print(6);
        h.drawAndPause({1, 2});
        QVERIFY(h.evening->isKept());
        // The file truncated under the program, then the disk filled: the new file in its place
        // is created, but there is no room for its header and its tables.
        QVERIFY(QFile(path).resize(0));
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size()) {
        }
        while (fill.write(block.constData(), 1) == 1) {
        }
        fill.close();
        h.drawAndPause({3});
        QVERIFY(!h.evening->isKept());
        QCOMPARE(setAsideIn(dir.path()).size(), 1);
        // Room again: the retry makes the new file and writes the whole evening into it.
        QVERIFY(QFile::remove(filler));
        QTRY_VERIFY2_WITH_TIMEOUT(h.evening->isKept(), qPrintable(h.evening->notKeptReason()),
                                  4 * Evening::kRetrySeconds * 1000);
        h.drawAndPause({4});
        QVERIFY(h.evening->isKept());
        shown = h.evening->evening();
    }
    QString why;
    const auto stored = storedEvening(path, &why);
    QVERIFY2(stored, qPrintable(why));
    QCOMPARE(eveningDifference(*stored, shown), QString());
    QCOMPARE(stored->findGame(1)->drawn(), QList<int>({1, 2, 3, 4}));
    QCOMPARE(stored->cardCount(), 6);
}

void TestEveningFaults::aLockedFileCostsAnEventNoWait()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    EveningStore store;
    QString notice;
    store.open(path, &notice);
    QVERIFY2(notice.isEmpty(), qPrintable(notice));
    Evening evening(store);
    evening.start(QDateTime::currentDateTime());
    auto number = [](int ordinal, int n) {
        EveningEvent e;
        e.kind = EveningEvent::Kind::NumberDrawn;
        e.game = 1;
        e.at = QDateTime::currentDateTime();
        e.number = StoredNumber{ordinal, n, e.at, false};
        return e;
    };
    for (int k = 1; k <= 3; ++k)
        QVERIFY(evening.add(number(k, 10 + k)));
    Locker locker;
    QVERIFY(locker.lock(path));
    // Each event with the file locked: refused by the store, kept in memory, and back at once
    // (the first one also notes the stop; the others try the whole evening again).
    for (int k = 4; k <= 8; ++k) {
        QElapsedTimer took;
        took.start();
        const bool written = evening.add(number(k, 10 + k));
        const double ms = double(took.nsecsElapsed()) / 1e6;
        qInfo("event %d with the file locked: Evening::add returned after %.2f ms", k, ms);
        QVERIFY(!written);
        QVERIFY(evening.isBehind());
        QCOMPARE(evening.state().findGame(1)->numbers.size(), k);
    }
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM numbers")), 3);
    QVERIFY(locker.release());
    // No event needed: the retry writes the whole evening back.
    QTRY_VERIFY_WITH_TIMEOUT(!evening.isBehind(), 4 * Evening::kRetrySeconds * 1000);
    QCOMPARE(rowsIn(path, QStringLiteral("SELECT COUNT(*) FROM numbers")), 8);
    QString why;
    const auto stored = store.load(evening.id(), &why);
    QVERIFY2(stored, qPrintable(why));
    QCOMPARE(eveningDifference(*stored, evening.state()), QString());
}

int main(int argc, char **argv)
{
    // Before any thread starts: mounts of the process's own, gone with it however it ends.
    privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QCoreApplication app(argc, argv);
    TestEveningFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_evening_faults.moc"
