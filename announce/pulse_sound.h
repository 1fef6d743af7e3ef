#pragma once
// The sound port on libpulse (PulseAudio, or PipeWire's pipewire-pulse): plays one embedded WAVE clip
// to its end, synchronously, and never holds its caller much longer than the clip lasts.

#include "announce/sound_connection.h"
#include "announce/sound_port.h"
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class QEventLoop;

class PulseSoundPort : public SoundPort
{
public:
    using ConnectionFactory = std::function<std::unique_ptr<SoundConnection>()>;
    // How much longer than its clip a play may last before the clip counts as not played.
    static constexpr std::chrono::milliseconds kSlack{2000};

    PulseSoundPort();
    // Tests hand in their own connections; one is made for every worker thread.
    explicit PulseSoundPort(ConnectionFactory factory);
    ~PulseSoundPort() override;
    PulseSoundPort(const PulseSoundPort &) = delete;
    PulseSoundPort &operator=(const PulseSoundPort &) = delete;

    // A worker thread talks to the server; the caller waits in a local event loop that holds user
    // input back until the end (painting, timers and a close request go on; see UserInputHold) until the
    // worker is done, the clip's length plus kSlack has passed, shutdown() is called or the application
    // quits. Called off the application's thread, or with no application, it waits without an event loop. A
    // play called from inside a play (a timer firing meanwhile) returns at once. A clip that is not a
    // playable WAVE returns at once and, like a missing one, leaves lastPlayFailed() as it was. While
    // the connection rests (no server answered its last try) a play fails at once, on this thread.
    void play(const QString &nome, const QString &tipo) override;
    // Returns at once, even while the worker is stuck in the server: that worker is left behind.
    void shutdown() override;
    bool lastPlayFailed() const override { return m_failed; }

private:
    struct Worker;
    struct Ticket;
    void startWorker();
    // Lets a worker that is still busy finish on its own, or never; the next play starts a new one.
    void abandonWorker();

    ConnectionFactory m_factory;
    std::shared_ptr<Worker> m_worker;
    std::thread m_thread;
    QEventLoop *m_loop = nullptr;
    bool m_waiting = false;
    bool m_shutdown = false;
    bool m_failed = false;
    // The worker's connection said it would fail every play until then, without trying.
    std::chrono::steady_clock::time_point m_restsUntil{};
};
