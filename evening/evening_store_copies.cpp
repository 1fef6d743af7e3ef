// What keeps the evening beyond the file's own writes: the journal copied into the main file, a copy
// of the whole file beside it, and the small note that says when the record stopped.

#include "evening/evening_log.h"
#include "evening/evening_store.h"
#include "evening/stored_rows.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace
{

// The note's size: always written whole, over the same bytes.
constexpr qsizetype kNoteBytes = 128;
constexpr char kNoteTitle[] = "tombola: registrazione fermata";

QString notePath(const QString &path)
{
    return path + QStringLiteral(".fermata");
}

// The note, padded to its size: the evening whose record stopped and when (none: 0).
QByteArray noteText(qint64 evening, const QDateTime &at)
{
    QByteArray text = QByteArray(kNoteTitle) + '\n' + QByteArray::number(evening) + '\n' +
                      (at.isValid() ? rows::timeText(at).toLatin1() : QByteArray()) + '\n';
    return text.leftJustified(kNoteBytes - 1, ' ', true) + '\n';
}

// Over the bytes the note already has, when it has them: a full disk still takes it.
bool writeNote(const QString &path, qint64 evening, const QDateTime &at)
{
    QFile f(notePath(path));
    const QByteArray text = noteText(evening, at);
    if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || f.write(text) != text.size()) return false;
    if (f.size() > kNoteBytes) f.resize(kNoteBytes);
    return ::fdatasync(f.handle()) == 0;
}

bool syncPath(const QString &path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// `from` in place of `to` in one step, on the disk before it returns.
bool putInPlace(const QString &from, const QString &to)
{
    return syncPath(from, false) &&
           std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 &&
           syncPath(QFileInfo(to).absolutePath(), true);
}

void removeWithJournals(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

QString EveningStore::backupPath(const QString &path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-copia") +
           suffix;
}

QString EveningStore::copyTaken(const QDateTime &taken)
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    const QString time = italian.toString(taken.time(), QStringLiteral("HH:mm"));
    if (taken.date() == QDate::currentDate()) return QStringLiteral("delle %1").arg(time);
    return QStringLiteral("del %1 alle %2")
        .arg(italian.toString(taken.date(), QStringLiteral("d MMMM")), time);
}

bool EveningStore::checkpoint()
{
    if (!isKept() || m_wantsWhole) return false;
    if (const QString changed = changedUnder(); !changed.isEmpty()) {
        replaceChanged(changed);
        return false;
    }
    QSqlQuery q(db());
    // TRUNCATE waits for readers (the busy time at most); PASSIVE copies what it can beside them.
    bool done =
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && q.next() && q.value(0).toInt() == 0;
    q.finish();
    if (!done) {
        done = q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) && q.next() &&
               q.value(0).toInt() == 0 && q.value(1).toInt() == q.value(2).toInt();
        q.finish();
    }
    markFiles();
    if (!done) qCDebug(lcEvening) << "the journal could not be emptied into the file now";
    return done;
}

bool EveningStore::backup()
{
    if (!isKept() || m_wantsWhole) return false;
    if (const QString changed = changedUnder(); !changed.isEmpty()) {
        replaceChanged(changed);
        return false;
    }
    sqlite3 *source = handle();
    if (!source) return false;
    const QString target = backupPath(m_path);
    const QString fresh = target + QStringLiteral(".nuova");
    removeWithJournals(fresh);
    sqlite3 *copy = nullptr;
    bool ok = sqlite3_open_v2(QFile::encodeName(fresh).constData(), &copy,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_backup *b = sqlite3_backup_init(copy, "main", source, "main");
        ok = b && sqlite3_backup_step(b, -1) == SQLITE_DONE;
        ok = b && sqlite3_backup_finish(b) == SQLITE_OK && ok;
        // One file with no journal beside it, that can be copied back alone.
        ok = ok && sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    const QString failure = copy ? QString::fromUtf8(sqlite3_errmsg(copy)) : QString();
    sqlite3_close(copy);
    ok = ok && putInPlace(fresh, target);
    if (!ok) {
        removeWithJournals(fresh);
        qCWarning(lcEvening).noquote() << "no copy of the file taken:" << failure;
    }
    return ok;
}

bool EveningStore::restoreBackup(const QString &path, QDateTime *taken)
{
    const QString copy = backupPath(path);
    if (!QFile::exists(copy)) return false;
    QString why;
    if (!inspect(copy, &why)) {
        qCWarning(lcEvening).noquote() << "the copy" << copy << "is not sound either:" << why;
        return false;
    }
    const QString fresh = path + QStringLiteral(".ripresa");
    removeWithJournals(fresh);
    if (!QFile::copy(copy, fresh) || !putInPlace(fresh, path)) {
        QFile::remove(fresh);
        return false;
    }
    *taken = QFileInfo(copy).lastModified();
    qCWarning(lcEvening).noquote() << "the evenings come back from the copy" << copy;
    return true;
}

void EveningStore::readStopNote()
{
    QFile f(notePath(m_path));
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = f.read(kNoteBytes).split('\n');
        bool number = false;
        const qint64 evening = lines.value(1).toLongLong(&number);
        const auto at = rows::parseTime(QString::fromLatin1(lines.value(2)));
        if (lines.value(0) == kNoteTitle && number && evening > 0 && at) {
            m_earlierEvening = evening;
            m_earlierStop = *at;
        }
        f.close();
    }
    // The note is made now, while there is room, for the moment the disk is full; one found is
    // left as it is until forgetEarlierStop().
    if (f.size() != kNoteBytes || m_earlierEvening == 0) writeNote(m_path, m_earlierEvening, m_earlierStop);
}

void EveningStore::noteStopped(qint64 evening, const QDateTime &at)
{
    if (!m_writable || m_stopNoted || evening == 0) return;
    m_stopNoted = writeNote(m_path, evening, at);
    if (!m_stopNoted) qCWarning(lcEvening) << "the stop of the record could not be noted either";
}

void EveningStore::noteCaughtUp()
{
    if (!m_stopNoted) return;
    m_stopNoted = !writeNote(m_path, 0, {});
}

QDateTime EveningStore::earlierStop(qint64 evening) const
{
    return evening != 0 && evening == m_earlierEvening ? m_earlierStop : QDateTime();
}

void EveningStore::forgetEarlierStop()
{
    if (m_earlierEvening == 0) return;
    m_earlierEvening = 0;
    m_earlierStop = {};
    if (m_writable && !m_stopNoted) writeNote(m_path, 0, {});
}
