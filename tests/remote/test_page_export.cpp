// The page saved for a web host: every file the page loads is written, byte for byte as the program
// serves it, and every reference between them (index.html to its style and script, app.js to the
// module that reaches NATS, that module to the vendored client) is relative and found in the saved
// folder, so the page works wherever the club puts it; the vendored client is the one its VERSION
// names; the voice's clips (voce/NUMERO<n>.wav, which app.js names) are saved as the phones' server
// serves them; a folder that cannot be made is told in Italian.

#include "phones/phone_server.h"
#include "remote/page_export.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace
{
QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The addresses `pattern` (one capture) finds in the file `name` of `folder`.
QStringList references(const QDir &folder, const QString &name, const QString &pattern)
{
    QStringList out;
    const QString text = QString::fromUtf8(read(folder.filePath(name)));
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        out << it.next().captured(1);
    return out;
}
} // namespace

class TestPageExport : public QObject
{
    Q_OBJECT

private slots:
    void theSavedPageHoldsEverythingItLoads()
    {
        QTemporaryDir tmp;
        const QDir site(tmp.filePath(QStringLiteral("sito/tombola")));
        // A file left from an older page is replaced.
        QVERIFY(QDir().mkpath(site.path()));
        {
            QFile old(site.filePath(QStringLiteral("app.js")));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("vecchio");
        }
        QString why;
        QVERIFY2(savePage(site.path(), &why), qPrintable(why));
        const QStringList files = pageFiles();
        for (const char *needed : {"index.html", "style.css", "app.js", "vendor/nats_link.js",
                                   "vendor/nats.js", "vendor/LICENSE", "vendor/VERSION"})
            QVERIFY2(files.contains(QLatin1String(needed)), needed);
        // Whatever the phones' server serves the page is saved, byte for byte.
        const auto &served = PhoneServer::files();
        for (auto it = served.cbegin(); it != served.cend(); ++it) {
            const QString name = it.key().isEmpty() ? QStringLiteral("index.html") : it.key();
            QVERIFY2(files.contains(name), qPrintable(name));
            QCOMPARE(read(site.filePath(name)), it->bytes);
        }
        for (const QString &name : files) {
            const QByteArray saved = read(site.filePath(name));
            QVERIFY2(!saved.isEmpty(), qPrintable(name));
            if (!name.startsWith(QLatin1String("voce/")))
                QCOMPARE(saved, read(QStringLiteral(":/phones/") + name));
        }
        // The voice: the page asks for voce/NUMERO<n>.wav, and each of the 90 is a saved WAVE clip.
        QVERIFY(read(site.filePath(QStringLiteral("app.js"))).contains("'voce/NUMERO' + n + '.wav'"));
        for (int n = 1; n <= 90; ++n) {
            const QByteArray clip = read(site.filePath(QStringLiteral("voce/NUMERO%1.wav").arg(n)));
            QVERIFY2(clip.startsWith("RIFF") && clip.mid(8, 4) == "WAVE", qPrintable(QString::number(n)));
            QCOMPARE(clip, read(QStringLiteral(":/clips/NUMERO%1.wav").arg(n)));
        }

        // Each reference, followed from the file that makes it: relative, and saved.
        struct Ref {
            QString from;
            QString pattern;
            int least;
        };
        const QList<Ref> refs{
            {QStringLiteral("index.html"),
             QStringLiteral("<(?:script|link)\\b[^>]*\\b(?:src|href)=\"([^\"]*)\""), 2},
            {QStringLiteral("app.js"), QStringLiteral("script\\.src\\s*=\\s*'([^']*)'"), 1},
            {QStringLiteral("vendor/nats_link.js"), QStringLiteral("\\bfrom\\s+'([^']*)'"), 1},
        };
        QStringList followed;
        for (const Ref &r : refs) {
            const QStringList found = references(site, r.from, r.pattern);
            QVERIFY2(found.size() >= r.least, qPrintable(r.from));
            for (const QString &address : found) {
                QVERIFY2(QUrl(address).isRelative() && !address.startsWith(QLatin1Char('/')),
                         qPrintable(r.from + QStringLiteral(": ") + address));
                const QString target =
                    QDir::cleanPath(QFileInfo(site.filePath(r.from)).dir().filePath(address));
                QVERIFY2(QFileInfo::exists(target), qPrintable(r.from + QStringLiteral(": ") + address));
                followed << QDir(site).relativeFilePath(target);
            }
        }
        // The chain reaches the vendored client.
        QVERIFY2(followed.contains(QStringLiteral("vendor/nats_link.js")),
                 qPrintable(followed.join(QLatin1Char(' '))));
        QVERIFY2(followed.contains(QStringLiteral("vendor/nats.js")),
                 qPrintable(followed.join(QLatin1Char(' '))));

        // The client is the one its VERSION names.
        const QByteArray sum = QCryptographicHash::hash(read(site.filePath(QStringLiteral("vendor/nats.js"))),
                                                        QCryptographicHash::Sha256)
                                   .toHex();
        QVERIFY(read(site.filePath(QStringLiteral("vendor/VERSION"))).contains("sha256 of nats.js: " + sum));
    }

    void aFolderThatCannotBeMadeIsTold()
    {
        QTemporaryDir tmp;
        const QString file = tmp.filePath(QStringLiteral("un-file"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString why;
        QVERIFY(!savePage(file + QStringLiteral("/sito"), &why));
        QVERIFY2(why.startsWith(QStringLiteral("Impossibile creare la cartella")), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(TestPageExport)
#include "test_page_export.moc"
