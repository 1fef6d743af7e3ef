#include "announce/pulse_connection.h"

#include <algorithm>
#include <cstdio>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

namespace
{
using Clock = std::chrono::steady_clock;

// How often the loop wakes to look at `cancel` when the server says nothing.
constexpr auto kCancelPoll = std::chrono::milliseconds(20);
// The stream's target latency. The default (2 s) would hold a short clip back until the drain and
// make the sink render far ahead of what is heard.
constexpr pa_usec_t kTargetLatencyUs = 50000;

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

// One clip's libpulse objects, all on a main loop that only this thread runs.
class Session
{
public:
    Session(const PcmClip &clip, Clock::time_point deadline, const std::atomic<bool> &cancel)
        : m_clip(clip), m_deadline(deadline), m_cancel(cancel)
    {
    }
    ~Session()
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
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop) pa_mainloop_free(m_loop);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool run()
    {
        pa_sample_spec sampleSpec;
        sampleSpec.format = paFormat(m_clip.format);
        sampleSpec.rate = m_clip.sampleRate;
        sampleSpec.channels = static_cast<std::uint8_t>(std::clamp(m_clip.channels, 0, 255));
        if (!pa_sample_spec_valid(&sampleSpec) || m_clip.samples.isEmpty()) return false;

        m_loop = pa_mainloop_new();
        if (!m_loop) return false;
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Tombola");
        if (!m_context) return false;
        // Never start a server of our own: no server means no sound.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
        if (!runUntil([this] {
                return !PA_CONTEXT_IS_GOOD(contextState()) || contextState() == PA_CONTEXT_READY;
            }) ||
            contextState() != PA_CONTEXT_READY)
            return false;

        m_stream = pa_stream_new(m_context, "announcement", &sampleSpec, nullptr);
        if (!m_stream) return false;
        pa_stream_set_write_callback(m_stream, &Session::onWritable, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &sampleSpec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        // No device named: the sink that is the default now. No stream is kept between clips, so a
        // new default is followed from the next clip on.
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
            0)
            return false;
        // The write callback feeds the clip and asks for the drain after its last byte; the drain's
        // reply comes once the server has played everything. A stream shorter than its prebuffer
        // starts then too.
        runUntil([this] { return m_done || !streamAlive(); });
        return m_drained;
    }

private:
    pa_context_state_t contextState() const { return pa_context_get_state(m_context); }
    bool streamAlive() const
    {
        return PA_CONTEXT_IS_GOOD(contextState()) && PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream));
    }

    // Runs the loop until `done()` holds, the deadline passes, `cancel` is set or the loop fails.
    template <typename Done> bool runUntil(Done done)
    {
        while (!done()) {
            if (m_cancel.load()) return false;
            const auto now = Clock::now();
            if (now >= m_deadline) return false;
            const auto wait = std::min<Clock::duration>(m_deadline - now, kCancelPoll);
            const auto waitUs = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
            if (pa_mainloop_prepare(m_loop, static_cast<int>(std::max<long long>(waitUs, 1))) < 0)
                return false;
            if (pa_mainloop_poll(m_loop) < 0) return false;
            if (pa_mainloop_dispatch(m_loop) < 0) return false;
        }
        return true;
    }

    static void onWritable(pa_stream *s, size_t nbytes, void *userdata)
    {
        auto *self = static_cast<Session *>(userdata);
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
            self->m_drain = pa_stream_drain(s, &Session::onDrained, self);
            if (!self->m_drain) self->m_done = true;
        }
    }

    static void onDrained(pa_stream *, int success, void *userdata)
    {
        auto *self = static_cast<Session *>(userdata);
        self->m_drained = success != 0;
        self->m_done = true;
    }

    const PcmClip &m_clip;
    const Clock::time_point m_deadline;
    const std::atomic<bool> &m_cancel;
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    size_t m_written = 0;
    bool m_done = false;
    bool m_drained = false;
};

} // namespace

bool PulseConnection::play(const PcmClip &clip, std::chrono::steady_clock::time_point deadline,
                           const std::atomic<bool> &cancel)
{
    Session session(clip, deadline, cancel);
    return session.run();
}
