#pragma once
// Records what a PulseAudio sink plays (the default one unless told), through `parec` on its monitor,
// as mono 16-bit samples, and dates every sample on the caller's clock. Shared by the sound test and
// benchmark.

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

class MonitorRecording
{
public:
    static constexpr int kRate = 22050;
    // 1% of full scale, as `sox silence ... 1%` would take it.
    static constexpr int kThreshold = 328;

    struct Sound {
        qsizetype first; // index of the first loud sample
        qsizetype last;  // index of the last loud sample
        double seconds() const { return double(last - first + 1) / kRate; }
    };
    // How long `sounds` last all told, the quiet between them left out: a gap the server cut into a
    // clip when it fell behind neither adds to it nor takes from it.
    static double seconds(const std::vector<Sound> &sounds)
    {
        double total = 0;
        for (const Sound &sound : sounds)
            total += sound.seconds();
        return total;
    }

    // `clock` must be running; times are read in its milliseconds. `monitor` is a source name.
    explicit MonitorRecording(const QElapsedTimer &clock,
                              const QString &monitor = QStringLiteral("@DEFAULT_MONITOR@"))
        : m_clock(clock), m_monitor(monitor)
    {
        QObject::connect(&m_parec, &QProcess::readyReadStandardOutput, [this] { take(); });
    }
    ~MonitorRecording() { stop(); }

    // Starts recording and returns once samples flow; false with `why` when that failed.
    bool start(QString *why)
    {
        const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
        if (parec.isEmpty()) {
            *why = QStringLiteral("parec is not installed");
            return false;
        }
        m_parec.start(parec, {QStringLiteral("-d"), m_monitor, QStringLiteral("--raw"),
                              QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                              QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=10")});
        if (!m_parec.waitForStarted(5000)) {
            *why = QStringLiteral("parec did not start");
            return false;
        }
        // A tenth of a second of samples shows the stream is running.
        QElapsedTimer wait;
        wait.start();
        while (m_samples.size() < kRate / 10 && wait.elapsed() < 5000) {
            if (!m_parec.waitForReadyRead(200) && m_parec.state() != QProcess::Running) break;
            take();
        }
        if (m_samples.size() < kRate / 10) {
            *why = QStringLiteral("parec gave no samples: ") +
                   QString::fromLocal8Bit(m_parec.readAllStandardError());
            stop();
            return false;
        }
        return true;
    }

    // Ends the recording; the samples stay.
    void stop()
    {
        if (m_parec.state() == QProcess::NotRunning) return;
        take();
        m_parec.terminate();
        if (!m_parec.waitForFinished(3000)) {
            m_parec.kill();
            m_parec.waitForFinished(3000);
        }
    }

    // Records on until the samples reach clock time `ms`; false when `timeoutMs` passed first or the
    // recording stopped.
    bool recordUntil(double ms, int timeoutMs = 10000)
    {
        QElapsedTimer wait;
        wait.start();
        take();
        while (size() == 0 || timeOfSampleMs(size()) < ms) {
            if (wait.elapsed() >= timeoutMs) return false;
            if (!m_parec.waitForReadyRead(100) && m_parec.state() != QProcess::Running) return false;
            take();
        }
        return true;
    }

    const std::vector<qint16> &samples() const { return m_samples; }
    qsizetype size() const { return qsizetype(m_samples.size()); }

    // When sample k reached the monitor, in clock milliseconds. Every read is late by the time the
    // pipe and the event loop took; the earliest read of all is the best anchor of the sample clock.
    double timeOfSampleMs(qsizetype k) const { return m_offsetMs + 1000.0 * double(k) / kRate; }
    // How much later than the anchor the median read came: a measure of how far the dates can be off.
    double datingSpreadMs() const
    {
        if (m_offsets.empty()) return 0;
        std::vector<double> v = m_offsets;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2] - m_offsetMs;
    }
    // The first sample recorded at or after clock time `ms`.
    qsizetype sampleAt(double ms) const
    {
        return std::max<qsizetype>(0, qsizetype((ms - m_offsetMs) * kRate / 1000.0 + 0.999));
    }

    // The loud stretches from sample `from` on, split where at least `gapSeconds` of silence lies.
    std::vector<Sound> sounds(qsizetype from = 0, double gapSeconds = 0.02) const
    {
        std::vector<Sound> out;
        const qsizetype gap = qsizetype(gapSeconds * kRate);
        for (qsizetype i = std::max<qsizetype>(from, 0); i < size(); ++i) {
            if (std::abs(int(m_samples[size_t(i)])) < kThreshold) continue;
            if (!out.empty() && i - out.back().last <= gap)
                out.back().last = i;
            else
                out.push_back({i, i});
        }
        return out;
    }

private:
    void take()
    {
        const QByteArray bytes = m_parec.readAllStandardOutput();
        if (bytes.isEmpty()) return;
        m_pending.append(bytes);
        const qsizetype whole = m_pending.size() / 2;
        for (qsizetype i = 0; i < whole; ++i) {
            const auto lo = static_cast<unsigned char>(m_pending[2 * i]);
            const auto hi = static_cast<unsigned char>(m_pending[2 * i + 1]);
            m_samples.push_back(static_cast<qint16>(lo | (hi << 8)));
        }
        m_pending.remove(0, whole * 2);
        const double offset = double(m_clock.nsecsElapsed()) / 1e6 - 1000.0 * double(size()) / kRate;
        m_offsetMs = std::min(m_offsetMs, offset);
        m_offsets.push_back(offset);
    }

    const QElapsedTimer &m_clock;
    const QString m_monitor;
    QProcess m_parec;
    QByteArray m_pending;
    std::vector<qint16> m_samples;
    std::vector<double> m_offsets;
    double m_offsetMs = std::numeric_limits<double>::max();
};
