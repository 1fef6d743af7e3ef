// Plays a game through the real window with the real clock and prints:
// - the time from start to the window shown (silent sound, so start-up clips cost nothing),
// - the CPU the game costs as a share of one core,
// - the gap between the end of a number's announcement and the next draw, against the pace.
//   bench_draw [pace-seconds] [numbers] [--sound]
// With --sound the real player speaks through the sound server (run under scripts/with-pulse.sh).

#include "announce/pulse_sound.h"
#include "bench_support.h"
#include "game/std_random.h"
#include "ui/caller.h"
#include "ui/faces.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace
{
// Notes when each play returns.
class TimedSound : public SoundPort
{
public:
    TimedSound(SoundPort *inner, ClockPort &clock) : m_inner(inner), m_clock(clock) {}
    void play(const QString &nome, const QString &tipo) override
    {
        if (m_inner) m_inner->play(nome, tipo);
        lastEnd = m_clock.now();
    }
    void shutdown() override
    {
        if (m_inner) m_inner->shutdown();
    }
    double lastEnd = 0;

private:
    SoundPort *m_inner;
    ClockPort &m_clock;
};
} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // As main.cpp does.
    QApplication app(argc, argv);
    installFaceSubstitutes();
    const QStringList args = QApplication::arguments();
    const int paceMs = args.size() > 1 ? int(args[1].toDouble() * 1000) : 100;
    const int numbers = args.size() > 2 ? args[2].toInt() : 90;
    const bool withSound = args.contains(QStringLiteral("--sound"));

    QtClock clock;
    std::unique_ptr<PulseSoundPort> real;
    if (withSound) real = std::make_unique<PulseSoundPort>();
    TimedSound sound(real.get(), clock);
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    Form1 &form = caller.form;
    Game &game = caller.game;
    form.Form_Load();
    const double shownMs = double(sinceStart.nsecsElapsed()) * 1e-6;

    form.HScroll1->setValue(paceMs);
    std::vector<double> gaps;
    int lastCount = 90;
    QObject::connect(&game, &Game::updated, &form, [&] {
        const int left = game.state().quanti_da_estrarre;
        if (left < lastCount && sound.lastEnd > 0 && lastCount < 90)
            gaps.push_back(clock.now() - sound.lastEnd);
        lastCount = left;
        if (90 - left >= numbers && game.isDrawing()) game.bigNumberGesture(2, 0.0f);
    });
    QElapsedTimer wall;
    QTimer::singleShot(0, &form, [&] {
        wall.start();
        const double cpu0 = cpuSeconds();
        form.cmd_estrai->click();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        const double cpu = cpuSeconds() - cpu0;
        std::printf("time to window shown: %.1f ms\n", shownMs);
        std::printf("%d numbers at %.1f s pace%s: %.2f s wall, %.3f s CPU, %.2f %% of one core\n",
                    90 - game.state().quanti_da_estrarre, paceMs / 1000.0, withSound ? " with sound" : "",
                    seconds, cpu, 100.0 * cpu / seconds);
        if (!gaps.empty()) {
            std::sort(gaps.begin(), gaps.end());
            std::printf("gap from the end of an announcement to the next draw: median %.1f ms, worst %.1f ms "
                        "(pace %d ms; %zu gaps)\n",
                        gaps[gaps.size() / 2] * 1000, gaps.back() * 1000, paceMs, gaps.size());
        }
        QApplication::quit();
    });
    return QApplication::exec();
}
