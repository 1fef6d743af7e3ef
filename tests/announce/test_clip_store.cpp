#include "announce/clip_store.h"
#include "announce/sound_port.h"

#include <QFile>
#include <QTest>

// Runs against a resource file of its own (data/, under :/clips/), so it does not depend on which
// clips the program ships.
class TestClipStore : public QObject
{
    Q_OBJECT

private slots:
    void lookupIgnoresCase_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("tipo");
        QTest::newRow("the program's own spelling") << "va7"
                                                    << "wav";
        QTest::newRow("upper-case key") << "VA7"
                                        << "wav";
        QTest::newRow("upper-case type") << "va7"
                                         << "WAV";
        QTest::newRow("mixed case") << "vA7"
                                    << "Wav";
        QTest::newRow("key with an underscore") << "tono_u8"
                                                << "wav";
    }
    void lookupIgnoresCase()
    {
        QFETCH(QString, nome);
        QFETCH(QString, tipo);
        QFile original(QStringLiteral(TOMBOLA_TEST_DATA "/") + nome.toUpper() + QStringLiteral(".wav"));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(loadClip(nome, tipo), original.readAll());
    }

    void missingKeyThrowsClipMissing_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("tipo");
        QTest::newRow("no such key") << "va8"
                                     << "wav";
        QTest::newRow("no such type") << "va7"
                                      << "mp3";
        QTest::newRow("empty key") << ""
                                   << "wav";
        QTest::newRow("empty type") << "va7"
                                    << "";
        QTest::newRow("key with a path") << "./va7"
                                         << "wav";
        QTest::newRow("key climbing out") << "../clips/va7"
                                          << "wav";
        QTest::newRow("type with a path") << "va7"
                                          << "wav/.";
        QTest::newRow("key with a backslash") << "\\va7"
                                              << "wav";
        QTest::newRow("key of a whole name") << "va7.wav"
                                             << "wav";
    }
    void missingKeyThrowsClipMissing()
    {
        QFETCH(QString, nome);
        QFETCH(QString, tipo);
        try {
            loadClip(nome, tipo);
            QFAIL("no ClipMissing");
        } catch (const ClipMissing &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(nome), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestClipStore)
#include "test_clip_store.moc"
