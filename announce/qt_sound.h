#pragma once
// The sound port on Qt Multimedia: plays one embedded WAVE clip to its end, synchronously.

#include "announce/sound_port.h"
#include <QAudioFormat>
#include <QByteArray>
#include <vector>

class QAudioDevice;
class QAudioSink;
class QEventLoop;

class QtSoundPort : public SoundPort
{
public:
    QtSoundPort() = default;
    ~QtSoundPort() override;
    QtSoundPort(const QtSoundPort &) = delete;
    QtSoundPort &operator=(const QtSoundPort &) = delete;

    // Runs a local event loop that leaves user input queued (painting and timers go on) until the
    // output has played the last sample, the clip's length plus 2 s have passed, the output stops
    // or fails, or the application quits. Needs a QCoreApplication; must be called from its thread.
    // A play called from inside a play (a timer firing meanwhile) returns at once.
    void play(const QString &nome, const QString &tipo) override;
    void shutdown() override;

private:
    struct Sink {
        QByteArray deviceId;
        QAudioFormat format;
        QAudioSink *sink;
    };
    QAudioSink *sinkFor(const QAudioDevice &device, const QAudioFormat &format);

    // One sink per device and format, kept for the port's life: the 6.4 PulseAudio sink's destructor
    // runs processEvents() with no flags, which would deliver the queued clicks inside a play.
    std::vector<Sink> m_sinks;
    QAudioSink *m_playing = nullptr;
    QEventLoop *m_loop = nullptr;
    bool m_shutdown = false;
};
