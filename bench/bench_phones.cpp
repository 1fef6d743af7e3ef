// What hundreds of phones cost a game at the fastest pace: the program wired as main.cpp wires it
// (the window, the evening's record, the phones' relay and its server in a thread of its own), the
// real clock, silent sound, and the phones as WebSocket clients in a child process of their own
// (phone_crowd.h), so the program's CPU is measured apart from theirs. Each game runs in a child process, the
// kinds in turns: "off" (the phones switched off, as at start-up) and "on" (switched on, every client
// connected before the first number). Prints for each game whether every client got every number
// once and in order, the delay from the draw (Game::numberDrawn) to the last client having the
// number, the CPU per number and the game's length; then the medians. Asserts nothing.
//   bench_phones [clients] [rounds] [pace-seconds]
// The pieces alone: bench_phones CLIENTS 1 PACE --child off|on, and bench_phones --clients PORT
// TOKEN COUNT (the phones; it prints "ready" once all have the state, then reads the draw's times on
// its input), and bench_phones --floor COUNT (the kernel's own price of one send to each phone, which
// is also printed after the aims: what no server can go under on this machine).

#include "bench_support.h"
#include "evening/evening_record.h"
#include "game/std_random.h"
#include "phone_crowd.h"
#include "phones/phone_relay.h"
#include "send_floor.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/card_check_dialog.h"
#include "ui/evening_ui.h"
#include "ui/faces.h"
#include "ui/phones_ui.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace
{
// The CPU time of this process's thread named `name` (the phones' server: "telefoni"), from the
// scheduler's own count in nanoseconds; 0 when there is none.
double threadSeconds(const QByteArray &name)
{
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/schedstat").arg(task));
        if (!stat.open(QIODevice::ReadOnly)) return 0;
        return stat.readAll().split(' ').value(0).toDouble() * 1e-9;
    }
    return 0;
}

// One game in this process; prints "game <drawn> <wall s> <cpu s> <server thread cpu s>" and, with
// the phones on, their line.

int playOne(int paceMs, bool on, int clients)
{
    QtClock clock;
    SilentSound sound;
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    dialogs.setParent(&caller.form);
    Form1 &form = caller.form;
    Game &game = caller.game;
    // Before the relay's own, so the time is the draw's.
    std::vector<std::pair<int, qint64>> drawn;
    QObject::connect(&game, &Game::numberDrawn, &form,
                     [&drawn](int n, int) { drawn.emplace_back(n, monotonicNs()); });
    installCardCheck(form, game, game.ports().sound, caller.printRun.cardsInPlay(), &caller.prizes);
    applyAccessibility(form, game, caller.claims);
    AudienceController audience(form, game);
    showPrizesOnAudienceScreen(caller.prizes, audience);
    EveningStore store;
    QString storeNotice;
    store.open(EveningStore::defaultPath(), &storeNotice);
    EveningRecord evening(store, game, caller.printRun, caller.prizes);
    installEvening(caller, evening, printer);
    PhoneRelay phones(game, caller.prizes, caller.printRun, evening);
    PhonesPanel phonesPanel(form, game, phones, audience);
    form.Form_Load();
    startEvening(caller, evening, storeNotice);
    form.HScroll1->setValue(paceMs);

    QProcess clientsProcess;
    clientsProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (on) {
        phones.limits().perAddress = clients + 10;
        phones.limits().connections = clients + 50;
        if (!phones.switchOn()) return 1;
        clientsProcess.start(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--clients"), QString::number(phones.port()),
                              QString::fromLatin1(phones.token()), QString::number(clients)});
        QElapsedTimer wait;
        wait.start();
        while (!clientsProcess.canReadLine() && wait.elapsed() < 120000 &&
               clientsProcess.state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const QByteArray ready = clientsProcess.readLine().trimmed();
        if (ready != "ready " + QByteArray::number(clients)) {
            std::printf("phones not ready: %s\n", ready.constData());
            return 1;
        }
    }
    // Start-up is over and the window has painted once.
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    QTimer::singleShot(0, &form, [&] {
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        const double server0 = threadSeconds("telefoni");
        form.cmd_estrai->click();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        const double cpu = cpuSeconds() - cpu0;
        const double server = threadSeconds("telefoni") - server0;
        QByteArray report;
        for (std::size_t k = 0; k < drawn.size(); ++k)
            report += QStringLiteral("drawn %1 %2 %3\n")
                          .arg(k + 1)
                          .arg(drawn[k].first)
                          .arg(drawn[k].second)
                          .toLatin1();
        std::printf("game %d %.4f %.4f %.4f\n", game.state().drawnCount(), seconds, cpu, server);
        if (on) {
            clientsProcess.write(report + "end\n");
            clientsProcess.waitForBytesWritten(5000);
            clientsProcess.waitForFinished(60000);
            std::printf("%s\n", clientsProcess.readAll().trimmed().constData());
        }
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

struct Run {
    int drawn = 0;
    double wall = 0;
    double cpu = 0;
    double server = 0;
    QList<QByteArray>
        phones; // the phones' line: clients failures numbers p50 p99 max arrival-p50 arrival-p99
};
// A number's frame is some 90 bytes ("numero", the number, its place, its words, its meaning).
constexpr int kNumberFrameBytes = 96;

void printFloor(int phones)
{
    std::vector<double> rounds;
    for (int i = 0; i < 5; ++i)
        if (const double ms = sendFloorMs(phones, kNumberFrameBytes, 30); ms >= 0) rounds.push_back(ms);
    if (rounds.empty()) {
        std::printf("floor: %d loopback connections could not be made\n", phones);
        return;
    }
    const auto [lo, hi] = std::minmax_element(rounds.begin(), rounds.end());
    std::printf("floor: one send() of %d bytes to each of %d loopback sockets, readers in another process, "
                "nothing else: %.2f ms of CPU (%.2f to %.2f over %d runs of 30), %.2f us a socket\n",
                kNumberFrameBytes, phones, median(rounds), *lo, *hi, int(rounds.size()),
                median(rounds) * 1000 / phones);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() == 5 && args[1] == QStringLiteral("--clients")) {
        QCoreApplication app(argc, argv);
        return runPhoneCrowd(quint16(args[2].toUInt()), args[3].toLatin1(), args[4].toInt());
    }
    if (args.size() == 3 && args[1] == QStringLiteral("--floor")) {
        printFloor(std::max(1, args[2].toInt()));
        return 0;
    }
    const int clients = args.size() > 1 ? std::max(1, args[1].toInt()) : 500;
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 3;
    const double pace = args.size() > 3 ? args[3].toDouble() : 0.1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (args.size() > 5 && args[4] == QStringLiteral("--child")) {
        // The evening's record in a folder of its own, gone with the game.
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        QApplication app(argc, argv);
        installFaceSubstitutes();
        return playOne(int(pace * 1000), args[5] == QStringLiteral("on"), clients);
    }

    QCoreApplication app(argc, argv);
    auto play = [&](const QString &kind) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::number(clients), QStringLiteral("1"), QString::number(pace),
                     QStringLiteral("--child"), kind});
        child.waitForFinished(-1);
        Run r;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> w = line.trimmed().split(' ');
            if (w.size() == 5 && w[0] == "game") {
                r.drawn = w[1].toInt();
                r.wall = w[2].toDouble();
                r.cpu = w[3].toDouble();
                r.server = w[4].toDouble();
            } else if (w.size() == 9 && w[0] == "phones") {
                r.phones = w.mid(1);
            } else if (!line.trimmed().isEmpty()) {
                std::printf("  (%s) %s\n", qPrintable(kind), line.constData());
            }
        }
        std::printf("  %-3s %2d numbers: %6.2f s, %6.3f s CPU (server thread %.3f s), %.3f ms CPU per number",
                    qPrintable(kind), r.drawn, r.wall, r.cpu, r.server,
                    r.drawn ? r.cpu * 1000 / r.drawn : 0.0);
        if (r.phones.size() == 8)
            std::printf("; %s phones, %s failed; draw to last phone %s ms median, %s ms p99, %s ms worst; "
                        "any phone %s ms median, %s ms p99",
                        r.phones[0].constData(), r.phones[1].constData(), r.phones[3].constData(),
                        r.phones[4].constData(), r.phones[5].constData(), r.phones[6].constData(),
                        r.phones[7].constData());
        std::printf("\n");
        std::fflush(stdout);
        return r;
    };

    std::printf("%d phones, 90 numbers at %.1f s pace, %d rounds, platform %s\n", clients, pace, rounds,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData());
    std::map<QString, std::vector<Run>> runs;
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d\n", round + 1);
        for (const QString &kind : {QStringLiteral("off"), QStringLiteral("on")})
            runs[kind].push_back(play(kind));
    }
    std::vector<double> extra, longer, p50, p99, failed;
    for (int round = 0; round < rounds; ++round) {
        const Run &off = runs[QStringLiteral("off")][std::size_t(round)];
        const Run &on = runs[QStringLiteral("on")][std::size_t(round)];
        if (off.drawn == 0 || on.drawn == 0 || on.phones.size() != 8) continue;
        extra.push_back(on.cpu * 1000 / on.drawn - off.cpu * 1000 / off.drawn);
        longer.push_back(100 * (on.wall / off.wall - 1));
        failed.push_back(on.phones[1].toDouble());
        p50.push_back(on.phones[3].toDouble());
        p99.push_back(on.phones[4].toDouble());
    }
    if (extra.empty()) {
        std::printf("every round failed\n");
        return 1;
    }
    auto range = [](const std::vector<double> &v, const char *f) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return QString::asprintf(f, median(v)) + QStringLiteral(" (") + QString::asprintf(f, *lo) +
               QStringLiteral(" to ") + QString::asprintf(f, *hi) + QLatin1Char(')');
    };
    std::printf("median (lowest to highest) over %d rounds:\n", int(extra.size()));
    std::printf("  phones that missed a number or got one out of order: %s\n",
                qPrintable(range(failed, "%.0f")));
    std::printf("  draw to the last phone: median %s ms, 99th percentile %s ms\n",
                qPrintable(range(p50, "%.1f")), qPrintable(range(p99, "%.1f")));
    std::printf("  extra CPU per number with the phones on: %s ms\n", qPrintable(range(extra, "%.2f")));
    std::printf("  game longer by: %s %%\n", qPrintable(range(longer, "%.1f")));
    // The aims, for the medians: 2 ms of extra CPU and 50 ms to the last phone at the 99th
    // percentile for each thousand phones, every phone with every number once and in order, and
    // the game no longer than with the phones off (within 1 %, the noise of its length).
    const double cpuAim = 2.0 * clients / 1000, p99Aim = 50.0 * clients / 1000;
    auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
    std::printf(
        "aims at %d phones: extra CPU per number under %.1f ms: %s; 99th percentile under %.0f ms: %s; "
        "every phone every number once and in order: %s; the game no longer (within 1 %%): %s\n",
        clients, cpuAim, verdict(median(extra) < cpuAim), p99Aim, verdict(median(p99) < p99Aim),
        verdict(*std::max_element(failed.begin(), failed.end()) == 0), verdict(median(longer) <= 1.0));
    printFloor(clients);
    return 0;
}
