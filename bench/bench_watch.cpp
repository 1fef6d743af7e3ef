// The winner watch after each number: what the prize desk costs the draw with 300 cards in play,
// and a full evaluation of every card for comparison. Prints figures, asserts nothing.
// Usage: bench_watch [games] [cards]

#include "claims/prize_desk.h"
#include "fakes/game_harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

struct Figures {
    double median, p99, worst;
};

Figures figures(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    auto at = [&us](double q) { return us[std::min(us.size() - 1, std::size_t(q * double(us.size())))]; };
    return {at(0.5), at(0.99), us.back()};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int games = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int cards = argc > 2 ? std::max(6, atoi(argv[2])) : 300;

    GameHarness h(7, false);
    QElapsedTimer timer;
    std::vector<double> desk, full;
    // Connected around the desk's own connection, so the interval is the desk's work alone.
    QObject::connect(&h.game, &Game::numberDrawn, [&timer] { timer.start(); });
    PrizeDesk prizeDesk(h.game, h.printRun.cardsInPlay());
    QObject::connect(&h.game, &Game::numberDrawn, [&] {
        desk.push_back(double(timer.nsecsElapsed()) / 1000.0);
        // The caller confirms each winner, so the ladder climbs as in a real game (not timed).
        if (prizeDesk.sighting()) prizeDesk.confirm();
    });
    h.game.load();
    QElapsedTimer printing;
    printing.start();
    for (int k = 0; k < cards; ++k)
        h.printRun.cardsInPlay().add(CardCode{quint32(1000 + k / 6), k % 6 + 1,
                                              (k / 6) % 2 ? CardDealer::FullSeries : CardDealer::Classic});
    const double building = double(printing.nsecsElapsed()) / 1000.0;
    QList<Cartella> dealt;
    for (const CardCode &code : h.printRun.cardsInPlay().codes())
        dealt << carta_da_codice(code.series, code.place, code.dealer);

    long prizesWon = 0, heldSomething = 0;
    for (int g = 0; g < games; ++g) {
        h.game.newGame();
        h.click(Control::cmd_estrai);
        // The draw stops for each winner; the caller has confirmed and goes on.
        while (h.state().drawnCount() < 90 && h.click(Control::cmd_sospendi)) {
        }
        prizesWon += prizeDesk.ladder().wins().size();
        // The same cards evaluated whole after each number, as the card check does one card.
        const QList<int> order = h.game.drawnNumbers();
        for (qsizetype n = 1; n <= order.size(); ++n) {
            const QList<int> sofar = order.mid(0, n);
            QElapsedTimer t;
            t.start();
            int holding = 0;
            for (const Cartella &c : std::as_const(dealt))
                holding += evaluateCard(c, sofar).best != Prize::None ? 1 : 0;
            full.push_back(double(t.nsecsElapsed()) / 1000.0);
            heldSomething += holding;
        }
    }
    const Figures d = figures(desk), f = figures(full);
    std::printf("cards in play: %d, games: %d, numbers: %zu, prizes won: %ld\n", cards, games, desk.size(),
                prizesWon);
    std::printf("watch per number (the desk's whole reaction): median %.1f us, p99 %.1f us, worst %.1f us\n",
                d.median, d.p99, d.worst);
    std::printf("cards built from their codes as they were printed: %.1f us in all\n", building);
    std::printf(
        "every card evaluated whole per number, for comparison: median %.1f us, p99 %.1f us, worst %.1f us\n",
        f.median, f.p99, f.worst);
    std::printf("(cards holding a prize, summed over the numbers: %ld)\n", heldSomething);
    return 0;
}
