// How soon a clip is heard after play() is called and how long play() outlasts the clip, measured
// on the monitor of the default PulseAudio sink. Usage: with-pulse.sh bench_sound [plays]
#include "announce/clip_store.h"
#include "announce/pulse_sound.h"
#include "announce/wave.h"
#include "monitor_recording.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

struct Figures {
    double median;
    double worst;
};

Figures figures(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.back()};
}

// Plays `key` `plays` times with a pause between, and prints the figures; false when the
// recording could not be matched to the plays.
bool measure(const QString &key, int plays)
{
    const QByteArray clip = loadClip(key, QStringLiteral("wav"));
    const auto info =
        parseWave(reinterpret_cast<const unsigned char *>(clip.constData()), size_t(clip.size()));
    const double lengthMs = info->durationSeconds() * 1000;

    QElapsedTimer clock;
    clock.start();
    MonitorRecording rec(clock);
    QString why;
    if (!rec.start(&why)) {
        std::fprintf(stderr, "recording failed: %s\n", qPrintable(why));
        return false;
    }
    PulseSoundPort port;
    std::vector<double> starts;
    std::vector<double> overruns;
    for (int i = 0; i < plays; ++i) {
        const double start = msSince(clock);
        port.play(key, QStringLiteral("wav"));
        overruns.push_back(msSince(clock) - start - lengthMs);
        starts.push_back(start);
        wait(150);
    }
    rec.stop();

    std::vector<double> latencies;
    for (double start : starts) {
        const auto heard = rec.sounds(rec.sampleAt(start - 30));
        if (heard.empty()) {
            std::fprintf(stderr, "%s: a play was not heard\n", qPrintable(key));
            return false;
        }
        latencies.push_back(rec.timeOfSampleMs(heard.front().first) - start);
    }
    const Figures l = figures(latencies);
    const Figures o = figures(overruns);
    std::printf("%-9s %4.0f ms  %2d plays  start latency median %5.1f ms worst %5.1f ms   "
                "overrun median %5.1f ms worst %5.1f ms   (dates within %.1f ms)\n",
                qPrintable(key), lengthMs, plays, l.median, l.worst, o.median, o.worst, rec.datingSpreadMs());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int plays = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    {
        PulseSoundPort probe;
        probe.play(QStringLiteral("breve"), QStringLiteral("wav"));
        if (probe.lastPlayFailed()) {
            std::fprintf(stderr, "no sound server: run under scripts/with-pulse.sh\n");
            return 1;
        }
    }
    std::printf(
        "start latency: play() called -> first loud sample on the sink's monitor. The null sink renders\n"
        "  a block ahead of its clock, so a date can be a few ms early: values just below 0 mean 'at once'.\n"
        "overrun: play() duration - clip length\n");
    bool ok = true;
    for (const char *key : {"breve", "tono_s16", "tono_u8"})
        ok = measure(QString::fromLatin1(key),
                     key == std::string_view("tono_u8") ? std::min(plays, 5) : plays) &&
             ok;
    return ok ? 0 : 1;
}
