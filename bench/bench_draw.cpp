// Plays a whole 90-number game through the real window with the real clock, silent sound and a
// pace of 0.1 s, and prints the time to the window shown and the CPU the game costs.
//   bench_draw [pace-seconds]

#include "game/std_random.h"
#include "ui/faces.h"
#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace
{
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class NoPrinter : public PrinterPort
{
public:
    std::unique_ptr<CardCanvas> open(const QString &, QString *) override { return nullptr; }
    std::unique_ptr<CardCanvas> openPdf(const QString &, QString *) override { return nullptr; }
};
} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    installFaceSubstitutes();
    const int paceMs = argc > 1 ? int(std::atof(argv[1]) * 1000) : 100;

    SilentSound sound;
    QtClock clock;
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Form1 form(Ports{sound, clock, random, dialogs, printer});
    form.Form_Load();
    const double shownMs = double(sinceStart.nsecsElapsed()) * 1e-6;

    form.HScroll1->setValue(paceMs);
    QElapsedTimer wall;
    double cpu0 = 0;
    QTimer::singleShot(0, &form, [&] {
        wall.start();
        cpu0 = cpuSeconds();
        form.cmd_estrai->click();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        const double cpu = cpuSeconds() - cpu0;
        std::printf("time to window shown: %.1f ms\n", shownMs);
        std::printf("game of 90 numbers at %.1f s pace: %.2f s wall, %.3f s CPU, %.2f %% of one core\n",
                    paceMs / 1000.0, seconds, cpu, 100.0 * cpu / seconds);
        std::printf("last number shown: %s\n", qPrintable(form.Label1->text()));
        QApplication::quit();
    });
    return QApplication::exec();
}
