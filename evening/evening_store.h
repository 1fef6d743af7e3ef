#pragma once
// The evenings on disk: one SQLite file (through Qt SQL's QSQLITE driver) in the user's data folder,
// in WAL mode with full synchronisation, so that each write has reached the disk when it returns.
//
// Opening never loses an evening and never half-loads one: a file that is not a database of ours,
// is damaged, truncated or from a newer version is set aside under a dated name and a new one
// started; a folder that cannot be written leaves the store unkept, the evening going on in memory;
// a second copy of the program on the same file reads it but writes nothing. Every reading refuses
// data out of range with a reason instead of passing it on.
//
// The file is watched as it is written (evening_store_guard.cpp): one truncated, replaced or left
// without its journal under the running program is set aside before the next write, and a new
// one started for the whole evening held in memory. At each game's end the main file is made to
// hold everything and a copy is taken beside it (evening_store_copies.cpp), from which a damaged
// file is brought back at start-up.

#include "evening/stored_evening.h"

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;
struct sqlite3;

class EveningStore
{
public:
    // The version of the file this program writes; a file of a later one is not touched.
    static constexpr int kVersion = 4;
    // The longest the writer waits for a file another process keeps busy.
    static constexpr int kBusyMilliseconds = 5;

    EveningStore();
    ~EveningStore();
    EveningStore(const EveningStore &) = delete;
    EveningStore &operator=(const EveningStore &) = delete;

    // The file in the user's data folder (QStandardPaths::AppDataLocation).
    static QString defaultPath();

    // Opens or creates the file `path`; true when it keeps the evening and nothing went wrong. False
    // with `why`, what the user must be told in Italian (a file set aside, the evening not kept, or
    // only read); the evening then goes on, in memory when nothing can be written.
    bool open(const QString &path, QString *why);
    // Writes reach the disk: opened writable, and no write has failed since.
    bool isKept() const { return m_writable && !m_failed; }
    // Earlier evenings can be read (for their verbale).
    bool isReadable() const { return m_readable; }
    // Why the evening is not being kept, for the mark's tool tip; empty while it is.
    QString notKeptReason() const { return m_reason; }

    // The evening not closed most recently begun, if any.
    std::optional<qint64> lastOpenEvening() const;
    // Every evening, newest first.
    QList<EveningSummary> evenings() const;
    // One evening, whole, or nothing with `why` when its data are not sound.
    std::optional<StoredEvening> load(qint64 id, QString *why) const;

    // Each write is one transaction; false when it failed, and from then on nothing is written
    // until rewrite() has written the whole evening again.
    qint64 beginEvening(const QDateTime &at);
    bool restartEvening(qint64 evening, const QDateTime &at);
    bool endEvening(qint64 evening, const QDateTime &at);
    qint64 addRun(qint64 evening, const StoredRun &run);
    // The evening's last run did not print whole: stopped, and its cards from `firstNotPrinted` on
    // out of play (0: every card stays).
    bool cutRun(qint64 evening, int firstNotPrinted);
    bool addGame(qint64 evening, int game, const QDateTime &at);
    bool addNumber(qint64 evening, int game, const StoredNumber &number);
    bool takeBack(qint64 evening, int game, const StoredNumber &number);
    bool setWins(qint64 evening, int game, const QList<PrizeWin> &wins, const QList<PrizeDesk::Pass> &passes);
    bool addLog(qint64 evening, const PrizeDesk::Event &event);
    bool setOptions(qint64 evening, const StoredEvening &options);
    // The committee's facts (evening_facts_store.cpp): a game's seal, written when it is fixed and
    // again when revealed; cards declared void; a prize handed over, or its recipient corrected.
    bool setSeal(qint64 evening, const StoredSeal &seal);
    bool addVoid(qint64 evening, const StoredVoid &voided);
    bool setDelivery(qint64 evening, const StoredDelivery &delivery);
    // Writes `evening` whole, in place of whatever of it the file holds, trying again after any
    // failure: how the evening held in memory is written back once the disk takes writes again.
    // A new evening (id 0) is given its id. False, with `why`, when the write failed again.
    bool rewrite(StoredEvening &evening, QString *why);

    // Reads every evening of the file `path` without changing it: true when all of it is sound.
    static bool inspect(const QString &path, QString *why);

    // The main file made to hold everything the journal (-wal) holds: TRUNCATE, or PASSIVE when a
    // reader keeps the file busy. False when the journal could not be emptied.
    bool checkpoint();
    // A copy of the whole file at backupPath(), taken with SQLite's online backup and put in place
    // whole (a rename); what open() brings the evenings back from when the file is damaged.
    bool backup();
    static QString backupPath(const QString &path);
    // The file was changed under the program (truncated, replaced, its journal removed): it has
    // been set aside and a new one started, which holds none of tonight. Nothing is written until
    // rewrite() has written the whole evening into it; the store counts as kept meanwhile.
    bool wantsWholeEvening() const { return m_wantsWhole; }

    // The record of `evening` stopped at `at` (a write failed): said in a small file of fixed
    // size beside the store, overwritten in place, so that a full disk still takes it; once the
    // whole evening is written again, noteCaughtUp() takes it back.
    void noteStopped(qint64 evening, const QDateTime &at);
    void noteCaughtUp();
    // When the record of `evening` had stopped, in the program's last run, and never caught up:
    // read at open(); null when it did not, or once forgetEarlierStop() was called.
    QDateTime earlierStop(qint64 evening) const;
    void forgetEarlierStop();

private:
    bool connect(const QString &path, bool readOnly, QString *why);
    void disconnect();
    // The file is one of ours, sound, of a version this program reads; `why` when not.
    bool check(QString *why);
    bool createSchema();
    // A file of an earlier version brought to this one.
    bool upgrade(int from);
    // The folder cannot be written: what the user is told.
    static QString folderTrouble(const QString &folder);
    static bool setAside(const QString &path, const QString &kind, QString *asideName);
    // The journal mode, the synchronisation and the tables of a file just connected.
    bool prepare(const QString &folder);
    bool write(const std::function<bool(QSqlQuery &)> &work);
    // evening_store_guard.cpp: the file as last written (identity and size of the file and its
    // journal), and why it is no longer that file (empty while it is).
    void markFiles();
    QString changedUnder() const;
    // Sets the changed file aside and starts a new one (from the copy, when it is sound).
    void replaceChanged(const QString &why);
    sqlite3 *handle() const;
    // A main file of 0 bytes beside a journal holding pages: SQLite would delete the journal on
    // opening it. The pair is set aside whole first, and the evenings rebuilt from the journal
    // when it holds all of them, else from the copy; what the user is told.
    static bool emptyBesideJournal(const QString &path);
    static QString takeBackEmpty(const QString &path);
    static bool recoverFromJournal(const QString &journal, const QString &to);
    // evening_store_copies.cpp: the copy put in place of `path` when it is sound; when it was taken.
    static bool restoreBackup(const QString &path, QDateTime *taken);
    static QString copyTaken(const QDateTime &taken);
    void readStopNote();
    bool stamp(qint64 evening, const char *column, const QDateTime &at);
    void failed(const QString &why);
    QSqlDatabase db() const;

    struct FileMark {
        bool present = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
    };
    struct FileMarks {
        FileMark main, journal, shared;
    };

    QString m_connection;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    FileMarks m_marks;
    bool m_wantsWhole = false;
    // The stop noted in this run, and the one found from the last.
    bool m_stopNoted = false;
    qint64 m_earlierEvening = 0;
    QDateTime m_earlierStop;
    bool m_readable = false;
    bool m_writable = false;
    // The file connected is tuned and holds this version's tables: until then (a failure while
    // it was made ready) each whole rewrite makes it ready first.
    bool m_prepared = false;
    bool m_failed = false;
    QString m_reason;
};
