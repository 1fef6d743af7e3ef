#include "announce/clip_store.h"
#include "announce/prizes.h"
#include "announce/smorfia.h"
#include "announce/speech.h"
#include "announce/wave.h"

#include <QTest>

// Every key the program plays names a clip in tombola_resources that the player can read.
class TestClipCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyKeyIsAPlayableWave_data()
    {
        QTest::addColumn<QString>("key");
        QStringList keys = {"applausi", "apri", "inizio", "num_estratti"};
        for (const PrizeInfo &prize : prizeTable)
            keys << QLatin1String(prize.word);
        for (int n = 1; n <= 90; ++n)
            keys << wholeNumberKey(std::int16_t(n));
        for (int n = 1; n <= 19; ++n)
            keys << QStringLiteral("va%1").arg(n);
        for (int t = 20; t <= 90; t += 10)
            keys << QStringLiteral("vale%1").arg(t);
        for (int n = 1; n <= 90; ++n)
            keys << meaningClipKey(n);
        for (const QString &key : keys)
            QTest::newRow(qPrintable(key)) << key;
    }
    void everyKeyIsAPlayableWave()
    {
        QFETCH(QString, key);
        const QByteArray clip = loadClip(key, QStringLiteral("wav"));
        const auto info =
            parseWave(reinterpret_cast<const unsigned char *>(clip.constData()), size_t(clip.size()));
        QVERIFY2(info.has_value(), "not a WAVE the player can read");
        QVERIFY2(info->durationSeconds() >= 0.2 && info->durationSeconds() <= 6.0,
                 qPrintable(QString::number(info->durationSeconds())));
    }
};

QTEST_GUILESS_MAIN(TestClipCatalogue)
#include "test_clip_catalogue.moc"
