// What a whole game costs the program as it runs for the caller: the window wired as main.cpp wires
// it (accessibility, the card check, the prize panel, the room's screen), the real sound port and the
// real clock, a game at the given pace. Each game runs in a child process of its own and the kinds
// take turns, so a load on the machine falls on all of them alike. Prints every game, then per
// kind the CPU per drawn number and the share of one core, median and spread. Asserts nothing.
//   bench_game [pace-seconds] [numbers] [rounds] [--sound]
// Kinds: "silent" (no sound server: PULSE_SERVER points nowhere) with the room's screen closed and
// open, and "silent-later", the evening's second game (the first, unmeasured, has loaded the faces and
// glyphs an evening keeps); with --sound also "sound" on the server of scripts/with-pulse.sh. The kind
// "bare-qt" is the floor under all of them: a plain window whose four labels (the sizes of the drawn
// number, the words, the count and a board cell) take a new text at the same pace, nothing else. On the
// platform of the environment (run it under xvfb-run -a for X), offscreen when none is set. One game alone,
// for a profiler: bench_game PACE NUMBERS 1 --child silent|silent-open|sound; under valgrind --tool=callgrind
// it dumps a profile of the game alone, all threads, as part "game". With TOMBOLA_BENCH_PAINTS=1 in the
// environment the child also prints, on standard error, how often each widget painted during the game.

#include "announce/pulse_sound.h"
#include "bench_support.h"
#include "game/std_random.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/card_check_dialog.h"
#include "ui/faces.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <vector>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

namespace
{
// Counts the paint events of every widget while it is installed on the application.
class PaintCensus : public QObject
{
public:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++m_paints[QStringLiteral("%1 %2").arg(o->metaObject()->className(), o->objectName())];
        return false;
    }
    void print(int numbers) const
    {
        std::vector<std::pair<int, QString>> rows;
        for (auto it = m_paints.begin(); it != m_paints.end(); ++it)
            rows.emplace_back(it->second, it->first);
        std::sort(rows.rbegin(), rows.rend());
        for (const auto &[count, name] : rows)
            std::fprintf(stderr, "paints %6d (%5.2f per number) %s\n", count,
                         double(count) / std::max(1, numbers), qPrintable(name));
    }

private:
    std::map<QString, int> m_paints;
};

// The CPU the process has spent in the kernel, on all its threads.
double kernelSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) * 1e-6;
}

// One game in this process; prints "game <drawn> <wall s> <cpu s> <of which kernel s>".
int playOne(int paceMs, int numbers, bool open, bool later)
{
    PulseSoundPort sound;
    QtClock clock;
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    dialogs.setParent(&caller.form);
    installCardCheck(caller.form, caller.game, caller.game.ports().sound, caller.printRun.cardsInPlay(),
                     &caller.prizes);
    applyAccessibility(caller.form, caller.game, caller.claims);
    AudienceController audience(caller.form, caller.game);
    showPrizesOnAudienceScreen(caller.prizes, audience);
    Form1 &form = caller.form;
    Game &game = caller.game;
    form.Form_Load();
    form.HScroll1->setValue(paceMs);
    if (open) audience.open();
    // Start-up is over (its clips played or failed) and the windows have painted once.
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    bool measuring = !later;
    QObject::connect(&game, &Game::numberDrawn, &form, [&](int, int ordinal) {
        if (measuring && ordinal >= numbers && game.isDrawing()) game.bigNumberGesture(2, 0.0f);
    });
    if (later) {
        // A whole game first, then a new one as the caller starts it.
        form.cmd_estrai->click();
        game.newGame();
        measuring = true;
    }
    PaintCensus census;
    const bool countPaints = qEnvironmentVariableIntValue("TOMBOLA_BENCH_PAINTS") != 0;
    QTimer::singleShot(0, &form, [&] {
        if (countPaints) qApp->installEventFilter(&census);
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        const double kernel0 = kernelSeconds();
        // Under valgrind --tool=callgrind the profile holds the game alone, on every thread.
        CALLGRIND_ZERO_STATS;
        form.cmd_estrai->click();
        CALLGRIND_DUMP_STATS_AT("game");
        qApp->removeEventFilter(&census);
        census.print(game.state().drawnCount());
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        std::printf("game %d %.4f %.4f %.4f\n", game.state().drawnCount(), seconds, cpuSeconds() - cpu0,
                    kernelSeconds() - kernel0);
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

// The floor: what Qt and the display cost for the labels a number changes, without the program.
int playBare(int paceMs, int numbers)
{
    QWidget window;
    window.resize(900, 640);
    const std::pair<int, QRect> labels[] = {{72, QRect(440, 48, 209, 145)},
                                            {36, QRect(336, 256, 473, 73)},
                                            {10, QRect(440, 16, 209, 17)},
                                            {12, QRect(20, 20, 40, 30)}};
    std::vector<QLabel *> shown;
    for (const auto &[points, place] : labels) {
        auto *label = new QLabel(&window);
        label->setGeometry(place);
        label->setAlignment(Qt::AlignCenter);
        QFont f = label->font();
        f.setPointSize(points);
        f.setBold(true);
        label->setFont(f);
        shown.push_back(label);
    }
    window.show();
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    int drawn = 0;
    QElapsedTimer wall;
    double cpu0 = 0, kernel0 = 0;
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        if (drawn == 0) {
            wall.start();
            cpu0 = cpuSeconds();
            kernel0 = kernelSeconds();
        }
        if (drawn == numbers) {
            std::printf("game %d %.4f %.4f %.4f\n", drawn, double(wall.nsecsElapsed()) * 1e-9,
                        cpuSeconds() - cpu0, kernelSeconds() - kernel0);
            std::fflush(stdout);
            QApplication::quit();
            return;
        }
        ++drawn;
        const QString n = QString::number(drawn);
        for (QLabel *label : shown)
            label->setText(label == shown[1] ? QStringLiteral("SESSANTA%1").arg(n) : n);
    });
    tick.start(paceMs);
    return QApplication::exec();
}

struct Run {
    int drawn = 0;
    double wall = 0;
    double cpu = 0;
    double kernel = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const double pace = args.size() > 1 ? args[1].toDouble() : 0.1;
    const int numbers = args.size() > 2 ? args[2].toInt() : 90;
    const int rounds = args.size() > 3 ? std::max(1, args[3].toInt()) : 3;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (args.size() > 5 && args[4] == QStringLiteral("--child")) {
        const QString kind = args[5];
        if (kind.startsWith(QStringLiteral("silent")))
            qputenv("PULSE_SERVER", "unix:/nonexistent/tombola-bench/native");
        // As main.cpp does.
        QApplication app(argc, argv);
        installFaceSubstitutes();
        if (kind == QStringLiteral("bare-qt")) return playBare(int(pace * 1000), numbers);
        return playOne(int(pace * 1000), numbers, kind.endsWith(QStringLiteral("-open")),
                       kind.endsWith(QStringLiteral("-later")));
    }

    QCoreApplication app(argc, argv);
    // libpulse and Qt want a private runtime folder; the children share this one.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid()) {
        QFile::setPermissions(runtime.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    QStringList kinds{QStringLiteral("silent"), QStringLiteral("silent-later"), QStringLiteral("bare-qt"),
                      QStringLiteral("silent-open")};
    if (args.contains(QStringLiteral("--sound"))) kinds << QStringLiteral("sound");
    auto play = [&](const QString &kind) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::number(pace), QString::number(numbers), QStringLiteral("1"),
                     QStringLiteral("--child"), kind});
        child.waitForFinished(-1);
        const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
        Run r;
        if (out.size() == 5 && out[0] == "game") {
            r.drawn = out[1].toInt();
            r.wall = out[2].toDouble();
            r.cpu = out[3].toDouble();
            r.kernel = out[4].toDouble();
        }
        std::printf("  %-12s %2d numbers: %6.2f s wall, %6.3f s CPU (%.3f s in the kernel), %.3f ms CPU per "
                    "number\n",
                    qPrintable(kind), r.drawn, r.wall, r.cpu, r.kernel,
                    r.drawn ? r.cpu * 1000 / r.drawn : 0.0);
        std::fflush(stdout);
        return r;
    };

    std::printf("%d numbers at %.1f s pace, %d rounds, platform %s\n", numbers, pace, rounds,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData());
    std::map<QString, std::vector<Run>> runs;
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d\n", round + 1);
        for (const QString &kind : kinds)
            runs[kind].push_back(play(kind));
    }
    int status = 0;
    for (const QString &kind : kinds) {
        std::vector<double> perNumber, share, kernel;
        for (const Run &r : runs[kind]) {
            if (r.drawn != numbers || r.wall <= 0) {
                status = 1;
                continue;
            }
            perNumber.push_back(r.cpu * 1000 / r.drawn);
            share.push_back(100 * r.cpu / r.wall);
            kernel.push_back(r.kernel * 1000 / r.drawn);
        }
        if (perNumber.empty()) {
            std::printf("%-12s: every game failed\n", qPrintable(kind));
            continue;
        }
        std::printf("%-12s: %s ms CPU per number (in the kernel %s), %s %% of one core\n", qPrintable(kind),
                    qPrintable(spread(perNumber, "%.3f")), qPrintable(spread(kernel, "%.3f")),
                    qPrintable(spread(share, "%.2f")));
    }
    return status;
}
