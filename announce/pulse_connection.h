#pragma once
// SoundConnection on libpulse's asynchronous API: every clip gets a new connection and a new stream
// on the default sink, driven by a main loop of its own that is never left waiting past the deadline.

#include "announce/sound_connection.h"

class PulseConnection : public SoundConnection
{
public:
    bool play(const PcmClip &clip, std::chrono::steady_clock::time_point deadline,
              const std::atomic<bool> &cancel) override;
};
