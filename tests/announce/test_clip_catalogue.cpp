#include "announce/clip_store.h"
#include "announce/smorfia.h"
#include "announce/wave.h"

#include <QDir>
#include <QTest>

// Every key the program plays names a clip in tombola_resources that the player can read.
class TestClipCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyKeyIsAPlayableWave_data()
    {
        QTest::addColumn<QString>("key");
        QStringList keys = {"ambo",   "applausi",     "apri",     "cinquina",
                            "inizio", "num_estratti", "quaterno", "terno"};
        for (int n = 1; n <= 19; ++n)
            keys << QStringLiteral("va%1").arg(n);
        for (int t = 20; t <= 90; t += 10)
            keys << QStringLiteral("vale%1").arg(t);
        for (int n = 1; n <= 90; ++n)
            keys << chiaveSignificato(n);
        for (const QString &key : keys)
            QTest::newRow(qPrintable(key)) << key;
    }
    void everyKeyIsAPlayableWave()
    {
        QFETCH(QString, key);
        if (QDir(QStringLiteral(":/clips")).isEmpty()) QSKIP("tombola_resources carries no clips yet");
        const QByteArray clip = caricaClip(key, QStringLiteral("wav"));
        const auto info =
            parseWave(reinterpret_cast<const unsigned char *>(clip.constData()), size_t(clip.size()));
        QVERIFY2(info.has_value(), "not a WAVE the player can read");
        QVERIFY2(info->durationSeconds() >= 0.2 && info->durationSeconds() <= 6.0,
                 qPrintable(QString::number(info->durationSeconds())));
    }
};

QTEST_GUILESS_MAIN(TestClipCatalogue)
#include "test_clip_catalogue.moc"
