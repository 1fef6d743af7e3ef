// What the audience screen costs the game: a game played through the real window with the real
// clock and silent sound, with the screen closed and open full screen on a second offscreen display
// of 1920x1080 and of 3840x2160. Each game runs in a child process of its own; the three kinds
// take turns, so a load on the machine falls on all of them alike. Prints every game, then per
// size the extra CPU per drawn number and how much longer the game took, median and spread.
//   bench_audience [pace-seconds] [numbers] [rounds]
// Asserts nothing.

#include "bench_support.h"
#include "game/std_random.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/faces.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace
{
class Silence : public SoundPort
{
public:
    void play(const QString &, const QString &) override {}
    void shutdown() override {}
};

// One game in this process; prints "game <drawn> <wall s> <cpu s> <screen size or closed>".
int playOne(int paceMs, int numbers, bool open)
{
    QtClock clock;
    Silence sound;
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    Form1 &form = caller.form;
    Game &game = caller.game;
    AudienceController audience(form, game);
    form.Form_Load();
    form.HScroll1->setValue(paceMs);
    QString shown = QStringLiteral("closed");
    if (open) {
        form.setScreen(QGuiApplication::screens().constFirst());
        audience.open();
        // Let the screen reach its full size and paint once before the clock starts.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const QSize size = audience.screen()->size();
        shown = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    }
    QObject::connect(&game, &Game::updated, &form, [&] {
        if (game.state().drawnCount() >= numbers && game.isDrawing()) game.bigNumberGesture(2, 0.0f);
    });
    QTimer::singleShot(0, &form, [&] {
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        form.cmd_estrai->click();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        std::printf("game %d %.4f %.4f %s\n", game.state().drawnCount(), seconds, cpuSeconds() - cpu0,
                    qPrintable(shown));
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

struct Run {
    int drawn = 0;
    double wall = 0;
    double cpu = 0;
    QString shown;
};

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const double pace = args.size() > 1 ? args[1].toDouble() : 0.1;
    const int numbers = args.size() > 2 ? args[2].toInt() : 90;
    const int rounds = args.size() > 3 ? args[3].toInt() : 3;

    if (args.size() > 4 && args[4] == QStringLiteral("--child")) {
        // As main.cpp does.
        QApplication app(argc, argv);
        installFaceSubstitutes();
        return playOne(int(pace * 1000), numbers, args.size() > 5 && args[5] == QStringLiteral("open"));
    }

    QCoreApplication app(argc, argv);
    const QList<QSize> sizes{QSize(1920, 1080), QSize(3840, 2160)};
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    // The caller's window on a small first display, the room's on the second.
    auto screensFile = [&](const QSize &tv) {
        const QString path = dir.filePath(QStringLiteral("%1x%2.json").arg(tv.width()).arg(tv.height()));
        const QJsonArray screens{
            QJsonObject{{"name", "banco"}, {"x", 0}, {"y", 0}, {"width", 1280}, {"height", 1024}},
            QJsonObject{
                {"name", "tv"}, {"x", 1280}, {"y", 0}, {"width", tv.width()}, {"height", tv.height()}}};
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(QJsonDocument(QJsonObject{{"screens", screens}}).toJson());
        return path;
    };
    auto play = [&](const QSize &tv, bool open) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   QStringLiteral("offscreen:configfile=") + screensFile(tv));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::number(pace), QString::number(numbers), QStringLiteral("1"),
                     QStringLiteral("--child"), open ? QStringLiteral("open") : QStringLiteral("closed")});
        child.waitForFinished(-1);
        const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
        Run r;
        if (out.size() == 5 && out[0] == "game") {
            r.drawn = out[1].toInt();
            r.wall = out[2].toDouble();
            r.cpu = out[3].toDouble();
            r.shown = QString::fromUtf8(out[4]);
        }
        std::printf("  %-10s %2d numbers: %6.2f s wall, %6.3f s CPU\n", qPrintable(r.shown), r.drawn, r.wall,
                    r.cpu);
        std::fflush(stdout);
        return r;
    };

    std::printf("%d numbers at %.1f s pace, %d rounds\n", numbers, pace, rounds);
    std::vector<Run> closed;
    std::map<int, std::vector<Run>> opened;
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d\n", round + 1);
        closed.push_back(play(sizes[0], false));
        for (int k = 0; k < sizes.size(); ++k)
            opened[k].push_back(play(sizes[k], true));
    }

    for (const Run &r : closed)
        if (r.drawn != numbers) return std::printf("a game with the screen closed failed\n"), 1;
    std::vector<double> closedWall, closedCpu;
    for (const Run &r : closed) {
        closedWall.push_back(r.wall);
        closedCpu.push_back(r.cpu);
    }
    std::printf("screen closed: %s s wall, %s ms CPU per number\n", qPrintable(spread(closedWall, "%.2f")),
                qPrintable(spread(
                    [&] {
                        std::vector<double> v;
                        for (double c : closedCpu)
                            v.push_back(c * 1000 / numbers);
                        return v;
                    }(),
                    "%.2f")));
    int status = 0;
    for (int k = 0; k < sizes.size(); ++k) {
        // Each open game against the closed game of its own round.
        std::vector<double> extraMs, longer;
        for (int round = 0; round < rounds; ++round) {
            const Run &o = opened[k][std::size_t(round)];
            if (o.drawn != numbers) status = 1;
            extraMs.push_back((o.cpu - closed[std::size_t(round)].cpu) * 1000 / numbers);
            longer.push_back(100 * (o.wall / closed[std::size_t(round)].wall - 1));
        }
        std::printf("screen open at %dx%d: extra CPU per drawn number %s ms; game longer by %s %%\n",
                    sizes[k].width(), sizes[k].height(), qPrintable(spread(extraMs, "%.2f")),
                    qPrintable(spread(longer, "%.1f")));
    }
    return status;
}
