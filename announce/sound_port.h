#pragma once
// The sound output as the announcer sees it: one clip played to its end, synchronously.

#include <QString>
#include <stdexcept>

// A clip key that names no clip. Raised by SoundPort::play to its caller.
class ClipMissing : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class SoundPort
{
public:
    virtual ~SoundPort() = default;
    // Plays the clip `nome` of type `tipo` (case ignored in both) to its end, then returns.
    // Throws ClipMissing when there is no such clip. With no output, a lost device or a clip that
    // is not a playable WAVE it returns quietly, at once or as soon as the fault shows.
    virtual void play(const QString &nome, const QString &tipo) = 0;
    // Cuts the clip under way and turns every later play into a no-op: the program is closing.
    virtual void shutdown() = 0;
    // True when the last clip could not be played (no sound server, a stalled or lost one, no
    // output device); false again once a clip plays to its end. Missing clips do not count.
    virtual bool lastPlayFailed() const { return false; }
};
