#include "announce/pulse_connection.h"

#include <algorithm>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

using Clock = std::chrono::steady_clock;

namespace
{
// How often the loop wakes to look at `cancel` when the server says nothing.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);
// The stream's target latency. The default (2 s) would hold a short clip back until the drain and
// make the sink render far ahead of what is heard.
constexpr pa_usec_t kTargetLatencyUs = 50000;
// What a connection handles at most before a clip, from what the server sent since the last one.
constexpr int kPendingEvents = 64;

pa_sample_format_t paFormat(SampleFormat f)
{
    switch (f) {
    case SampleFormat::UInt8:
        return PA_SAMPLE_U8;
    case SampleFormat::Int16:
        return PA_SAMPLE_S16LE;
    case SampleFormat::Int32:
        return PA_SAMPLE_S32LE;
    case SampleFormat::Float32:
        return PA_SAMPLE_FLOAT32LE;
    }
    return PA_SAMPLE_INVALID;
}

// Runs `loop` until `done()` holds; false when the deadline passes, `cancel` is set or the loop
// fails first.
template <typename Done>
bool runUntil(pa_mainloop *loop, Done done, Clock::time_point deadline, const std::atomic<bool> &cancel)
{
    while (!done()) {
        if (cancel.load()) return false;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        const auto wait = std::min<Clock::duration>(deadline - now, kCancelPoll);
        const auto waitUs = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
        if (pa_mainloop_prepare(loop, static_cast<int>(std::max<long long>(waitUs, 1))) < 0) return false;
        if (pa_mainloop_poll(loop) < 0) return false;
        if (pa_mainloop_dispatch(loop) < 0) return false;
    }
    return true;
}

// One clip on a stream of its own, on a connection that is ready.
class Playback
{
public:
    Playback(pa_mainloop *loop, pa_context *context, const PcmClip &clip)
        : m_loop(loop), m_context(context), m_clip(clip)
    {
    }
    ~Playback()
    {
        if (m_drain) {
            if (pa_operation_get_state(m_drain) == PA_OPERATION_RUNNING) pa_operation_cancel(m_drain);
            pa_operation_unref(m_drain);
        }
        if (m_stream) {
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream))) pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }
    Playback(const Playback &) = delete;
    Playback &operator=(const Playback &) = delete;

    // True once the server has played the whole clip.
    bool run(const pa_sample_spec &sampleSpec, Clock::time_point deadline, const std::atomic<bool> &cancel)
    {
        m_stream = pa_stream_new(m_context, "announcement", &sampleSpec, nullptr);
        if (!m_stream) return false;
        pa_stream_set_write_callback(m_stream, &Playback::onWritable, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &sampleSpec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        // No device named: the sink that is the default now. A stream kept from clip to clip would stay
        // on its sink when the default changes; a new one follows it.
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
            0)
            return false;
        // The write callback feeds the clip and asks for the drain after its last byte; the drain's
        // reply comes once the server has played everything. A stream shorter than its prebuffer
        // starts then too.
        runUntil(
            m_loop, [this] { return m_done || !alive(); }, deadline, cancel);
        return m_drained;
    }

    // Some of the clip has gone to the server.
    bool started() const { return m_written > 0; }

private:
    bool alive() const
    {
        return PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) &&
               PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream));
    }

    static void onWritable(pa_stream *s, size_t nbytes, void *userdata)
    {
        auto *self = static_cast<Playback *>(userdata);
        const auto total = static_cast<size_t>(self->m_clip.samples.size());
        const size_t n = std::min(nbytes, total - self->m_written);
        if (n > 0) {
            if (pa_stream_write(s, self->m_clip.samples.constData() + self->m_written, n, nullptr, 0,
                                PA_SEEK_RELATIVE) < 0) {
                self->m_done = true;
                return;
            }
            self->m_written += n;
        }
        if (self->m_written == total && !self->m_drain && !self->m_done) {
            self->m_drain = pa_stream_drain(s, &Playback::onDrained, self);
            if (!self->m_drain) self->m_done = true;
        }
    }

    static void onDrained(pa_stream *, int success, void *userdata)
    {
        auto *self = static_cast<Playback *>(userdata);
        self->m_drained = success != 0;
        self->m_done = true;
    }

    pa_mainloop *m_loop;
    pa_context *m_context;
    const PcmClip &m_clip;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    size_t m_written = 0;
    bool m_done = false;
    bool m_drained = false;
};

} // namespace

// A connection to the server and the main loop that only this thread runs for it.
struct PulseConnection::Server {
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;

    ~Server()
    {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop) pa_mainloop_free(loop);
    }

    pa_context_state_t state() const { return pa_context_get_state(context); }

    // Handles, without waiting, what the server sent since the last clip: a server that went away
    // has closed the connection by now.
    bool ready()
    {
        for (int k = 0; k < kPendingEvents && pa_mainloop_iterate(loop, 0, nullptr) > 0; ++k) {
        }
        return state() == PA_CONTEXT_READY;
    }
};

PulseConnection::PulseConnection() = default;

PulseConnection::~PulseConnection() = default;

std::unique_ptr<PulseConnection::Server> PulseConnection::connect(Clock::time_point deadline,
                                                                  const std::atomic<bool> &cancel)
{
    if (Clock::now() < m_nextTry) return nullptr;
    auto server = std::make_unique<Server>();
    server->loop = pa_mainloop_new();
    if (server->loop) server->context = pa_context_new(pa_mainloop_get_api(server->loop), "Tombola");
    // Never start a server of our own: no server means no sound.
    const bool ready =
        server->context &&
        pa_context_connect(server->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        runUntil(
            server->loop,
            [&s = *server] { return !PA_CONTEXT_IS_GOOD(s.state()) || s.state() == PA_CONTEXT_READY; },
            deadline, cancel) &&
        server->state() == PA_CONTEXT_READY;
    if (ready) {
        m_retryPause = kFirstRetry;
        return server;
    }
    m_nextTry = Clock::now() + m_retryPause;
    m_retryPause = std::min(m_retryPause * 2, kLastRetry);
    return nullptr;
}

Clock::time_point PulseConnection::restsUntil() const
{
    return m_server ? Clock::time_point() : m_nextTry;
}

bool PulseConnection::play(const PcmClip &clip, Clock::time_point deadline, const std::atomic<bool> &cancel)
{
    pa_sample_spec sampleSpec;
    sampleSpec.format = paFormat(clip.format);
    sampleSpec.rate = clip.sampleRate;
    sampleSpec.channels = static_cast<std::uint8_t>(std::clamp(clip.channels, 0, 255));
    if (!pa_sample_spec_valid(&sampleSpec) || clip.samples.isEmpty()) return false;

    if (m_server && !m_server->ready()) m_server.reset();
    for (bool firstTry = true;; firstTry = false) {
        const bool kept = m_server != nullptr;
        if (!m_server) m_server = connect(deadline, cancel);
        if (!m_server) return false;
        bool played = false, started = false;
        {
            Playback playback(m_server->loop, m_server->context, clip);
            played = playback.run(sampleSpec, deadline, cancel);
            started = playback.started();
        }
        if (played) return true;
        const bool timeUp = cancel.load() || Clock::now() >= deadline;
        // A stream the server refused (no sink to play on) leaves the connection as it is; a server
        // gone, or one that did not answer in time, takes it with it.
        if (!timeUp && m_server->ready()) return false;
        m_server.reset();
        // A connection kept from the clips before that broke before this one started: once more on a
        // new one, so that a server started again is heard from the next clip on.
        if (!firstTry || !kept || timeUp || started) return false;
    }
}
