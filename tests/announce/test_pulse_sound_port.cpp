// PulseSoundPort with fake connections in place of the server: how long a play may hold its caller
// when the server never answers, how shutdown and an application exit cut such a play, and what
// the port reports; and how often the real connection knocks while nothing answers. Needs no sound
// server.

#include "announce/pulse_connection.h"
#include "announce/pulse_sound.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{

// Shut until the test ends: a connection stuck behind it never answers, whatever the deadline or
// the cancel flag say, like a call into a stalled server.
class Gate
{
public:
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [&] { return m_open; });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_opened.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

// What the connections of one test saw, written from the worker threads.
struct Log {
    std::mutex mutex;
    int stuckCalls = 0;
    std::vector<PcmClip> clips;
    std::vector<Clock::time_point> deadlines;
    // When each clip reached its connection, and when the connection answered it.
    std::vector<Clock::time_point> called;
    std::vector<Clock::time_point> answered;
    // Until when a resting connection said it rests.
    Clock::time_point restsUntil{};
};

// Opens `gate` if the case has not disarmed it within `deadline`, and says so: a call that waits for
// a stuck connection then returns late instead of never, and the case fails instead of hanging.
class Watchdog
{
public:
    Watchdog(std::shared_ptr<Gate> gate, std::chrono::milliseconds deadline)
        : m_thread([this, gate, deadline] {
              std::unique_lock lock(m_mutex);
              if (!m_disarmedCv.wait_for(lock, deadline, [&] { return m_disarmed; })) {
                  m_fired = true;
                  gate->open();
              }
          })
    {
    }
    ~Watchdog()
    {
        disarm();
        m_thread.join();
    }
    void disarm()
    {
        std::lock_guard lock(m_mutex);
        m_disarmed = true;
        m_disarmedCv.notify_all();
    }
    bool fired() const { return m_fired; }

private:
    std::mutex m_mutex;
    std::condition_variable m_disarmedCv;
    bool m_disarmed = false;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

class StuckConnection : public SoundConnection
{
public:
    StuckConnection(std::shared_ptr<Gate> gate, std::shared_ptr<Log> log) : m_gate(gate), m_log(log) {}
    bool play(const PcmClip &, Clock::time_point, const std::atomic<bool> &) override
    {
        {
            std::lock_guard lock(m_log->mutex);
            ++m_log->stuckCalls;
        }
        m_gate->wait();
        return false;
    }

private:
    std::shared_ptr<Gate> m_gate;
    std::shared_ptr<Log> m_log;
};

// Answers `result` after the clip's length, or earlier when cancelled, as a live server would.
class AnsweringConnection : public SoundConnection
{
public:
    AnsweringConnection(std::shared_ptr<Log> log, bool result) : m_log(log), m_result(result) {}
    bool play(const PcmClip &clip, Clock::time_point deadline, const std::atomic<bool> &cancel) override
    {
        {
            std::lock_guard lock(m_log->mutex);
            m_log->clips.push_back(clip);
            m_log->deadlines.push_back(deadline);
            m_log->called.push_back(Clock::now());
        }
        const bool played = m_result && playFor(clip.length(), cancel);
        std::lock_guard lock(m_log->mutex);
        m_log->answered.push_back(Clock::now());
        return played;
    }

private:
    static bool playFor(std::chrono::microseconds length, const std::atomic<bool> &cancel)
    {
        const auto end = Clock::now() + length;
        while (Clock::now() < end) {
            if (cancel.load()) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

protected:
    std::shared_ptr<Log> m_log;

private:
    bool m_result;
};

// A socket where a sound server would be that hangs up on every client at once, and counts them.
class RefusingServer
{
public:
    explicit RefusingServer(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof(address.sun_path)) return;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) < 0 ||
            ::listen(m_fd, 16) < 0)
            return;
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const int client = ::accept(m_fd, nullptr, nullptr);
                if (client < 0) continue;
                ++m_clients;
                ::close(client);
            }
        });
    }
    ~RefusingServer()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_fd >= 0) ::close(m_fd);
    }
    bool listening() const { return m_thread.joinable(); }
    // The clients that knocked so far; each is counted before it is hung up on.
    int clients() const { return m_clients; }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_clients{0};
    std::thread m_thread;
};

// Fails every clip, and says it rests for `rest` after each.
class RestingConnection : public AnsweringConnection
{
public:
    RestingConnection(std::shared_ptr<Log> log, std::chrono::milliseconds rest)
        : AnsweringConnection(log, false), m_rest(rest)
    {
    }
    bool play(const PcmClip &clip, Clock::time_point deadline, const std::atomic<bool> &cancel) override
    {
        const bool played = AnsweringConnection::play(clip, deadline, cancel);
        m_until = Clock::now() + m_rest;
        std::lock_guard lock(m_log->mutex);
        m_log->restsUntil = m_until;
        return played;
    }
    Clock::time_point restsUntil() const override { return m_until; }

private:
    std::chrono::milliseconds m_rest;
    Clock::time_point m_until{};
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

const QString wav = QStringLiteral("wav");

// Milliseconds from `t0` to `t`.
double msBetween(Clock::time_point t0, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - t0).count();
}

// The bound of a play of `key`: the clip's length plus the slack.
double boundMs(double lengthMs)
{
    return lengthMs + double(PulseSoundPort::kSlack.count());
}

// Run as `--child quit`: QCoreApplication::quit() while a play of a 2 s clip waits on a stuck
// connection, inside the application's own loop; then the process ends with that worker still stuck.
int childQuit(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    auto gate = std::make_shared<Gate>();
    auto log = std::make_shared<Log>();
    PulseSoundPort port([=] { return std::make_unique<StuckConnection>(gate, log); });
    QElapsedTimer t;
    double quitMs = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(300, [&] {
            quitMs = msSince(t);
            QCoreApplication::quit();
        });
        t.start();
        port.play(QStringLiteral("tono_lungo"), wav);
        std::printf("play_ms=%.1f\n", msSince(t));
    });
    const int rc = QCoreApplication::exec();
    std::printf("quit_ms=%.1f\n", quitMs);
    std::printf("exec_returned_ms=%.1f\n", msSince(t));
    std::fflush(stdout);
    return rc;
}

} // namespace

class TestPulseSoundPort : public QObject
{
    Q_OBJECT

    std::shared_ptr<Gate> m_gate;
    std::shared_ptr<Log> m_log;

    // The first worker's connection is stuck, every later one answers `later`.
    PulseSoundPort::ConnectionFactory stuckThen(bool later)
    {
        auto made = std::make_shared<int>(0);
        return [gate = m_gate, log = m_log, made, later]() -> std::unique_ptr<SoundConnection> {
            if ((*made)++ == 0) return std::make_unique<StuckConnection>(gate, log);
            return std::make_unique<AnsweringConnection>(log, later);
        };
    }
    PulseSoundPort::ConnectionFactory answering(bool result)
    {
        return [log = m_log, result] { return std::make_unique<AnsweringConnection>(log, result); };
    }

private slots:
    void init()
    {
        m_gate = std::make_shared<Gate>();
        m_log = std::make_shared<Log>();
    }
    // Lets the threads left behind by a case end.
    void cleanup() { m_gate->open(); }

    // A server that never answers holds the play to the clip's length plus the slack, not less: a
    // slow server gets the whole of it. Then the port gives up on it by itself and says the clip
    // failed; the stuck connection is released only by the watchdog, at three times the bound, so a
    // play that waited for it shows as the watchdog's doing. Timers keep running meanwhile. The next
    // clip gets a fresh worker whose connection answers, and the failure is cleared.
    void aStuckServerHoldsAPlayOnlyToItsBound_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("lengthMs");
        QTest::newRow("1 s clip") << QStringLiteral("tono_u8") << 1000.0;
        QTest::newRow("0.1 s clip") << QStringLiteral("breve") << 100.0;
    }
    void aStuckServerHoldsAPlayOnlyToItsBound()
    {
        QFETCH(QString, key);
        QFETCH(double, lengthMs);
        const double bound = boundMs(lengthMs);
        PulseSoundPort port(stuckThen(true));
        Watchdog watchdog(m_gate, std::chrono::milliseconds(qint64(3 * bound)));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(100);
        QElapsedTimer t;
        t.start();
        port.play(key, wav);
        const double playedMs = msSince(t);
        ticker.stop();
        watchdog.disarm();
        qInfo("play on a stuck server: %.1f ms, bound %.0f ms, %d timer ticks", playedMs, bound, ticks);
        QVERIFY2(!watchdog.fired(), "the play waited for the stuck connection");
        QVERIFY2(playedMs >= bound - 50,
                 qPrintable(QStringLiteral("play took %1 ms, bound %2 ms").arg(playedMs).arg(bound)));
        QVERIFY(port.lastPlayFailed());
        // Half the ticks of the bound: a wait outside the event loop would let none through.
        QVERIFY2(ticks >= int(bound / 100) / 2, qPrintable(QStringLiteral("%1 timer ticks").arg(ticks)));

        // Not queued behind the stuck worker: that would fail it at its bound.
        port.play(QStringLiteral("breve"), wav);
        QVERIFY(!port.lastPlayFailed());
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(m_log->stuckCalls, 1);
        QCOMPARE(int(m_log->clips.size()), 1);
    }

    // Called off the application's thread there is no event loop to wait in; the wait is bounded
    // all the same.
    void offTheApplicationThreadTheWaitIsBoundedToo()
    {
        const double bound = boundMs(100);
        PulseSoundPort port(stuckThen(true));
        Watchdog watchdog(m_gate, std::chrono::milliseconds(qint64(3 * bound)));
        double playedMs = -1;
        bool failed = false;
        std::thread caller([&] {
            QElapsedTimer t;
            t.start();
            port.play(QStringLiteral("breve"), wav);
            playedMs = msSince(t);
            failed = port.lastPlayFailed();
            port.play(QStringLiteral("breve"), wav);
        });
        caller.join();
        watchdog.disarm();
        qInfo("play on a stuck server off the application's thread: %.1f ms", playedMs);
        QVERIFY2(!watchdog.fired(), "the play waited for the stuck connection");
        QVERIFY2(playedMs >= bound - 50, qPrintable(QString::number(playedMs)));
        QVERIFY(failed);
        QVERIFY(!port.lastPlayFailed());
    }

    // shutdown() from a timer during a stuck play: it returns without waiting for the stuck worker,
    // the play right after it, long before the play's bound; later plays do nothing (not even throw
    // for a missing clip) and the port goes without waiting for the stuck worker. Only the watchdog
    // would release that worker, late: whatever waited for it shows.
    void shutdownEndsAStuckPlayAtOnce()
    {
        Watchdog watchdog(m_gate, 10s);
        QElapsedTimer t;
        double shutdownAtMs = -1;
        double shutdownMs = -1;
        double playedMs = -1;
        {
            PulseSoundPort port(stuckThen(true));
            QTimer::singleShot(300, [&] {
                shutdownAtMs = msSince(t);
                QElapsedTimer s;
                s.start();
                port.shutdown();
                shutdownMs = msSince(s);
            });
            t.start();
            port.play(QStringLiteral("tono_lungo"), wav);
            playedMs = msSince(t);
            port.play(QStringLiteral("breve"), wav);
            port.play(QStringLiteral("nessuna"), wav);
        }
        const double goneMs = msSince(t);
        watchdog.disarm();
        qInfo("shutdown at %.1f ms took %.2f ms; the play returned at %.1f ms, the port was gone at %.1f ms",
              shutdownAtMs, shutdownMs, playedMs, goneMs);
        QVERIFY2(!watchdog.fired(), "shutdown, a later play or the port's end waited for the stuck worker");
        QVERIFY2(shutdownAtMs >= 0 && shutdownMs >= 0, "shutdown() was not called during the play");
        // Ended by the shutdown: not before it, and long before the bound of the 2 s clip.
        QVERIFY2(
            playedMs >= shutdownAtMs + shutdownMs && playedMs < boundMs(2000) / 2,
            qPrintable(
                QStringLiteral("play returned at %1 ms, shutdown at %2 ms").arg(playedMs).arg(shutdownAtMs)));
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(m_log->stuckCalls, 1);
        QVERIFY(m_log->clips.empty());
    }

    // QCoreApplication::quit() during a stuck play ends the play and the application's loop, in that
    // order and long before the play's bound, and the process exits although the stuck worker never
    // returns.
    void applicationQuitEndsAStuckPlay()
    {
        QProcess child;
        QElapsedTimer t;
        t.start();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QStringLiteral("quit")});
        QVERIFY(child.waitForFinished(20000));
        const double childMs = msSince(t);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QByteArray out = child.readAllStandardOutput();
        qInfo("child: %s (whole run %.0f ms)", out.simplified().constData(), childMs);
        QMap<QByteArray, double> report;
        for (const QByteArray &line : out.split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) report.insert(line.left(eq), line.mid(eq + 1).toDouble());
        }
        QVERIFY(report.contains("play_ms") && report.contains("quit_ms") &&
                report.contains("exec_returned_ms"));
        const double quit = report["quit_ms"], played = report["play_ms"],
                     returned = report["exec_returned_ms"];
        QVERIFY2(quit >= 0 && played >= quit && returned >= played && returned < boundMs(2000) / 2,
                 qPrintable(QStringLiteral("quit at %1 ms, play returned at %2 ms, the loop at %3 ms")
                                .arg(quit)
                                .arg(played)
                                .arg(returned)));
    }

    // A failed play sets the flag and a played one clears it; a missing clip or one that is not a
    // playable WAVE changes nothing and reaches no server.
    void lastPlayFailedFollowsTheOutputOnly()
    {
        PulseSoundPort port(answering(false));
        QElapsedTimer t;
        t.start();
        port.play(QStringLiteral("tono_lungo"), wav);
        const double playedMs = msSince(t);
        QVERIFY(port.lastPlayFailed());
        // A fault ends the play as soon as it shows: not at the end of the 2 s clip, nor at its bound.
        QVERIFY2(playedMs < 2000 / 2, qPrintable(QString::number(playedMs)));
        QVERIFY_THROWS_EXCEPTION(ClipMissing, port.play(QStringLiteral("nessuna"), wav));
        port.play(QStringLiteral("guasto"), wav);
        QVERIFY(port.lastPlayFailed());

        PulseSoundPort good(answering(true));
        good.play(QStringLiteral("breve"), wav);
        QVERIFY(!good.lastPlayFailed());
        QVERIFY_THROWS_EXCEPTION(ClipMissing, good.play(QStringLiteral("nessuna"), wav));
        good.play(QStringLiteral("guasto"), wav);
        QVERIFY(!good.lastPlayFailed());
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(int(m_log->clips.size()), 2);
    }

    // The worker gets the samples exactly as the file holds them, their layout, and a deadline of
    // the clip's length plus the slack.
    void theWorkerGetsTheClipAsItsFileHoldsIt_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("lengthMs");
        QTest::newRow("8-bit mono") << "TONO_U8" << 1 << 22050 << int(SampleFormat::UInt8) << 22050 << 1000;
        QTest::newRow("16-bit stereo")
            << "TONO_S16" << 2 << 16000 << int(SampleFormat::Int16) << 38400 << 600;
        QTest::newRow("float mono, fact chunk")
            << "TONO_F32" << 1 << 11025 << int(SampleFormat::Float32) << 5512 * 4 << 499;
    }
    void theWorkerGetsTheClipAsItsFileHoldsIt()
    {
        QFETCH(QString, key);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(int, format);
        QFETCH(int, bytes);
        QFETCH(int, lengthMs);
        QFile file(QStringLiteral(TOMBOLA_TEST_DATA "/") + key + QStringLiteral(".wav"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // These files end with their data chunk.
        const QByteArray expected = file.readAll().right(bytes);

        PulseSoundPort port(answering(true));
        const auto before = Clock::now();
        port.play(key.toLower(), wav);
        QVERIFY(!port.lastPlayFailed());
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(int(m_log->clips.size()), 1);
        const PcmClip &clip = m_log->clips[0];
        QCOMPARE(clip.channels, channels);
        QCOMPARE(int(clip.sampleRate), rate);
        QCOMPARE(int(clip.format), format);
        QVERIFY(clip.samples == expected);
        QCOMPARE(int(std::chrono::duration_cast<std::chrono::milliseconds>(clip.length()).count()), lengthMs);
        // Set when the play began: after `before`, and before the clip reached the connection.
        const auto limit = std::chrono::milliseconds(lengthMs) + PulseSoundPort::kSlack;
        QVERIFY2(m_log->deadlines[0] - before >= limit,
                 qPrintable(QString::number(msBetween(before, m_log->deadlines[0]))));
        QVERIFY2(m_log->deadlines[0] - m_log->called[0] <= limit,
                 qPrintable(QString::number(msBetween(m_log->called[0], m_log->deadlines[0]))));
    }

    // While the connection rests the clips fail at once without reaching it, as they would there; a
    // missing clip still throws. After the rest the next clip goes to it again.
    void aRestingConnectionGetsNoClipsUntilItsRestEnds()
    {
        PulseSoundPort port([log = m_log] { return std::make_unique<RestingConnection>(log, 1000ms); });
        port.play(QStringLiteral("breve"), wav);
        QVERIFY(port.lastPlayFailed());
        Clock::time_point restsUntil;
        {
            std::lock_guard lock(m_log->mutex);
            restsUntil = m_log->restsUntil;
        }
        for (int i = 0; i < 5; ++i)
            port.play(QStringLiteral("tono_u8"), wav);
        QVERIFY(port.lastPlayFailed());
        QVERIFY_THROWS_EXCEPTION(ClipMissing, port.play(QStringLiteral("nessuna"), wav));
        // Five 1 s clips inside a rest of 1 s: none waited for its clip.
        QVERIFY2(Clock::now() < restsUntil,
                 qPrintable(QStringLiteral("%1 ms past the rest").arg(msBetween(restsUntil, Clock::now()))));
        {
            std::lock_guard lock(m_log->mutex);
            QCOMPARE(int(m_log->clips.size()), 1);
        }
        // The rest the connection asked for has to pass.
        QVERIFY(QTest::qWaitFor([&] { return Clock::now() >= restsUntil; }, 5000));
        port.play(QStringLiteral("breve"), wav);
        QVERIFY(port.lastPlayFailed());
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(int(m_log->clips.size()), 2);
    }

    // While nothing answers where the server should be, the real connection knocks once for a burst
    // of clips, not once a clip; a clip after its first pause knocks again, so that a server that
    // appears is heard soon.
    void withNoServerTheConnectionRestsBetweenTries()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        RefusingServer server(dir.filePath(QStringLiteral("native")));
        QVERIFY(server.listening());
        const QByteArray before = qgetenv("PULSE_SERVER");
        const bool wasSet = qEnvironmentVariableIsSet("PULSE_SERVER");
        const auto restore = qScopeGuard([&] {
            if (wasSet)
                qputenv("PULSE_SERVER", before);
            else
                qunsetenv("PULSE_SERVER");
        });
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir.filePath(QStringLiteral("native"))));

        PulseSoundPort port;
        port.play(QStringLiteral("breve"), wav);
        QVERIFY(port.lastPlayFailed());
        QCOMPARE(server.clients(), 1);
        // Right after, inside the first pause: each fails at once on this thread, knocking nowhere.
        for (int i = 0; i < 3; ++i) {
            port.play(QStringLiteral("breve"), wav);
            QVERIFY(port.lastPlayFailed());
        }
        QCOMPARE(server.clients(), 1);
        // The connection's own first pause, which has to pass before it knocks again.
        QTest::qWait(int(PulseConnection::kFirstRetry.count()) + 50);
        port.play(QStringLiteral("breve"), wav);
        QVERIFY(port.lastPlayFailed());
        QCOMPARE(server.clients(), 2);
    }

    // A timer firing during a play that calls play again gets an immediate return, while the outer
    // clip still plays, and no second clip reaches the server. The outer play lasts its clip and
    // ends on the connection's answer, long before its bound.
    void aPlayInsideAPlayReturnsAtOnce()
    {
        PulseSoundPort port(answering(true));
        bool innerDone = false;
        Clock::time_point innerReturned;
        QTimer::singleShot(100, [&] {
            port.play(QStringLiteral("breve"), wav);
            innerReturned = Clock::now();
            innerDone = true;
        });
        QElapsedTimer t;
        t.start();
        port.play(QStringLiteral("tono_s16"), wav);
        const double playedMs = msSince(t);
        QVERIFY(!port.lastPlayFailed());
        QVERIFY2(innerDone, "the timer did not fire during the play");
        std::lock_guard lock(m_log->mutex);
        QCOMPARE(int(m_log->clips.size()), 1);
        QCOMPARE(int(m_log->answered.size()), 1);
        QVERIFY2(innerReturned < m_log->answered[0],
                 qPrintable(QStringLiteral("inner play returned %1 ms after the outer clip ended")
                                .arg(msBetween(m_log->answered[0], innerReturned))));
        QVERIFY2(playedMs >= 600 && playedMs < boundMs(600) / 2, qPrintable(QString::number(playedMs)));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0 && qstrcmp(argv[2], "quit") == 0)
        return childQuit(argc, argv);
    QCoreApplication app(argc, argv);
    TestPulseSoundPort test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_pulse_sound_port.moc"
