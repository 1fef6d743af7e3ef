#pragma once
// The evenings on disk: one SQLite file (through Qt SQL's QSQLITE driver) in the user's data folder,
// in WAL mode with full synchronisation, so that each write has reached the disk when it returns.
//
// Opening never loses an evening and never half-loads one: a file that is not a database of ours,
// is damaged, truncated or from a newer version is set aside under a dated name and a new one
// started; a folder that cannot be written leaves the store unkept, the evening going on in memory;
// a second copy of the program on the same file reads it but writes nothing. Every reading refuses
// data out of range with a reason instead of passing it on.

#include "evening/stored_evening.h"

#include <QLockFile>
#include <QString>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

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

    // Opens or creates the file `path`. `notice`: what the user must be told, in Italian, when
    // something went wrong (set aside, not kept, read only); empty otherwise.
    void open(const QString &path, QString *notice);
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

private:
    bool connect(const QString &path, bool readOnly, QString *why);
    void disconnect();
    // The file is one of ours, sound, of a version this program reads; `why` when not.
    bool check(QString *why);
    bool createSchema();
    // A file of an earlier version brought to this one.
    bool upgrade(int from);
    bool setAside(const QString &path, const QString &kind, QString *asideName);
    bool write(const std::function<bool(QSqlQuery &)> &work);
    bool stamp(qint64 evening, const char *column, const QDateTime &at);
    void failed(const QString &why);
    QSqlDatabase db() const;

    QString m_connection;
    std::unique_ptr<QLockFile> m_lock;
    bool m_readable = false;
    bool m_writable = false;
    bool m_failed = false;
    QString m_reason;
};
