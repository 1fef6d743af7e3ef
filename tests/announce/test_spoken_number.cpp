// A number drawn by the game, spoken through the real player with the clips the program carries:
// what reaches the sound server's monitor. Needs a server (scripts/with-pulse.sh); skips without one
// unless TOMBOLA_REQUIRE_SOUND=1.

#include "announce/clip_store.h"
#include "announce/pulse_sound.h"
#include "announce/speech.h"
#include "announce/wave.h"
#include "fakes/fake_ports.h"
#include "fakes/fake_random.h"
#include "fakes/fake_view.h"
#include "fakes/picks.h"
#include "game/game.h"
#include "monitor_recording.h"

#include <QProcess>
#include <QTest>

namespace
{

// Plays for real and notes the keys played once `live`; before, plays nothing and notes nothing.
class NotedSound : public SoundPort
{
public:
    explicit NotedSound(SoundPort &inner) : m_inner(inner) {}
    bool live = false;
    QStringList played;

    void play(const QString &nome, const QString &tipo) override
    {
        if (!live) return;
        m_inner.play(nome, tipo);
        played << nome;
    }
    void shutdown() override { m_inner.shutdown(); }
    bool lastPlayFailed() const override { return m_inner.lastPlayFailed(); }

private:
    SoundPort &m_inner;
};

double clipSeconds(const QString &key)
{
    const QByteArray clip = loadClip(key, QStringLiteral("wav"));
    const auto info =
        parseWave(reinterpret_cast<const unsigned char *>(clip.constData()), size_t(clip.size()));
    return info ? info->durationSeconds() : -1.0;
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

class TestSpokenNumber : public QObject
{
    Q_OBJECT

private:
    bool m_server = false;

private slots:
    void initTestCase()
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        m_server = pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
                   pactl.exitCode() == 0;
        if (!m_server && qEnvironmentVariable("TOMBOLA_REQUIRE_SOUND") == QLatin1String("1"))
            QFAIL("TOMBOLA_REQUIRE_SOUND=1 but no sound server is reachable");
    }

    // Composed, 21 would be "venti" and "uno" one after the other, about 1 s of sound; said whole it
    // is one clip, heard for exactly as long as the file lasts. A server that falls behind cuts gaps
    // into the sound: the clip is heard whole when its pieces add up to it.
    void aDrawnNumberIsHeardAsOneWholeClip_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("21, ventuno") << 21;
        QTest::newRow("23, ventitré") << 23;
        QTest::newRow("88, ottantotto") << 88;
    }
    void aDrawnNumberIsHeardAsOneWholeClip()
    {
        QFETCH(int, number);
        if (!m_server) QSKIP("no sound server");
        const QString key = wholeNumberKey(std::int16_t(number));
        const double length = clipSeconds(key);
        QVERIFY(length > 0);

        PulseSoundPort port;
        NotedSound sound(port);
        FakeView view;
        FakeClock clock;
        FakeRandom random;
        FakeDialogs dialogs;
        Game game(view, Ports{sound, clock, random, dialogs});
        game.setSecretSource(nullptr);
        // The start-up jingles are not what is measured.
        game.load();
        sound.live = true;
        random.replay(picksFor({number}));
        // Stopped in the pause after the first number, silently.
        clock.onPump = [&](FakeClock::Point p) {
            if (p == FakeClock::Point::Wait && game.state().drawnCount() == 1) game.bigNumberGesture(2, 0.0f);
        };

        QElapsedTimer elapsed;
        elapsed.start();
        MonitorRecording rec(elapsed);
        QString why;
        QVERIFY2(rec.start(&why), qPrintable(why));
        const double startMs = msSince(elapsed);
        game.draw();
        QVERIFY(rec.recordUntil(msSince(elapsed) + 300));
        rec.stop();

        QCOMPARE(game.state().drawnCount(), 1);
        QCOMPARE(game.state().numeri_estratti(1), QString::number(number));
        QCOMPARE(sound.played, QStringList{key});
        QVERIFY(!port.lastPlayFailed());
        // Quiet stretches inside a word ("tt") last under 0.2 s.
        const auto heard = rec.sounds(rec.sampleAt(startMs - 100), 0.2);
        QVERIFY(!heard.empty());
        const double seconds = MonitorRecording::seconds(heard);
        qInfo("%s: heard %.3f s of a %.3f s clip in %d piece(s)", qPrintable(key), seconds, length,
              int(heard.size()));
        QVERIFY2(seconds >= 0.97 * length - 0.005 && seconds <= 1.03 * length + 0.02,
                 qPrintable(QStringLiteral("heard %1 s of a %2 s clip").arg(seconds).arg(length)));
    }
};

QTEST_GUILESS_MAIN(TestSpokenNumber)
#include "test_spoken_number.moc"
