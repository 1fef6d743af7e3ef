// The file watched under the running program: before each write, the file and its journal are
// still the ones last written. One truncated, replaced or left without its journal is set aside and
// a new one started, into which the evening held in memory is written whole. And a main file found
// empty beside a journal at start-up is set aside with it before SQLite can delete the journal.

#include "evening/evening_log.h"
#include "evening/evening_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>
#include <atomic>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>

namespace
{

// The first bytes of every SQLite database.
constexpr char kHeader[] = "SQLite format 3";

struct StatOf {
    bool present = false;
    quint64 device = 0, inode = 0;
    qint64 size = 0;
};

StatOf statOf(const QString &path)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
}

// Read through SQLite's own descriptor: closing another one of the same file would drop every lock
// the process holds on it (POSIX locks), SQLite's among them. Only a header read whole and found
// different is another file's: a read that failed (the disk's fault, not the file's) says nothing,
// and the write that follows meets the fault on its own.
bool overwritten(sqlite3 *db)
{
    sqlite3_file *file = nullptr;
    if (!db || sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
        return false;
    char head[sizeof kHeader] = {};
    const int rc = file->pMethods->xRead(file, head, int(sizeof head), 0);
    if (rc == SQLITE_IOERR_SHORT_READ) return true;
    return rc == SQLITE_OK && std::memcmp(head, kHeader, sizeof kHeader) != 0;
}

// The page size a WAL journal names in its header; 0 when it is not one.
quint32 journalPageSize(const QString &journal)
{
    QFile f(journal);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray head = f.read(32);
    if (head.size() < 32) return 0;
    const quint32 magic = qFromBigEndian<quint32>(head.constData());
    const quint32 page = qFromBigEndian<quint32>(head.constData() + 8);
    if ((magic & ~1u) != 0x377f0682u || page < 512 || page > 65536 || (page & (page - 1)) != 0) return 0;
    return page;
}

} // namespace

sqlite3 *EveningStore::handle() const
{
    if (!QSqlDatabase::contains(m_connection)) return nullptr;
    const QVariant v = db().driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

void EveningStore::markFiles()
{
    auto mark = [](const QString &path) {
        const StatOf s = statOf(path);
        return FileMark{s.present, s.device, s.inode, s.size};
    };
    m_marks = {mark(m_path), mark(m_path + QStringLiteral("-wal")), mark(m_path + QStringLiteral("-shm"))};
}

QString EveningStore::changedUnder() const
{
    // Not watched before the file is first marked, as it is made.
    if (!m_marks.main.present) return {};
    const StatOf main = statOf(m_path);
    if (!main.present) return QStringLiteral("the file is gone");
    if (main.device != m_marks.main.device || main.inode != m_marks.main.inode)
        return QStringLiteral("another file stands in its place");
    // The main file grows at checkpoints and never shrinks under this program.
    if (main.size < m_marks.main.size || (m_marks.main.size > 0 && main.size == 0))
        return QStringLiteral("truncated from %1 to %2 bytes").arg(m_marks.main.size).arg(main.size);
    if (main.size > 0 && overwritten(handle())) return QStringLiteral("overwritten");
    const auto same = [](const FileMark &was, const StatOf &now) {
        return !was.present || (now.present && now.device == was.device && now.inode == was.inode);
    };
    if (!same(m_marks.journal, statOf(m_path + QStringLiteral("-wal"))))
        return QStringLiteral("its journal (-wal) is gone or replaced");
    if (!same(m_marks.shared, statOf(m_path + QStringLiteral("-shm"))))
        return QStringLiteral("its shared memory file (-shm) is gone or replaced");
    return {};
}

void EveningStore::replaceChanged(const QString &why)
{
    qCWarning(lcEvening).noquote() << "the file" << m_path << "changed under the program:" << why
                                   << "- set aside, and the evening written whole into a new one";
    // Closed without a checkpoint (disconnect() sees the change): the journal stays as it was.
    disconnect();
    const QString folder = QFileInfo(m_path).absolutePath();
    QString aside;
    if (!setAside(m_path, QStringLiteral("rovinato"), &aside)) {
        failed(folderTrouble(folder));
        return;
    }
    qCWarning(lcEvening).noquote() << "set aside as" << aside;
    // The copy, when sound, keeps the earlier evenings; tonight's comes from memory.
    QDateTime taken;
    if (restoreBackup(m_path, &taken))
        qCInfo(lcEvening).noquote() << "the new file starts from the copy taken"
                                    << taken.toString(Qt::ISODate);
    QString failure;
    if (!connect(m_path, false, &failure)) {
        qCWarning(lcEvening).noquote() << "no new file:" << failure;
        failed(folderTrouble(folder));
        return;
    }
    m_readable = m_writable = true;
    if (!prepare(folder)) return;
    markFiles();
    m_wantsWhole = true;
}

bool EveningStore::emptyBesideJournal(const QString &path)
{
    const QFileInfo main(path), journal(path + QStringLiteral("-wal"));
    return main.exists() && main.size() == 0 && journal.exists() && journal.size() > 0;
}

QString EveningStore::takeBackEmpty(const QString &path)
{
    QString aside;
    if (!setAside(path, QStringLiteral("rovinato"), &aside)) return {};
    qCWarning(lcEvening).noquote() << "an empty file beside its journal, set aside as" << aside;
    QString how;
    QDateTime taken;
    if (recoverFromJournal(aside + QStringLiteral("-wal"), path))
        how = QStringLiteral("le serate sono state ricostruite dal giornale");
    else if (restoreBackup(path, &taken))
        how = QStringLiteral("le serate sono state riprese dalla copia di sicurezza %1: quanto è successo "
                             "dopo non c'è")
                  .arg(copyTaken(taken));
    else
        how = QStringLiteral("ne è stato iniziato uno nuovo");
    return QStringLiteral("Il file delle serate era vuoto, ma il suo giornale («-wal») conteneva dati: i due "
                          "file sono stati messi da parte insieme come «%1»; %2.")
        .arg(QDir::toNativeSeparators(aside), how);
}

bool EveningStore::recoverFromJournal(const QString &journal, const QString &to)
{
    // A journal holds every page of the file only while nothing of it was copied into the main file
    // (a young file): then it reads over a main file of one empty page, and SQLite, checking every
    // frame, writes it into that file. Else a page is missing and the check below says so.
    const quint32 page = journalPageSize(journal);
    if (page == 0) return false;
    QTemporaryDir work(QFileInfo(to).absolutePath() + QStringLiteral("/.serate-recupero-XXXXXX"));
    if (!work.isValid()) return false;
    const QString main = work.filePath(QStringLiteral("serate.sqlite"));
    {
        QFile blank(main);
        if (!blank.open(QIODevice::WriteOnly) || blank.write(QByteArray(qsizetype(page), '\0')) != page)
            return false;
    }
    if (!QFile::copy(journal, main + QStringLiteral("-wal"))) return false;
    static std::atomic<int> next{0};
    const QString name = QStringLiteral("serate-recupero-%1").arg(next++);
    bool whole = false;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(main);
        if (d.open()) {
            QSqlQuery q(d);
            whole = q.exec(QStringLiteral("PRAGMA quick_check")) && q.next() &&
                    q.value(0).toString() == QLatin1String("ok") &&
                    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) &&
                    q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        }
        d.close();
    }
    QSqlDatabase::removeDatabase(name);
    QString why;
    if (!whole || !inspect(main, &why)) {
        qCInfo(lcEvening).noquote() << "the journal does not hold the whole file" << why;
        return false;
    }
    return QFile::rename(main, to);
}
