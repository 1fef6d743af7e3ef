#include "evening/evening_store.h"

#include "evening/evening_facts_store.h"
#include "evening/evening_log.h"
#include "evening/stored_rows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <sqlite3.h>

Q_LOGGING_CATEGORY(lcEvening, "tombola.evening", QtInfoMsg)

namespace
{

const char *const kSchema[] = {
    "CREATE TABLE evenings(id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, game INTEGER NOT NULL "
    "DEFAULT 1, basket INTEGER NOT NULL DEFAULT 0, announce INTEGER NOT NULL DEFAULT 0, full_series INTEGER "
    "NOT NULL DEFAULT 0, plan TEXT, setup TEXT)",
    "CREATE TABLE runs(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, at TEXT NOT NULL, destination TEXT "
    "NOT NULL, to_pdf INTEGER NOT NULL, dealer INTEGER NOT NULL, game INTEGER NOT NULL, drawn INTEGER NOT "
    "NULL, stopped INTEGER NOT NULL)",
    "CREATE TABLE cards(evening INTEGER NOT NULL, number INTEGER NOT NULL, run INTEGER NOT NULL, series "
    "INTEGER NOT NULL, place INTEGER NOT NULL, dealer INTEGER NOT NULL, cells TEXT NOT NULL, PRIMARY "
    "KEY(evening, number))",
    "CREATE TABLE games(evening INTEGER NOT NULL, game INTEGER NOT NULL, started TEXT NOT NULL, PRIMARY "
    "KEY(evening, game))",
    "CREATE TABLE numbers(evening INTEGER NOT NULL, game INTEGER NOT NULL, ordinal INTEGER NOT NULL, number "
    "INTEGER NOT NULL, at TEXT NOT NULL, by_hand INTEGER NOT NULL, PRIMARY KEY(evening, game, ordinal))",
    "CREATE TABLE taken_back(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, game INTEGER NOT NULL, "
    "ordinal INTEGER NOT NULL, number INTEGER NOT NULL, at TEXT NOT NULL, by_hand INTEGER NOT NULL)",
    "CREATE TABLE wins(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, game INTEGER NOT NULL, prize "
    "INTEGER NOT NULL, draw INTEGER NOT NULL, how INTEGER NOT NULL, card TEXT, numbers TEXT NOT NULL, "
    "shared INTEGER NOT NULL)",
    "CREATE TABLE passes(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, game INTEGER NOT NULL, prize "
    "INTEGER NOT NULL, card TEXT NOT NULL, draw INTEGER NOT NULL)",
    "CREATE TABLE log(id INTEGER PRIMARY KEY, evening INTEGER NOT NULL, game INTEGER NOT NULL, draw INTEGER "
    "NOT NULL, at TEXT NOT NULL, text TEXT NOT NULL, refused INTEGER NOT NULL)",
    "CREATE INDEX runs_of ON runs(evening)",
    "CREATE INDEX taken_back_of ON taken_back(evening, game)",
    "CREATE INDEX wins_of ON wins(evening, game)",
    "CREATE INDEX passes_of ON passes(evening, game)",
    "CREATE INDEX log_of ON log(evening)",
};

const QStringList kTables{"evenings",   "runs", "cards",  "games", "numbers",
                          "taken_back", "wins", "passes", "log"};

QString newerVersion()
{
    return QStringLiteral("di una versione più recente del programma");
}

} // namespace

QString EveningStore::folderTrouble(const QString &folder)
{
    return QStringLiteral("Impossibile registrare la serata nella cartella «%1»: la serata continua, ma "
                          "non potrà essere ripresa dopo una chiusura.")
        .arg(QDir::toNativeSeparators(folder));
}

EveningStore::EveningStore()
{
    static std::atomic<int> next{0};
    m_connection = QStringLiteral("serate-%1").arg(next++);
}

EveningStore::~EveningStore()
{
    disconnect();
}

QString EveningStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/serate.sqlite");
}

QSqlDatabase EveningStore::db() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool EveningStore::connect(const QString &path, bool readOnly, QString *why)
{
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    d.setDatabaseName(path);
    // A reader waits a little for a writer; the writer does not wait on the window's thread: a busy
    // file fails the write at once, the evening goes on in memory and is written back later.
    d.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000")
                                 : QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyMilliseconds));
    if (!d.open()) {
        if (why) *why = d.lastError().text();
        return false;
    }
    return true;
}

void EveningStore::disconnect()
{
    if (QSqlDatabase::contains(m_connection)) {
        // A file changed under the program is not written into on closing: SQLite would copy the
        // journal into whatever stands at the file's place now, then delete the journal.
        if (m_writable && !changedUnder().isEmpty())
            if (sqlite3 *h = handle()) sqlite3_db_config(h, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_marks = {};
    m_readable = m_writable = m_prepared = false;
}

bool EveningStore::check(QString *why)
{
    QSqlQuery q(db());
    // A file that is not a database fails here; a damaged one reports what is wrong.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()) {
        *why = QStringLiteral("illeggibile");
        return false;
    }
    if (q.value(0).toString() != QLatin1String("ok")) {
        *why = QStringLiteral("danneggiato");
        return false;
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        *why = QStringLiteral("illeggibile");
        return false;
    }
    const int version = q.value(0).toInt();
    if (version > kVersion) {
        *why = newerVersion();
        return false;
    }
    const QStringList tables = db().tables();
    if (version == 0) {
        // New, or not one of ours.
        if (!tables.isEmpty()) {
            *why = QStringLiteral("non è un file delle serate");
            return false;
        }
        return true;
    }
    for (const QString &t : kTables)
        if (!tables.contains(t)) {
            *why = QStringLiteral("incompleto");
            return false;
        }
    // The evening to be resumed must load whole.
    if (const auto last = lastOpenEvening()) {
        QString bad;
        if (!load(*last, &bad)) {
            *why = bad;
            return false;
        }
    }
    return true;
}

bool EveningStore::createSchema()
{
    return write([](QSqlQuery &q) {
        for (const char *statement : kSchema)
            if (!q.exec(QLatin1String(statement))) return false;
        return facts::createTables(q) && q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion));
    });
}

bool EveningStore::upgrade(int from)
{
    return write([from](QSqlQuery &q) {
        // Version 2: the evening's prize plan.
        if (from < 2 && !q.exec(QStringLiteral("ALTER TABLE evenings ADD COLUMN plan TEXT"))) return false;
        // Version 3: how the caller had set the evening up.
        if (from < 3 && !q.exec(QStringLiteral("ALTER TABLE evenings ADD COLUMN setup TEXT"))) return false;
        // Version 4: the sealed draws, the cards declared void, the prizes handed over.
        if (from < 4 && !facts::createTables(q)) return false;
        return q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion));
    });
}

bool EveningStore::setAside(const QString &path, const QString &kind, QString *asideName)
{
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = info.absolutePath() + QStringLiteral("/serate-%1-%2.sqlite").arg(kind, stamp);
    // Two set aside within the same second keep both.
    for (int n = 2; QFile::exists(aside) || QFile::exists(aside + QStringLiteral("-wal")); ++n)
        aside = info.absolutePath() + QStringLiteral("/serate-%1-%2-%3.sqlite").arg(kind, stamp).arg(n);
    // A file gone from under the program leaves its journal files to set aside.
    if (QFile::exists(path) && !QFile::rename(path, aside)) return false;
    // The journal files belong to the file set aside.
    for (const char *suffix : {"-wal", "-shm"})
        if (QFile::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    *asideName = aside;
    return true;
}

bool EveningStore::open(const QString &path, QString *why)
{
    QString told;
    QString *notice = why ? why : &told;
    disconnect();
    m_failed = m_wantsWhole = m_stopNoted = false;
    m_earlierEvening = 0;
    m_earlierStop = {};
    m_reason.clear();
    m_path = path;
    notice->clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        m_reason = folderTrouble(folder);
        *notice = m_reason;
        return false;
    }
    // One writer: a second copy of the program reads, and says so.
    m_lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        // Only a lock held is another copy's; a lock that cannot be written is the folder's trouble
        // (a full disk, a folder that cannot be written).
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        // Not even read when SQLite would delete its journal on opening it.
        if (QFile::exists(path) && !emptyBesideJournal(path)) {
            QString fault;
            m_readable = connect(path, true, &fault);
        }
        m_reason =
            held ? QStringLiteral("Un'altra copia di Tombola sta già registrando le serate: questa copia "
                                  "non registra la serata.")
                 : folderTrouble(folder);
        if (!held)
            qCWarning(lcEvening) << "the lock" << path + QStringLiteral(".lock") << "cannot be written";
        *notice = m_reason;
        return false;
    }
    if (emptyBesideJournal(path)) {
        *notice = takeBackEmpty(path);
        if (emptyBesideJournal(path)) {
            // Not set aside: never opened, so that its journal stays.
            m_reason = folderTrouble(folder);
            *notice = m_reason;
            return false;
        }
    }
    // The file as found; once set aside, the copy when it is sound; else a new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QString fault;
        if (!connect(path, false, &fault)) {
            m_reason = folderTrouble(folder);
            *notice = m_reason;
            disconnect();
            return false;
        }
        if (check(&fault)) break;
        disconnect();
        QString aside;
        const bool newer = fault == newerVersion();
        const QString kind = newer ? QStringLiteral("versione-nuova") : QStringLiteral("rovinato");
        if (attempt == 2 || !setAside(path, kind, &aside)) {
            m_reason = folderTrouble(folder);
            *notice = m_reason;
            return false;
        }
        // A file of a newer version is not damaged: its evenings are not ours to go back on.
        QDateTime taken;
        if (attempt == 0 && !newer && restoreBackup(path, &taken))
            *notice = QStringLiteral("Il file delle serate (%1) è stato messo da parte come «%2»; le serate "
                                     "sono state riprese dalla copia di sicurezza %3: quanto è successo "
                                     "dopo non c'è.")
                          .arg(fault, QDir::toNativeSeparators(aside), copyTaken(taken));
        else
            *notice = QStringLiteral("Il file delle serate (%1) è stato messo da parte come «%2» e ne è "
                                     "stato iniziato uno nuovo.")
                          .arg(fault, QDir::toNativeSeparators(aside));
    }
    m_readable = m_writable = true;
    if (!prepare(folder)) {
        if (notice->isEmpty()) *notice = m_reason;
        return false;
    }
    markFiles();
    readStopNote();
    return notice->isEmpty();
}

bool EveningStore::prepare(const QString &folder)
{
    QSqlQuery q(db());
    // Each commit on the disk before it returns, power cut or not.
    const bool tuned = q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
                       q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    QSqlQuery version(db());
    const int found =
        version.exec(QStringLiteral("PRAGMA user_version")) && version.next() ? version.value(0).toInt() : -1;
    version.finish();
    if (!tuned || found < 0 || (found == 0 && !createSchema()) ||
        (found > 0 && found < kVersion && !upgrade(found))) {
        failed(folderTrouble(folder));
        return false;
    }
    m_prepared = true;
    return true;
}

void EveningStore::failed(const QString &why)
{
    if (m_failed) return;
    m_failed = true;
    m_reason = why;
}

bool EveningStore::write(const std::function<bool(QSqlQuery &)> &work)
{
    if (!isKept() || m_wantsWhole) return false;
    if (const QString changed = changedUnder(); !changed.isEmpty()) {
        replaceChanged(changed);
        return false;
    }
    QSqlDatabase d = db();
    QSqlQuery q(d);
    if (d.transaction() && work(q) && d.commit()) {
        markFiles();
        return true;
    }
    // The reason is taken before the rollback, which would put its own error in its place.
    const QString why = q.lastError().isValid() ? q.lastError().text() : d.lastError().text();
    d.rollback();
    failed(QStringLiteral("La serata per ora non viene registrata (%1): continua in memoria e sarà scritta "
                          "per intero appena il disco lo permette.")
               .arg(why));
    return false;
}

qint64 EveningStore::beginEvening(const QDateTime &at)
{
    qint64 id = 0;
    write([&](QSqlQuery &q) {
        q.prepare(QStringLiteral("INSERT INTO evenings(started) VALUES (?)"));
        q.addBindValue(rows::timeText(at));
        if (!q.exec()) return false;
        id = q.lastInsertId().toLongLong();
        return true;
    });
    return id;
}

bool EveningStore::stamp(qint64 evening, const char *column, const QDateTime &at)
{
    return write([&](QSqlQuery &q) {
        q.prepare(QStringLiteral("UPDATE evenings SET %1 = ? WHERE id = ?").arg(QLatin1String(column)));
        q.addBindValue(rows::timeText(at));
        q.addBindValue(evening);
        return q.exec();
    });
}

bool EveningStore::restartEvening(qint64 evening, const QDateTime &at)
{
    return stamp(evening, "started", at);
}

bool EveningStore::endEvening(qint64 evening, const QDateTime &at)
{
    return stamp(evening, "ended", at);
}

bool EveningStore::inspect(const QString &path, QString *why)
{
    EveningStore store;
    if (!store.connect(path, true, why)) return false;
    store.m_readable = true;
    if (!store.check(why)) return false;
    for (const EveningSummary &e : store.evenings())
        if (!store.load(e.id, why)) return false;
    return true;
}
