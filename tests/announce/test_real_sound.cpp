// QtSoundPort against a real PulseAudio server: what reaches the server's monitor, how long a play
// blocks, and the ways a play must end early. Needs a server (scripts/with-pulse.sh); skips without
// one unless TOMBOLA_REQUIRE_SOUND=1. Some cases run this program again as a child (--child MODE),
// because they need a fresh process: no server, a server to kill, an X display, an application exit.

#include "announce/clip_store.h"
#include "announce/qt_sound.h"
#include "announce/wave.h"
#include "monitor_recording.h"

#include <QAudioDevice>
#include <QGuiApplication>
#include <QMediaDevices>
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
    const QByteArray clip = caricaClip(key, QStringLiteral("wav"));
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
    std::printf("%s=%.1f\n", key, value);
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// ---- children -------------------------------------------------------------------------------

// No server: plays return at once, quietly; a missing key still throws.
int childNoServer()
{
    QtSoundPort port;
    QElapsedTimer t;
    t.start();
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    say("play_ms", msSince(t));
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
    if (pid <= 0 || QMediaDevices::defaultAudioOutput().isNull()) return 3;
    QtSoundPort port;
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
    t.restart();
    port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
    say("replay_ms", msSince(t));
    return 0;
}

// QCoreApplication::quit() while a 2 s clip plays inside the application's own event loop.
int childQuit()
{
    if (QMediaDevices::defaultAudioOutput().isNull()) return 3;
    QtSoundPort port;
    QElapsedTimer t;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(300, [] { QCoreApplication::quit(); });
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

// On an X display: a real click arrives during a 1 s clip; it must wait for the play's end, while
// window updates go on.
int childInput()
{
    if (QMediaDevices::defaultAudioOutput().isNull()) return 3;
    QElapsedTimer t;
    t.start();
    ClickWindow window;
    window.clock = &t;
    window.setGeometry(0, 0, 200, 200);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 4;
    QTest::qWait(200);
    QtSoundPort port;
    QProcess xdotool;
    double xdotoolDoneMs = -1;
    QObject::connect(&xdotool, &QProcess::finished, [&] { xdotoolDoneMs = msSince(t); });
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("mousemove"),
                   QStringLiteral("50"), QStringLiteral("50"), QStringLiteral("click"), QStringLiteral("1")});
    if (!xdotool.waitForStarted(3000)) return 5;
    QTimer::singleShot(400, &window, [&] { window.requestUpdate(); });
    const double startMs = msSince(t);
    port.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
    const double endMs = msSince(t);
    QTest::qWait(500);
    xdotool.waitForFinished(3000);
    say("play_start_ms", startMs);
    say("play_end_ms", endMs);
    say("xdotool_done_ms", xdotoolDoneMs);
    say("xdotool_exit", xdotool.exitCode());
    say("press_ms", window.firstPressMs);
    say("update_ms", window.firstUpdateMs);
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
        m_server = !QMediaDevices::defaultAudioOutput().isNull();
        if (!m_server && soundRequired()) QFAIL("TOMBOLA_REQUIRE_SOUND=1 but no sound server is reachable");
    }

    // A bad image and a missing key need no server: the first is quiet, the second throws.
    void badClipsFailTheirOwnWay()
    {
        QtSoundPort port;
        QElapsedTimer t;
        t.start();
        port.play(QStringLiteral("guasto"), QStringLiteral("wav"));
        QVERIFY2(t.elapsed() < 100, "a clip that is not a playable WAVE must return at once");
        QVERIFY_THROWS_EXCEPTION(ClipMissing, port.play(QStringLiteral("nessuna"), QStringLiteral("wav")));
    }

    // Every sample reaches the server, and the play returns only after the last one has, but not
    // much later. The recording is dated on the same clock as the play.
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
        QtSoundPort port;
        const double startMs = msSince(clock);
        port.play(key, QStringLiteral("wav"));
        const double endMs = msSince(clock);
        QTest::qWait(400);
        rec.stop();

        const auto heard = rec.sounds(rec.sampleAt(startMs - 100));
        QCOMPARE(int(heard.size()), 1);
        const double seconds = heard[0].seconds();
        QVERIFY2(seconds >= 0.97 * length - 0.005 && seconds <= 1.03 * length + 0.02,
                 qPrintable(QStringLiteral("heard %1 s of a %2 s clip").arg(seconds).arg(length)));
        const double playedMs = endMs - startMs;
        QVERIFY2(playedMs >= 1000 * length - 5 && playedMs <= 1000 * length + 400,
                 qPrintable(QStringLiteral("play() took %1 ms for a %2 s clip").arg(playedMs).arg(length)));
        // The dates are off by up to one block of the sink's rendering either way; 30 ms covers it.
        const double firstMs = rec.timeOfSampleMs(heard[0].first);
        const double lastMs = rec.timeOfSampleMs(heard[0].last);
        qInfo("heard %.3f s of %.3f s; play took %.1f ms; sound from %+.1f ms to %+.1f ms of the return",
              seconds, length, playedMs, firstMs - endMs, lastMs - endMs);
        QVERIFY2(firstMs >= startMs - 30,
                 qPrintable(QStringLiteral("sound at %1, play at %2").arg(firstMs).arg(startMs)));
        QVERIFY2(lastMs <= endMs + 30,
                 qPrintable(
                     QStringLiteral("last sample at %1 ms, play returned at %2 ms").arg(lastMs).arg(endMs)));
    }

    // One sink serves every play of a format, restarted each time, with a change of format in between.
    // Each clip is heard whole and apart, and each play lasts its clip: Qt 6.4's PulseAudio sink
    // shrinks its buffer on every restart unless told its size, and breaks up after about 15.
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
        QtSoundPort port;
        const double startMs = msSince(clock);
        QList<double> playedMs;
        for (const QString &key : keys) {
            const double before = msSince(clock);
            port.play(key, QStringLiteral("wav"));
            playedMs << msSince(clock) - before;
        }
        QTest::qWait(400);
        rec.stop();

        for (int i = 0; i < keys.size(); ++i) {
            const double length = 1000 * clipSeconds(keys[i]);
            QVERIFY2(playedMs[i] >= length - 5 && playedMs[i] <= length + 150,
                     qPrintable(
                         QStringLiteral("play %1 took %2 ms for %3 ms").arg(i).arg(playedMs[i]).arg(length)));
        }
        // Back-to-back plays leave only the output's latency between clips, about 10 ms.
        const auto heard = rec.sounds(rec.sampleAt(startMs - 100), 0.003);
        QCOMPARE(int(heard.size()), int(keys.size()));
        for (int i = 0; i < keys.size(); ++i) {
            const double length = clipSeconds(keys[i]);
            const double seconds = heard[size_t(i)].seconds();
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
        QtSoundPort port;
        QTimer::singleShot(300, [&] { port.shutdown(); });
        const double startMs = msSince(clock);
        port.play(QStringLiteral("tono_lungo"), QStringLiteral("wav"));
        const double playedMs = msSince(clock) - startMs;
        QVERIFY2(playedMs >= 250 && playedMs <= 800, qPrintable(QString::number(playedMs)));
        QElapsedTimer later;
        later.start();
        port.play(QStringLiteral("tono_u8"), QStringLiteral("wav"));
        port.play(QStringLiteral("nessuna"), QStringLiteral("wav"));
        QVERIFY(later.elapsed() < 50);
        QTest::qWait(300);
        rec.stop();
        const auto heard = rec.sounds(rec.sampleAt(startMs - 100));
        QCOMPARE(int(heard.size()), 1);
        QVERIFY2(heard[0].seconds() < 0.7, qPrintable(QString::number(heard[0].seconds())));
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

    // PULSE_SERVER pointing nowhere: no output device, so a play returns at once and quietly.
    void withoutAServerAPlayReturnsAtOnce()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/tombola/native"));
        const auto report = runChildProcess(QStringLiteral("no-server"), env);
        QVERIFY(!report.isEmpty());
        QVERIFY2(report[QStringLiteral("play_ms")].toDouble() < 300,
                 qPrintable(report[QStringLiteral("play_ms")]));
        QCOMPARE(report[QStringLiteral("missing_thrown")].toDouble(), 1.0);
    }

    // The output goes half a second into a 2 s clip, on a private server: the play ends soon after,
    // and the next one returns at once or soon.
    void losingTheOutputMidClipEndsThePlay_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("server killed") << QStringLiteral("kill-server");
        QTest::newRow("sink removed") << QStringLiteral("unload-sink");
    }
    void losingTheOutputMidClipEndsThePlay()
    {
        QFETCH(QString, mode);
        const QString withPulse = QStringLiteral(TOMBOLA_WITH_PULSE);
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
            if (soundRequired()) QFAIL("pulseaudio is needed for this case");
            QSKIP("pulseaudio is not installed");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WITH_PULSE_SETTLE"), QStringLiteral("0.5"));
        const auto report = runChildProcess(mode, env, {withPulse});
        QVERIFY(!report.isEmpty());
        const double played = report[QStringLiteral("play_ms")].toDouble();
        QVERIFY2(played >= 450 && played <= 1500, qPrintable(QStringLiteral("play took %1 ms").arg(played)));
        QVERIFY2(report[QStringLiteral("replay_ms")].toDouble() <= 1000,
                 qPrintable(report[QStringLiteral("replay_ms")]));
    }

    // QCoreApplication::quit() during a clip ends the play and the application's loop promptly.
    void applicationQuitEndsThePlay()
    {
        if (!needServer()) QSKIP("no sound server");
        const auto report = runChildProcess(QStringLiteral("quit"), QProcessEnvironment::systemEnvironment());
        QVERIFY(!report.isEmpty());
        const double played = report[QStringLiteral("play_ms")].toDouble();
        QVERIFY2(played >= 250 && played <= 800, qPrintable(QStringLiteral("play took %1 ms").arg(played)));
        QVERIFY(report[QStringLiteral("exec_returned_ms")].toDouble() <= 1000);
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
