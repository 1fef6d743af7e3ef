#include "announce/qt_sound.h"

#include "announce/clip_store.h"
#include "announce/wave.h"
// QAudioDevice before QMediaDevices, or audioOutputs() does not compile on 6.4.
#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace
{
constexpr int kFeedIntervalMs = 10;
constexpr int kGuardSlackMs = 2000;
// processedUSecs() and the clip's length are rounded differently; a millisecond absorbs it.
constexpr qint64 kEndSlackUs = 1000;
constexpr std::size_t kMaxSinks = 8;
constexpr int kBufferMs = 200;

QAudioFormat::SampleFormat qtFormat(SampleFormat f)
{
    switch (f) {
    case SampleFormat::UInt8:
        return QAudioFormat::UInt8;
    case SampleFormat::Int16:
        return QAudioFormat::Int16;
    case SampleFormat::Int32:
        return QAudioFormat::Int32;
    case SampleFormat::Float32:
        return QAudioFormat::Float;
    }
    return QAudioFormat::Unknown;
}

bool fatal(QAudio::Error e)
{
    return e == QAudio::OpenError || e == QAudio::IOError || e == QAudio::FatalError;
}
} // namespace

QtSoundPort::~QtSoundPort()
{
    // Without an application the backend may already be gone: the sinks are left to the process end.
    if (!QCoreApplication::instance()) return;
    for (const Sink &s : m_sinks)
        delete s.sink;
}

QAudioSink *QtSoundPort::sinkFor(const QAudioDevice &device, const QAudioFormat &format)
{
    const QByteArray id = device.id();
    for (const Sink &s : m_sinks) {
        if (s.deviceId == id && s.format == format) return s.sink;
    }
    if (m_sinks.size() >= kMaxSinks) {
        // Deleted once control is back in the caller's event loop, never inside this play.
        m_sinks.front().sink->deleteLater();
        m_sinks.erase(m_sinks.begin());
    }
    auto *sink = new QAudioSink(device, format);
    m_sinks.push_back({id, format, sink});
    return sink;
}

void QtSoundPort::play(const QString &nome, const QString &tipo)
{
    if (m_shutdown || m_loop) return;
    const QByteArray clip = caricaClip(nome, tipo);
    const auto info = parseWave(reinterpret_cast<const unsigned char *>(clip.constData()),
                                static_cast<std::size_t>(clip.size()));
    if (!info || info->dataLength == 0) return;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return;

    QAudioFormat format;
    format.setChannelCount(info->channels);
    format.setSampleRate(static_cast<int>(info->sampleRate));
    format.setSampleFormat(qtFormat(info->format));
    QAudioSink *sink = sinkFor(device, format);
    const qint64 lengthUs = static_cast<qint64>(info->durationUs());

    QEventLoop loop;
    bool finished = false;
    auto stopped = [&] {
        if (sink->state() == QAudio::StoppedState || fatal(sink->error())) loop.exit();
    };
    QObject::connect(sink, &QAudioSink::stateChanged, &loop, stopped);
    // Qt 6.4's PulseAudio sink asks each start for the buffer the previous start was granted, and
    // the server grants less: restarted as it is, the buffer shrinks to a few bytes and the sound
    // breaks up. Asking for the same size every time keeps it steady.
    sink->setBufferSize(static_cast<qsizetype>(info->sampleRate) * info->blockAlign * kBufferMs / 1000);
    QIODevice *out = sink->start();
    if (!out || sink->state() == QAudio::StoppedState || fatal(sink->error())) {
        sink->stop();
        return;
    }

    // PulseAudio holds a stream back until a whole buffer is queued, at the start and after an
    // underrun: a clip shorter than the buffer would never be heard. A buffer of silence after the
    // clip makes that threshold reachable; the play ends once the clip part has been consumed.
    const qint64 clipBytes = static_cast<qint64>(info->dataLength);
    const qint64 block = info->blockAlign;
    const qint64 padBytes = (std::max<qint64>(sink->bufferSize(), block) + block - 1) / block * block;
    QByteArray pcm(clip.constData() + info->dataOffset, clipBytes);
    pcm.append(padBytes, info->format == SampleFormat::UInt8 ? '\x80' : '\0');
    qint64 written = 0;
    auto feed = [&] {
        // A stream the server killed (its sink removed) stays ActiveState with NoError on 6.4; only
        // bytesFree() tells, by turning negative.
        if (sink->bytesFree() < 0) {
            loop.exit();
            return;
        }
        while (written < pcm.size()) {
            const qint64 n = std::min<qint64>(sink->bytesFree(), pcm.size() - written);
            const qint64 w = n > 0 ? out->write(pcm.constData() + written, n) : 0;
            if (w <= 0) break;
            written += w;
        }
        // Not IdleState: that comes while the server still holds the last 100-150 ms of samples.
        const qint64 queued = sink->bufferSize() - sink->bytesFree();
        if (written - queued >= clipBytes && sink->processedUSecs() + kEndSlackUs >= lengthUs) {
            finished = true;
            loop.exit();
        }
    };
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(kFeedIntervalMs);
    QObject::connect(&feeder, &QTimer::timeout, &loop, feed);
    QTimer guard;
    guard.setSingleShot(true);
    guard.setTimerType(Qt::PreciseTimer);
    guard.setInterval(static_cast<int>(std::min<qint64>(lengthUs / 1000 + kGuardSlackMs, INT_MAX)));
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(); });
    QObject::connect(app, &QCoreApplication::aboutToQuit, &loop, [&] { loop.exit(); });
    // A device that goes away without failing the stream must not keep the play until the guard.
    QMediaDevices devices;
    QObject::connect(&devices, &QMediaDevices::audioOutputsChanged, &loop, [&] {
        if (!devices.audioOutputs().contains(device)) loop.exit();
    });

    feed();
    if (!finished && sink->state() != QAudio::StoppedState) {
        feeder.start();
        guard.start();
        m_playing = sink;
        m_loop = &loop;
        // Returns at once when the application is already quitting (QCoreApplication::exit()).
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_loop = nullptr;
        m_playing = nullptr;
    }
    QObject::disconnect(sink, nullptr, &loop, nullptr);
    sink->stop();
}

void QtSoundPort::shutdown()
{
    m_shutdown = true;
    if (m_playing) m_playing->stop();
    if (m_loop) m_loop->exit();
}
