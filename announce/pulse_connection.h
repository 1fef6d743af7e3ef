#pragma once
// SoundConnection on libpulse's asynchronous API, driven by a main loop of its own that is never left
// waiting past the deadline. One connection to the server serves clip after clip for as long as it
// works; every clip gets a stream of its own, so each goes to the sink that is the default when it
// starts. A connection that failed is made again for the next clip, and while no server answers it is
// tried again only after a pause that grows from kFirstRetry to kLastRetry.

#include "announce/sound_connection.h"

#include <memory>

class PulseConnection : public SoundConnection
{
public:
    static constexpr std::chrono::milliseconds kFirstRetry{250};
    static constexpr std::chrono::milliseconds kLastRetry{2000};

    PulseConnection();
    ~PulseConnection() override;
    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    bool play(const PcmClip &clip, std::chrono::steady_clock::time_point deadline,
              const std::atomic<bool> &cancel) override;
    std::chrono::steady_clock::time_point restsUntil() const override;

private:
    struct Server;
    // A new connection, unless one failed too recently; null when there is none.
    std::unique_ptr<Server> connect(std::chrono::steady_clock::time_point deadline,
                                    const std::atomic<bool> &cancel);

    std::unique_ptr<Server> m_server;
    std::chrono::steady_clock::time_point m_nextTry{};
    std::chrono::milliseconds m_retryPause = kFirstRetry;
};
