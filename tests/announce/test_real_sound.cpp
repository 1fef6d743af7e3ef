// PulseSoundPort against a real PulseAudio server: what reaches the server's monitor, how long a play
// blocks, the ways a play must end early, and how the port follows a server that stalls, dies, comes
// back or changes its default sink. Needs a server (scripts/with-pulse.sh); skips without one unless
// TOMBOLA_REQUIRE_SOUND=1. Some cases run this program again as a child (--child MODE), because they
// need a fresh process: no server, a private server to stall, kill or restart, an X display, an
// application exit.

#include "announce/clip_store.h"
#include "announce/pulse_sound.h"
#include "announce/wave.h"
#include "monitor_recording.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdio>

namespace
{

double clipSeconds(const QString &key)
{
    const QByteArray clip = loadClip(key, QStringLiteral("wav"));
    const auto info =
        parseWave(reinterpret_cast<const unsigned char *>(clip.constData()), size_t(clip.size()));
    return info ? info->durationSeconds() : -1.0;
}

bool soundRequired()
{
    return qEnvironmentVariable("TOMBOLA_REQUIRE_SOUND") == QLatin1String("1");
}

// Child output is "key=value" lines.
QMap<QString, QString> parseReport(const QByteArray &out)
{
    QMap<QString, QString> report;
    for (const QByteArray &line : out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0) report.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return report;
}

void say(const char *key, double value)
{
    std::printf("%s=%.3f\n", key, value);
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// A server answers on PULSE_SERVER (or the default place), asked by a tool of its own.
bool serverAnswers()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
}

// The connections this program holds to the server, as the server lists its clients.
int clientsOfThisProgram()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("clients")});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0) return -1;
    const QByteArray self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    int n = 0;
    for (const QByteArray &line : pactl.readAllStandardOutput().split('\n'))
        n += line.split('\t').value(2) == self;
    return n;
}

bool pactl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Plays `key` while recording `monitor`; how much sound the monitor got from the play on, in
// seconds (0 when none), or -1 when the recording failed.
double heardWhilePlaying(PulseSoundPort &port, const QString &key,
                         const QString &monitor = QStringLiteral("@DEFAULT_MONITOR@"))
{
    QElapsedTimer clock;
    clock.start();
    MonitorRecording rec(clock, monitor);
    QString why;
    if (!rec.start(&why)) {
        std::fprintf(stderr, "recording %s failed: %s\n", qPrintable(monitor), qPrintable(why));
        return -1;
    }
    const double startMs = msSince(clock);
    port.play(key, QStringLiteral("wav"));
    // Until the monitor has passed on what the server played up to the return, and then some.
    if (!rec.recordUntil(msSince(clock) + 300)) {
        std::fprintf(stderr, "recording %s stalled\n", qPrintable(monitor));
        return -1;
    }
    rec.stop();
    return MonitorRecording::seconds(rec.sounds(rec.sampleAt(startMs - 100)));
}

// The sink inputs, the streams, that play on sink `name` now.
int streamsOn(const QString &name)
{
    QProcess sinks;
    sinks.start(QStringLiteral("pactl"),
                {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
    if (!sinks.waitForFinished(5000) || sinks.exitCode() != 0) return -1;
    QByteArray index;
    for (const QByteArray &line : sinks.readAllStandardOutput().split('\n'))
        if (line.split('\t').value(1) == name.toUtf8()) index = line.split('\t').value(0);
    if (index.isEmpty()) return -1;
    QProcess inputs;
    inputs.start(QStringLiteral("pactl"),
                 {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")});
    if (!inputs.waitForFinished(5000) || inputs.exitCode() != 0) return -1;
    int n = 0;
    for (const QByteArray &line : inputs.readAllStandardOutput().split('\n'))
        n += line.split('\t').value(1) == index;
    return n;
}

// A new server on this run's socket, through with-pulse.sh; its process id, or 0.
qint64 startAnotherServer()
{
    QProcess helper;
    helper.start(QStringLiteral("bash"),
                 {QStringLiteral(TOMBOLA_WITH_PULSE), QStringLiteral("--start-server")});
    if (!helper.waitForFinished(20000) || helper.exitCode() != 0) {
        std::fprintf(stderr, "with-pulse.sh --start-server failed: %s\n",
                     helper.readAllStandardError().constData());
        return 0;
    }
    return helper.readAllStandardOutput().trimmed().toLongLong();
}

// ---- children -------------------------------------------------------------------------------

// No server: plays return at once, quietly; a missing key still throws.
int childNoServer()
{
    PulseSoundPort port;
    QElapsedTimer t;
    t.start();
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    say("play_ms", msSince(t));
    say("failed", port.lastPlayFailed());
    bool thrown = false;
    try {
        port.play(QStringLiteral("nessuna"), QStringLiteral("wav"));
    } catch (const ClipMissing &) {
        thrown = true;
    }
    say("missing_thrown", thrown);
    return 0;
}

// The output goes half a second into a 2 s clip: the server is killed, or its only sink removed.
int childLoseOutput(const QByteArray &how)
{
    const qint64 pid = qEnvironmentVariable("TOMBOLA_PULSE_PID").toLongLong();
    if (pid <= 0 || !serverAnswers()) return 3;
    PulseSoundPort port;
    QTimer::singleShot(500, [pid, how] {
        if (how == "kill")
            ::kill(pid_t(pid), SIGKILL);
        else
            QProcess::startDetached(QStringLiteral("pactl"),
                                    {QStringLiteral("unload-module"), QStringLiteral("module-null-sink")});
    });
    QElapsedTimer t;
    t.start();
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    say("play_ms", msSince(t));
    say("failed", port.lastPlayFailed());
    t.restart();
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    say("replay_ms", msSince(t));
    say("replay_failed", port.lastPlayFailed());
    return 0;
}

// QCoreApplication::quit() while a 2 s clip plays inside the application's own event loop.
int childQuit()
{
    if (!serverAnswers()) return 3;
    PulseSoundPort port;
    QElapsedTimer t;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(300, [&] {
            say("quit_ms", msSince(t));
            QCoreApplication::quit();
        });
        t.start();
        port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        say("play_ms", msSince(t));
    });
    const int rc = QCoreApplication::exec();
    say("exec_returned_ms", msSince(t));
    return rc;
}

class ClickWindow : public QWindow
{
public:
    QElapsedTimer *clock = nullptr;
    double firstPressMs = -1;
    double firstUpdateMs = -1;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        if (firstPressMs < 0) firstPressMs = msSince(*clock);
    }
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::UpdateRequest && firstUpdateMs < 0) firstUpdateMs = msSince(*clock);
        return QWindow::event(e);
    }
};

// On an X display: a real click arrives during a 2 s clip; it must wait for the play's end, while
// window updates go on.
int childInput()
{
    if (!serverAnswers()) return 3;
    QElapsedTimer t;
    t.start();
    ClickWindow window;
    window.clock = &t;
    window.setGeometry(0, 0, 200, 200);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 4;
    PulseSoundPort port;
    QProcess xdotool;
    double xdotoolDoneMs = -1;
    QObject::connect(&xdotool, &QProcess::finished, [&] { xdotoolDoneMs = msSince(t); });
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("mousemove"),
                   QStringLiteral("50"), QStringLiteral("50"), QStringLiteral("click"), QStringLiteral("1")});
    if (!xdotool.waitForStarted(3000)) return 5;
    QTimer::singleShot(400, &window, [&] {
        window.firstUpdateMs = -1;
        window.requestUpdate();
    });
    const double startMs = msSince(t);
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    const double endMs = msSince(t);
    // The click held back during the clip comes now.
    const bool pressed = QTest::qWaitFor([&] { return window.firstPressMs >= 0; }, 10000);
    xdotool.waitForFinished(10000);
    say("play_start_ms", startMs);
    say("play_end_ms", endMs);
    say("xdotool_done_ms", xdotoolDoneMs);
    say("xdotool_exit", xdotool.exitCode());
    say("press_ms", pressed ? window.firstPressMs : -1.0);
    say("update_ms", window.firstUpdateMs);
    return 0;
}

// The server stalls (SIGSTOP) half a second into a 2 s clip and stays stalled: the play ends at
// its bound. Still stalled, a play is closed by shutdown(); then the server is killed during a play,
// and a play after that fails at once. No port waits for its stuck workers when it goes.
int childStall()
{
    const auto pid = pid_t(qEnvironmentVariable("TOMBOLA_PULSE_PID").toLongLong());
    if (pid <= 0 || !serverAnswers()) return 3;
    QElapsedTimer t;
    {
        PulseSoundPort stalled;
        PulseSoundPort closed;
        PulseSoundPort killed;
        PulseSoundPort after;
        QTimer::singleShot(500, [pid] { ::kill(pid, SIGSTOP); });
        t.start();
        stalled.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        say("stalled_play_ms", msSince(t));
        say("stalled_failed", stalled.lastPlayFailed());

        double shutdownAtMs = -1;
        double shutdownMs = -1;
        QTimer::singleShot(300, [&] {
            shutdownAtMs = msSince(t);
            QElapsedTimer s;
            s.start();
            closed.shutdown();
            shutdownMs = msSince(s);
        });
        t.restart();
        closed.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        say("closed_play_ms", msSince(t));
        say("shutdown_at_ms", shutdownAtMs);
        say("shutdown_ms", shutdownMs);

        QTimer::singleShot(300, [pid] { ::kill(pid, SIGKILL); });
        t.restart();
        killed.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        say("killed_play_ms", msSince(t));
        say("killed_failed", killed.lastPlayFailed());

        t.restart();
        after.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
        say("after_play_ms", msSince(t));
        say("after_failed", after.lastPlayFailed());
        t.restart();
    }
    say("destroy_ms", msSince(t));
    return 0;
}

// The server is killed and stays away for 5.5 s, a play meanwhile; then a new server starts on the
// same socket and the next clip is heard on it.
int childRestart()
{
    const auto pid = pid_t(qEnvironmentVariable("TOMBOLA_PULSE_PID").toLongLong());
    if (pid <= 0 || !serverAnswers()) return 3;
    PulseSoundPort port;
    say("heard_before", heardWhilePlaying(port, QStringLiteral("tono_s16")));
    ::kill(pid, SIGKILL);
    QElapsedTimer gone;
    gone.start();
    if (!QTest::qWaitFor([] { return !serverAnswers(); }, 10000)) return 5;
    QElapsedTimer t;
    t.start();
    port.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
    say("outage_play_ms", msSince(t));
    say("outage_failed", port.lastPlayFailed());
    // The outage itself: 5.5 s, longer than Qt Multimedia ever came back from.
    QTest::qWait(int(std::max<qint64>(0, 5500 - gone.elapsed())));
    if (startAnotherServer() <= 0) return 4;
    say("heard_after", heardWhilePlaying(port, QStringLiteral("tono_s16")));
    say("after_failed", port.lastPlayFailed());
    return 0;
}

// Started with no server at all: the first play fails at once; once a server runs, the next clip
// is heard on it.
int childLateServer()
{
    if (serverAnswers()) return 3;
    PulseSoundPort port;
    QElapsedTimer t;
    t.start();
    port.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
    say("early_play_ms", msSince(t));
    say("early_failed", port.lastPlayFailed());
    if (startAnotherServer() <= 0) return 4;
    say("heard", heardWhilePlaying(port, QStringLiteral("tono_s16")));
    say("failed", port.lastPlayFailed());
    return 0;
}

// The default sink moves to a second null sink that another stream already plays into: the next
// clip is heard there and not on the first sink.
int childSwitchSink()
{
    if (!serverAnswers()) return 3;
    PulseSoundPort port;
    say("heard_first",
        heardWhilePlaying(port, QStringLiteral("tono_s16"), QStringLiteral("ci_sink.monitor")));
    if (!pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                QStringLiteral("sink_name=other_sink"), QStringLiteral("rate=44100"),
                QStringLiteral("channels=2")}))
        return 4;
    QProcess busy;
    busy.start(QStringLiteral("pacat"),
               {QStringLiteral("-p"), QStringLiteral("-d"), QStringLiteral("other_sink"),
                QStringLiteral("--raw"), QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=30"),
                QStringLiteral("/dev/zero")});
    if (!busy.waitForStarted(5000)) return 5;
    if (!QTest::qWaitFor([] { return streamsOn(QStringLiteral("other_sink")) > 0; }, 10000)) return 8;
    if (!pactl({QStringLiteral("set-default-sink"), QStringLiteral("other_sink")})) return 6;

    QElapsedTimer clock;
    clock.start();
    MonitorRecording old(clock, QStringLiteral("ci_sink.monitor"));
    QString why;
    if (!old.start(&why)) return 7;
    const double startMs = msSince(clock);
    say("heard_new",
        heardWhilePlaying(port, QStringLiteral("tono_s16"), QStringLiteral("other_sink.monitor")));
    say("failed", port.lastPlayFailed());
    if (!old.recordUntil(msSince(clock) + 300)) return 9;
    old.stop();
    say("heard_old", MonitorRecording::seconds(old.sounds(old.sampleAt(startMs))));
    busy.kill();
    busy.waitForFinished(3000);
    return 0;
}

int runChild(int argc, char **argv)
{
    const QByteArray mode = argv[2];
    if (mode == "input") {
        QGuiApplication app(argc, argv);
        return childInput();
    }
    QCoreApplication app(argc, argv);
    if (mode == "no-server") return childNoServer();
    if (mode == "kill-server") return childLoseOutput("kill");
    if (mode == "unload-sink") return childLoseOutput("unload");
    if (mode == "quit") return childQuit();
    if (mode == "stall") return childStall();
    if (mode == "restart") return childRestart();
    if (mode == "late-server") return childLateServer();
    if (mode == "switch-sink") return childSwitchSink();
    return 2;
}

} // namespace

class TestRealSound : public QObject
{
    Q_OBJECT

private:
    bool m_server = false;

    // Without a server the cases that need one skip; initTestCase has failed already when one is required.
    bool needServer() const { return m_server; }

    // False, with the case failed or skipped, when no private server can be started.
    bool privateServerPossible()
    {
        if (!QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) return true;
        if (soundRequired())
            QTest::qFail("pulseaudio is needed for this case", __FILE__, __LINE__);
        else
            QTest::qSkip("pulseaudio is not installed", __FILE__, __LINE__);
        return false;
    }

    // Runs `--child mode` under a server of its own (none at first unless `withServer`), which the
    // child may stall, kill or restart.
    QMap<QString, QString> runUnderPrivateServer(const QString &mode, bool withServer = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WITH_PULSE_SETTLE"), QStringLiteral("0.5"));
        env.insert(QStringLiteral("WITH_PULSE_SERVER"),
                   withServer ? QStringLiteral("1") : QStringLiteral("0"));
        return runChildProcess(mode, env, {QStringLiteral(TOMBOLA_WITH_PULSE)});
    }

    // Runs this program as `--child mode`; the report, or an empty map after a failure logged.
    QMap<QString, QString> runChildProcess(const QString &mode, const QProcessEnvironment &env,
                                           const QStringList &wrapper = {})
    {
        QProcess child;
        child.setProcessEnvironment(env);
        QStringList args = wrapper;
        args << QCoreApplication::applicationFilePath() << QStringLiteral("--child") << mode;
        child.start(args.takeFirst(), args);
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
            qWarning("child %s hung", qPrintable(mode));
            return {};
        }
        const QByteArray err = child.readAllStandardError();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            qWarning("child %s failed with %d: %s", qPrintable(mode), child.exitCode(), err.constData());
            return {};
        }
        const QByteArray out = child.readAllStandardOutput();
        qInfo("child %s: %s", qPrintable(mode), out.simplified().constData());
        return parseReport(out);
    }

private slots:
    void initTestCase()
    {
        m_server = serverAnswers();
        if (!m_server && soundRequired()) QFAIL("TOMBOLA_REQUIRE_SOUND=1 but no sound server is reachable");
    }

    // A bad image and a missing key need no server: the first is quiet, the second throws. Neither
    // is played: no failure is noted, no connection is made, and the bad image returns long before
    // the slack a play may wait.
    void badClipsFailTheirOwnWay()
    {
        PulseSoundPort port;
        QElapsedTimer t;
        t.start();
        port.play(QStringLiteral("guasto"), QStringLiteral("wav"));
        QVERIFY2(t.elapsed() < PulseSoundPort::kSlack.count() / 2, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!port.lastPlayFailed());
        QVERIFY_THROWS_EXCEPTION(ClipMissing, port.play(QStringLiteral("nessuna"), QStringLiteral("wav")));
        QVERIFY(!port.lastPlayFailed());
        if (needServer()) QCOMPARE(clientsOfThisProgram(), 0);
    }

    // Every sample reaches the server, and the play returns only after the last one has, on the
    // server's word: long before its bound would have ended the wait. The recording is dated on the
    // same clock as the play. A server that falls behind cuts gaps into the sound: the clip is heard
    // whole when its pieces add up to it.
    void playsTheWholeClipThenReturns_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("8-bit mono 22050 Hz, 1 s") << QStringLiteral("tono_u8");
        QTest::newRow("16-bit stereo 16000 Hz, 0.6 s") << QStringLiteral("tono_s16");
        QTest::newRow("float mono 11025 Hz, 0.5 s") << QStringLiteral("tono_f32");
        QTest::newRow("shorter than the output buffer, 0.1 s") << QStringLiteral("breve");
        QTest::newRow("upper-case key") << QStringLiteral("TONO_U8");
    }
    void playsTheWholeClipThenReturns()
    {
        QFETCH(QString, key);
        if (!needServer()) QSKIP("no sound server");
        const double length = clipSeconds(key);
        QVERIFY(length > 0);

        QElapsedTimer clock;
        clock.start();
        MonitorRecording rec(clock);
        QString why;
        QVERIFY2(rec.start(&why), qPrintable(why));
        PulseSoundPort port;
        const double startMs = msSince(clock);
        port.play(key, QStringLiteral("wav"));
        const double endMs = msSince(clock);
        QVERIFY(!port.lastPlayFailed());
        QVERIFY(rec.recordUntil(endMs + 300));
        rec.stop();

        const auto heard = rec.sounds(rec.sampleAt(startMs - 100));
        QVERIFY(!heard.empty());
        const double seconds = MonitorRecording::seconds(heard);
        const double playedMs = endMs - startMs;
        // The dates are off by up to one block of the sink's rendering either way; 30 ms covers it.
        const double firstMs = rec.timeOfSampleMs(heard.front().first);
        const double lastMs = rec.timeOfSampleMs(heard.back().last);
        qInfo("heard %.3f s of %.3f s in %d piece(s); play took %.1f ms; sound from %+.1f ms to %+.1f ms of "
              "the return",
              seconds, length, int(heard.size()), playedMs, firstMs - endMs, lastMs - endMs);
        QVERIFY2(seconds >= 0.97 * length - 0.005 && seconds <= 1.03 * length + 0.02,
                 qPrintable(QStringLiteral("heard %1 s of a %2 s clip").arg(seconds).arg(length)));
        QVERIFY2(playedMs >= 1000 * length - 5 &&
                     playedMs < 1000 * length + PulseSoundPort::kSlack.count() / 2,
                 qPrintable(QStringLiteral("play() took %1 ms for a %2 s clip").arg(playedMs).arg(length)));
        QVERIFY2(firstMs >= startMs - 30,
                 qPrintable(QStringLiteral("sound at %1, play at %2").arg(firstMs).arg(startMs)));
        QVERIFY2(lastMs <= endMs + 30,
                 qPrintable(
                     QStringLiteral("last sample at %1 ms, play returned at %2 ms").arg(lastMs).arg(endMs)));
    }

    // Many short clips in a row, each on a stream of its own over one connection kept from clip to
    // clip, with a change of format in between: each is heard whole and apart, and each play lasts
    // its clip and ends on the server's word.
    void clipsInARowAreEachHeardWhole()
    {
        if (!needServer()) QSKIP("no sound server");
        QStringList keys = {QStringLiteral("tono_s16")};
        for (int i = 0; i < 20; ++i)
            keys << QStringLiteral("breve");
        keys << QStringLiteral("tono_s16");
        QElapsedTimer clock;
        clock.start();
        MonitorRecording rec(clock);
        QString why;
        QVERIFY2(rec.start(&why), qPrintable(why));
        PulseSoundPort port;
        QList<double> startMs;
        QList<double> playedMs;
        int failed = 0;
        for (const QString &key : keys) {
            const double before = msSince(clock);
            port.play(key, QStringLiteral("wav"));
            startMs << before;
            playedMs << msSince(clock) - before;
            failed += port.lastPlayFailed() ? 1 : 0;
        }
        QCOMPARE(failed, 0);
        QCOMPARE(clientsOfThisProgram(), 1);
        QVERIFY(rec.recordUntil(msSince(clock) + 300));
        rec.stop();

        for (int i = 0; i < keys.size(); ++i) {
            const double length = 1000 * clipSeconds(keys[i]);
            QVERIFY2(playedMs[i] >= length - 5 && playedMs[i] < length + PulseSoundPort::kSlack.count() / 2,
                     qPrintable(
                         QStringLiteral("play %1 took %2 ms for %3 ms").arg(i).arg(playedMs[i]).arg(length)));
        }
        // Back-to-back plays leave only the output's latency between clips, about 10 ms. A clip's
        // sound is what lies between the start of its play and the start of the next: two clips run
        // together leave one of them unheard, and a gap the server cut into a clip leaves it one clip.
        const auto heard = rec.sounds(rec.sampleAt(startMs[0] - 100), 0.003);
        std::vector<std::vector<MonitorRecording::Sound>> ofClip(size_t(keys.size()));
        for (const auto &sound : heard) {
            const double middle = (rec.timeOfSampleMs(sound.first) + rec.timeOfSampleMs(sound.last)) / 2;
            qsizetype i = 0;
            while (i + 1 < keys.size() && startMs[i + 1] <= middle)
                ++i;
            ofClip[size_t(i)].push_back(sound);
        }
        qInfo("%d sounds for %d clips", int(heard.size()), int(keys.size()));
        for (int i = 0; i < keys.size(); ++i) {
            const double length = clipSeconds(keys[i]);
            const double seconds = MonitorRecording::seconds(ofClip[size_t(i)]);
            QVERIFY2(
                seconds >= 0.97 * length - 0.005 && seconds <= 1.03 * length + 0.02,
                qPrintable(QStringLiteral("clip %1: heard %2 s of %3 s").arg(i).arg(seconds).arg(length)));
        }
    }

    // shutdown() from a timer during a 2 s clip cuts it, and later plays do nothing, not even throw.
    void shutdownCutsTheClipAndSilencesLaterPlays()
    {
        if (!needServer()) QSKIP("no sound server");
        QElapsedTimer clock;
        clock.start();
        MonitorRecording rec(clock);
        QString why;
        QVERIFY2(rec.start(&why), qPrintable(why));
        PulseSoundPort port;
        double shutdownAtMs = -1;
        QTimer::singleShot(300, [&] {
            shutdownAtMs = msSince(clock);
            port.shutdown();
        });
        const double startMs = msSince(clock);
        port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        const double endMs = msSince(clock);
        port.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
        port.play(QStringLiteral("nessuna"), QStringLiteral("wav"));
        // Past the end the clip would have had, uncut.
        QVERIFY(rec.recordUntil(std::max(startMs + 2000, msSince(clock)) + 300));
        rec.stop();
        const auto heard = rec.sounds(rec.sampleAt(startMs - 100));
        const double seconds = MonitorRecording::seconds(heard);
        qInfo("shutdown at %.1f ms, play returned at %.1f ms; heard %.3f s", shutdownAtMs - startMs,
              endMs - startMs, seconds);
        // Ended by the shutdown: not before it, and long before the clip's end.
        QVERIFY2(shutdownAtMs >= 0 && endMs >= shutdownAtMs && endMs - startMs < 2000 / 2,
                 qPrintable(QStringLiteral("shutdown at %1 ms, play returned at %2 ms")
                                .arg(shutdownAtMs - startMs)
                                .arg(endMs - startMs)));
        // Some of the 2 s clip, cut short; nothing of the 1 s clip after it.
        QVERIFY2(seconds > 0 && seconds < 2.0 / 2, qPrintable(QString::number(seconds)));
    }

    // The click arrives from the X server while the clip plays; it is delivered after the play,
    // and the window's update request is not held back.
    void userInputWaitsForTheEndOfTheClip()
    {
        if (!needServer()) QSKIP("no sound server");
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            if (soundRequired()) QFAIL("Xvfb and xdotool are needed for this case");
            QSKIP("Xvfb or xdotool is not installed");
        }
        QProcess server;
        server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp")});
        QVERIFY(server.waitForStarted(5000));
        QByteArray display;
        while (!display.contains('\n') && server.waitForReadyRead(10000))
            display += server.readAllStandardOutput();
        QVERIFY2(display.trimmed().toInt() >= 0 && display.contains('\n'), "Xvfb gave no display");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display.trimmed()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Only read by sanitizer builds.
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" TOMBOLA_LSAN_SUPP));
        const auto report = runChildProcess(QStringLiteral("input"), env);
        server.terminate();
        server.waitForFinished(5000);
        QVERIFY(!report.isEmpty());

        const double end = report[QStringLiteral("play_end_ms")].toDouble();
        const double done = report[QStringLiteral("xdotool_done_ms")].toDouble();
        const double press = report[QStringLiteral("press_ms")].toDouble();
        const double update = report[QStringLiteral("update_ms")].toDouble();
        QCOMPARE(report[QStringLiteral("xdotool_exit")].toDouble(), 0.0);
        // Without these the case proves nothing: the click was sent well inside the play.
        QVERIFY2(done > 0 && done < end - 100,
                 qPrintable(QStringLiteral("click sent at %1, play ended at %2").arg(done).arg(end)));
        QVERIFY2(
            press >= end,
            qPrintable(QStringLiteral("click delivered at %1 ms, play ended at %2 ms").arg(press).arg(end)));
        QVERIFY2(update > 0 && update < end,
                 qPrintable(QStringLiteral("update at %1, play ended at %2").arg(update).arg(end)));
    }

    // PULSE_SERVER pointing nowhere: no output device, so a play of a 2 s clip fails at once, long
    // before the clip would have ended, and quietly.
    void withoutAServerAPlayReturnsAtOnce()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/tombola/native"));
        const auto report = runChildProcess(QStringLiteral("no-server"), env);
        QVERIFY(!report.isEmpty());
        QVERIFY2(report[QStringLiteral("play_ms")].toDouble() < 2000 / 2,
                 qPrintable(report[QStringLiteral("play_ms")]));
        QCOMPARE(report[QStringLiteral("failed")].toDouble(), 1.0);
        QCOMPARE(report[QStringLiteral("missing_thrown")].toDouble(), 1.0);
    }

    // The output goes half a second into a 2 s clip, on a private server: the play ends then, before
    // the clip would have, and the next one fails before its clip would have ended.
    void losingTheOutputMidClipEndsThePlay_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("server killed") << QStringLiteral("kill-server");
        QTest::newRow("sink removed") << QStringLiteral("unload-sink");
    }
    void losingTheOutputMidClipEndsThePlay()
    {
        QFETCH(QString, mode);
        if (!privateServerPossible()) return;
        const auto report = runUnderPrivateServer(mode);
        QVERIFY(!report.isEmpty());
        const double played = report[QStringLiteral("play_ms")].toDouble();
        QVERIFY2(played >= 450 && played < 2000, qPrintable(QStringLiteral("play took %1 ms").arg(played)));
        QVERIFY2(report[QStringLiteral("replay_ms")].toDouble() < 2000,
                 qPrintable(report[QStringLiteral("replay_ms")]));
        QCOMPARE(report[QStringLiteral("failed")].toDouble(), 1.0);
        QCOMPARE(report[QStringLiteral("replay_failed")].toDouble(), 1.0);
    }

    // A server stalled mid-clip holds the play to its bound (2 s clip + 2 s), not less, and the port
    // gives up on it then (within twice the bound, however busy the machine); a shutdown() during a
    // play on the stalled server ends that play right after it, long before its bound; the server
    // killed while a play waits on it ends that play, and the next one fails before its clip would
    // have ended. (That no port waits for its stuck workers when it goes is for the fake server to
    // show: here the kill has freed them all by then.)
    void aStalledServerHoldsAPlayOnlyToItsBound()
    {
        if (!privateServerPossible()) return;
        const auto report = runUnderPrivateServer(QStringLiteral("stall"));
        QVERIFY(!report.isEmpty());
        const auto at = [&](const char *key) { return report[QString::fromLatin1(key)].toDouble(); };
        const double bound = 2000 + double(PulseSoundPort::kSlack.count());
        QVERIFY2(at("stalled_play_ms") >= bound - 100 && at("stalled_play_ms") < 2 * bound,
                 qPrintable(QStringLiteral("stalled play took %1 ms").arg(at("stalled_play_ms"))));
        QCOMPARE(at("stalled_failed"), 1.0);
        QVERIFY2(at("shutdown_at_ms") >= 0 && at("closed_play_ms") >= at("shutdown_at_ms") &&
                     at("closed_play_ms") < bound / 2,
                 qPrintable(QStringLiteral("shutdown at %1 ms, play returned at %2 ms")
                                .arg(at("shutdown_at_ms"))
                                .arg(at("closed_play_ms"))));
        QVERIFY2(at("killed_play_ms") >= 250 && at("killed_play_ms") < bound / 2,
                 qPrintable(QString::number(at("killed_play_ms"))));
        QCOMPARE(at("killed_failed"), 1.0);
        QVERIFY2(at("after_play_ms") < 1000, qPrintable(QString::number(at("after_play_ms"))));
        QCOMPARE(at("after_failed"), 1.0);
    }

    // A server killed, gone for 5.5 s and started again on the same socket: plays fail during the
    // outage, before their clip would have ended, and the first clip after it is heard whole on the
    // new server.
    void aRestartedServerIsUsedFromTheNextClipOn()
    {
        if (!privateServerPossible()) return;
        const auto report = runUnderPrivateServer(QStringLiteral("restart"));
        QVERIFY(!report.isEmpty());
        const double length = clipSeconds(QStringLiteral("tono_s16"));
        QVERIFY2(qAbs(report[QStringLiteral("heard_before")].toDouble() - length) < 0.03 * length + 0.02,
                 qPrintable(report[QStringLiteral("heard_before")]));
        QVERIFY2(report[QStringLiteral("outage_play_ms")].toDouble() < 1000,
                 qPrintable(report[QStringLiteral("outage_play_ms")]));
        QCOMPARE(report[QStringLiteral("outage_failed")].toDouble(), 1.0);
        QVERIFY2(qAbs(report[QStringLiteral("heard_after")].toDouble() - length) < 0.03 * length + 0.02,
                 qPrintable(report[QStringLiteral("heard_after")]));
        QCOMPARE(report[QStringLiteral("after_failed")].toDouble(), 0.0);
    }

    // No server when the program starts: a play fails before its clip would have ended. One appears
    // later and the next clip is heard on it.
    void aServerThatAppearsLaterIsUsed()
    {
        if (!privateServerPossible()) return;
        const auto report = runUnderPrivateServer(QStringLiteral("late-server"), false);
        QVERIFY(!report.isEmpty());
        QVERIFY2(report[QStringLiteral("early_play_ms")].toDouble() < 1000,
                 qPrintable(report[QStringLiteral("early_play_ms")]));
        QCOMPARE(report[QStringLiteral("early_failed")].toDouble(), 1.0);
        const double length = clipSeconds(QStringLiteral("tono_s16"));
        QVERIFY2(qAbs(report[QStringLiteral("heard")].toDouble() - length) < 0.03 * length + 0.02,
                 qPrintable(report[QStringLiteral("heard")]));
        QCOMPARE(report[QStringLiteral("failed")].toDouble(), 0.0);
    }

    // The default sink switched to a busy one: the next clip goes there, none of it to the old one.
    void aClipGoesToTheSinkThatIsDefaultWhenItStarts()
    {
        if (!privateServerPossible()) return;
        const auto report = runUnderPrivateServer(QStringLiteral("switch-sink"));
        QVERIFY(!report.isEmpty());
        const double length = clipSeconds(QStringLiteral("tono_s16"));
        QVERIFY2(qAbs(report[QStringLiteral("heard_first")].toDouble() - length) < 0.03 * length + 0.02,
                 qPrintable(report[QStringLiteral("heard_first")]));
        QVERIFY2(qAbs(report[QStringLiteral("heard_new")].toDouble() - length) < 0.03 * length + 0.02,
                 qPrintable(report[QStringLiteral("heard_new")]));
        QCOMPARE(report[QStringLiteral("heard_old")].toDouble(), 0.0);
        QCOMPARE(report[QStringLiteral("failed")].toDouble(), 0.0);
    }

    // QCoreApplication::quit() during a 2 s clip ends the play, then the application's loop, long
    // before the clip would have ended.
    void applicationQuitEndsThePlay()
    {
        if (!needServer()) QSKIP("no sound server");
        const auto report = runChildProcess(QStringLiteral("quit"), QProcessEnvironment::systemEnvironment());
        QVERIFY(!report.isEmpty() && report.contains(QStringLiteral("quit_ms")));
        const double quit = report[QStringLiteral("quit_ms")].toDouble();
        const double played = report[QStringLiteral("play_ms")].toDouble();
        const double returned = report[QStringLiteral("exec_returned_ms")].toDouble();
        QVERIFY2(played >= quit && returned >= played && returned < 2000 / 2,
                 qPrintable(QStringLiteral("quit at %1 ms, play returned at %2 ms, the loop at %3 ms")
                                .arg(quit)
                                .arg(played)
                                .arg(returned)));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0) return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestRealSound test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_real_sound.moc"
