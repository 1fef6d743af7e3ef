#include "announce/pulse_sound.h"

#include "announce/clip_store.h"
#include "announce/input_hold.h"
#include "announce/pulse_connection.h"
#include "announce/wave.h"
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <climits>
#include <condition_variable>
#include <mutex>

using Clock = std::chrono::steady_clock;

// One clip handed to the worker, and what became of it. Shared, so that an abandoned worker can
// still write its answer after the port has stopped waiting, or is gone.
struct PulseSoundPort::Ticket {
    PcmClip clip;
    Clock::time_point deadline;
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool played = false;
    // Until when the connection rests, as it said after this clip.
    Clock::time_point restsUntil{};
    // The caller's loop while it waits; cleared under the mutex before the loop goes away.
    QEventLoop *wake = nullptr;
};

// The state a worker thread shares with the port. The thread owns its connection and keeps this
// alive for as long as it runs.
struct PulseSoundPort::Worker {
    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<Ticket> next;
    bool quit = false;
    std::atomic<bool> cancel{false};

    static void run(std::shared_ptr<Worker> self, std::unique_ptr<SoundConnection> connection)
    {
        for (;;) {
            std::shared_ptr<Ticket> ticket;
            {
                std::unique_lock lock(self->mutex);
                self->changed.wait(lock, [&] { return self->quit || self->next; });
                if (self->quit) return;
                ticket = std::move(self->next);
            }
            const bool played = connection && connection->play(ticket->clip, ticket->deadline, self->cancel);
            const Clock::time_point rest = connection ? connection->restsUntil() : Clock::time_point();
            std::lock_guard lock(ticket->mutex);
            ticket->done = true;
            ticket->played = played;
            ticket->restsUntil = rest;
            if (ticket->wake)
                QMetaObject::invokeMethod(ticket->wake, &QEventLoop::quit, Qt::QueuedConnection);
            ticket->answered.notify_all();
        }
    }
};

PulseSoundPort::PulseSoundPort() : PulseSoundPort([] { return std::make_unique<PulseConnection>(); }) {}

PulseSoundPort::PulseSoundPort(ConnectionFactory factory) : m_factory(std::move(factory)) {}

PulseSoundPort::~PulseSoundPort()
{
    // A worker still here has answered its last clip (play() abandons any other), so it is waiting
    // for the next one and the join is immediate.
    if (!m_worker) return;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->quit = true;
    }
    m_worker->changed.notify_all();
    m_thread.join();
}

void PulseSoundPort::startWorker()
{
    m_worker = std::make_shared<Worker>();
    m_thread = std::thread(&Worker::run, m_worker, m_factory());
}

void PulseSoundPort::abandonWorker()
{
    if (!m_worker) return;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->quit = true;
    }
    m_worker->cancel = true;
    m_worker->changed.notify_all();
    // Never joined here: it may be inside a call that does not return.
    m_thread.detach();
    m_worker.reset();
}

void PulseSoundPort::play(const QString &nome, const QString &tipo)
{
    if (m_shutdown || m_waiting) return;
    // The connection rests after no server answered: the clip fails as it would on the worker,
    // without being read. Resting follows a failed clip, so the failure mark stays as it was.
    if (Clock::now() < m_restsUntil) {
        requireClip(nome, tipo);
        return;
    }
    const QByteArray image = loadClip(nome, tipo);
    const auto info = parseWave(reinterpret_cast<const unsigned char *>(image.constData()),
                                static_cast<std::size_t>(image.size()));
    if (!info || info->dataLength == 0) return;

    auto ticket = std::make_shared<Ticket>();
    ticket->clip.channels = info->channels;
    ticket->clip.sampleRate = info->sampleRate;
    ticket->clip.format = info->format;
    ticket->clip.blockAlign = info->blockAlign;
    // A copy of its own: the worker may outlive this call.
    ticket->clip.samples =
        QByteArray(image.constData() + info->dataOffset, static_cast<qsizetype>(info->dataLength));
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(ticket->clip.length()) + kSlack;
    ticket->deadline = Clock::now() + limit;

    if (!m_worker) startWorker();
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->next = ticket;
    }
    m_worker->changed.notify_all();

    m_waiting = true;
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        guard.setTimerType(Qt::PreciseTimer);
        guard.setInterval(static_cast<int>(std::min<long long>(limit.count(), INT_MAX)));
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(app, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
        bool answered;
        {
            std::lock_guard lock(ticket->mutex);
            answered = ticket->done;
            if (!answered) ticket->wake = &loop;
        }
        if (!answered) {
            guard.start();
            m_loop = &loop;
            // Returns at once when the application is already quitting (QCoreApplication::exit()).
            // The user's input waits for the end of the clip; a close request does not.
            UserInputHold hold;
            loop.exec();
            if (m_shutdown) hold.drop();
            m_loop = nullptr;
            std::lock_guard lock(ticket->mutex);
            ticket->wake = nullptr;
        }
    } else {
        std::unique_lock lock(ticket->mutex);
        ticket->answered.wait_until(lock, ticket->deadline, [&] { return ticket->done; });
    }
    m_waiting = false;

    bool done;
    bool played;
    {
        std::lock_guard lock(ticket->mutex);
        done = ticket->done;
        played = ticket->played;
        m_restsUntil = ticket->restsUntil;
    }
    if (!done) abandonWorker();
    // A play cut by shutdown() says nothing about the output.
    if (!m_shutdown) m_failed = !played;
}

void PulseSoundPort::shutdown()
{
    m_shutdown = true;
    if (m_worker) m_worker->cancel = true;
    if (m_loop) m_loop->quit();
}
