#pragma once
// What the sound port's worker thread asks of a sound server: one clip played to its end. An
// interface so that tests can put a server that never answers in the real one's place.

#include "announce/wave.h"
#include <QByteArray>
#include <atomic>
#include <chrono>
#include <cstdint>

// A clip's samples exactly as its WAVE file holds them, and their layout.
struct PcmClip {
    int channels = 0;
    std::uint32_t sampleRate = 0;
    SampleFormat format = SampleFormat::UInt8;
    int blockAlign = 0;
    QByteArray samples;

    std::chrono::microseconds length() const
    {
        if (blockAlign <= 0 || sampleRate == 0) return {};
        const auto frames =
            static_cast<std::uint64_t>(samples.size()) / static_cast<std::uint64_t>(blockAlign);
        return std::chrono::microseconds(frames * 1000000u / sampleRate);
    }
};

class SoundConnection
{
public:
    virtual ~SoundConnection() = default;
    // Plays `clip` on the output that is the default when it starts. True once the server has
    // played it to its end; false on any fault, once `deadline` has passed or once `cancel` is set.
    // Runs on the port's worker thread. One that does not return by the deadline is abandoned there,
    // still running, and its thread ends whenever it does return.
    virtual bool play(const PcmClip &clip, std::chrono::steady_clock::time_point deadline,
                      const std::atomic<bool> &cancel) = 0;
    // Until when a play would fail at once without asking the server (no server answered the last
    // try); asked on the worker thread after each play. By default a connection never rests.
    virtual std::chrono::steady_clock::time_point restsUntil() const { return {}; }
};
