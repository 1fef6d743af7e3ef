// The evening's record: what one event costs to commit to the disk, and how long a start takes to
// the resumed window for an evening of 5,000 cards and 10 games. Prints figures, asserts nothing.
//   bench_evening [commits] [cards] [games]
// The files go to a temporary folder; run it where the user's data folder would be (the same disk).

#include "bench_support.h"
#include "evening/evening_record.h"
#include "game/std_random.h"
#include "ui/caller.h"
#include "ui/faces.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
double at(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

// An evening of `cards` cards printed in runs of 500 and `games` games played to the tombola, with
// their prizes and log, written straight to the store.
void fillEvening(EveningStore &store, int cards, int games)
{
    const QDateTime start = QDateTime::currentDateTime().addSecs(-4 * 3600);
    const qint64 id = store.beginEvening(start);
    int number = 1;
    for (int run = 0; number <= cards; ++run) {
        StoredRun r;
        r.at = start.addSecs(run * 60);
        r.destination = QStringLiteral("PDF");
        r.dealer = CardDealer::FullSeries;
        for (int k = 0; k < 500 && number <= cards; ++k, ++number) {
            const CardCode code{quint32(100000 + (number - 1) / 6), (number - 1) % 6 + 1,
                                CardDealer::FullSeries};
            r.cards << CardInPlay{code, number, carta_da_codice(code.series, code.place, code.dealer)};
        }
        store.addRun(id, r);
    }
    std::vector<int> order(90);
    for (int g = 1; g <= games; ++g) {
        store.addGame(id, g, start.addSecs(3600 + g * 600));
        for (int k = 0; k < 90; ++k)
            order[std::size_t(k)] = (k * 37 + g * 11) % 90 + 1;
        for (int k = 0; k < 90; ++k)
            store.addNumber(
                id, g, StoredNumber{k + 1, order[std::size_t(k)], start.addSecs(3600 + g * 600 + k), false});
        QList<PrizeWin> wins;
        for (const Prize p : ladderOrder)
            wins << PrizeWin{p, 10 + int(p) * 8, Confirmation::Watch,
                             Claimant{CardCode{quint32(100000 + g), int(p), CardDealer::FullSeries},
                                      {},
                                      Confirmation::Watch},
                             false};
        store.setWins(id, g, wins, {});
        for (int k = 0; k < 20; ++k)
            store.addLog(id,
                         PrizeDesk::Event{g, k, QStringLiteral("Vincita trovata: riga di prova %1").arg(k),
                                          start, false});
    }
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFaceSubstitutes();
    const int commits = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    const int cards = argc > 2 ? std::max(6, atoi(argv[2])) : 5000;
    const int games = argc > 3 ? std::max(1, atoi(argv[3])) : 10;
    QTemporaryDir dir;

    // One event committed: a number of a game, as the draw writes it before showing it.
    {
        EveningStore store;
        QString notice;
        store.open(dir.filePath(QStringLiteral("commits.sqlite")), &notice);
        const qint64 id = store.beginEvening(QDateTime::currentDateTime());
        std::vector<double> ms;
        QElapsedTimer t;
        for (int k = 0; k < commits; ++k) {
            const int game = k / 90 + 1;
            t.start();
            store.addNumber(id, game,
                            StoredNumber{k % 90 + 1, k % 90 + 1, QDateTime::currentDateTime(), false});
            ms.push_back(double(t.nsecsElapsed()) * 1e-6);
        }
        std::printf("one event committed (WAL, synchronous=FULL), %d commits: median %.2f ms, p99 %.2f ms, "
                    "worst %.2f ms%s\n",
                    commits, at(ms, 0.5), at(ms, 0.99), at(ms, 1.0), store.isKept() ? "" : " (NOT KEPT)");
    }

    // A start to the resumed window.
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    {
        EveningStore store;
        QString notice;
        store.open(path, &notice);
        fillEvening(store, cards, games);
    }
    QElapsedTimer sinceStart;
    sinceStart.start();
    QtClock clock;
    SilentSound sound;
    StdRandom random;
    QtDialogs dialogs;
    NoPrinter printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    caller.form.Form_Load();
    const double shown = double(sinceStart.nsecsElapsed()) * 1e-6;
    QElapsedTimer evening;
    evening.start();
    EveningStore store;
    QString notice;
    store.open(path, &notice);
    const double opened = double(evening.nsecsElapsed()) * 1e-6;
    EveningRecord record(store, caller.game, caller.printRun, caller.prizes);
    const auto left = record.unfinished();
    const double loaded = double(evening.nsecsElapsed()) * 1e-6;
    if (left) record.resume(*left);
    QCoreApplication::processEvents();
    caller.form.repaint();
    const double resumed = double(evening.nsecsElapsed()) * 1e-6;
    if (!notice.isEmpty()) std::printf("the store said: %s\n", qPrintable(notice));
    std::printf(
        "an evening of %d cards and %d games: window shown %.1f ms after the start; then the file opened "
        "and checked in %.1f ms, the evening read in %.1f ms, and the window resumed %.1f ms after the "
        "file was opened (%.1f ms from the start)\n",
        int(caller.printRun.cardsInPlay().size()), int(left ? left->games.size() : 0), shown, opened,
        loaded - opened, resumed, shown + resumed);
    return 0;
}
