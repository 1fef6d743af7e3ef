// Random evenings against a brute-force referee: every prize goes to the cards in play that
// completed it first, a player is counted once, and the draw stops for a winner.
//
// GUI-less: the game, its claims and the prize desk on the fake window. Cards of both dealers are
// printed before and between games; numbers come at random or from the basket, with take-backs;
// claims are typed in the claim panel, cards checked by code, and the watch's winners confirmed
// late, ignored or never answered. After every step the referee evaluates every card from scratch.
//
// TOMBOLA_LADDER_EVENINGS sets how many evenings (default 60); TOMBOLA_LADDER_SEED replays one.

#include "claims/prize_desk.h"
#include "fakes/card_rows.h"
#include "fakes/game_harness.h"
#include "fakes/recording_canvas.h"

#include <QSet>
#include <QTest>
#include <map>
#include <random>

namespace
{

using Key = quint64;
Key keyOf(const CardCode &c)
{
    return (quint64(c.series) << 8) | (quint64(c.place) << 1) | (c.dealer == CardDealer::FullSeries ? 1 : 0);
}

// The first draw at which `result`'s card holds `prize`: a card holding a higher prize holds the
// lower ones too, from that draw on; the tombolino is a second tombola. 0 when it does not.
int holdsAt(const CardResult &result, Prize prize)
{
    if (prize == Prize::Tombolino) return result.moments[std::size_t(Prize::Tombola)].ordinal;
    int first = 0;
    for (int q = int(prize); q <= int(Prize::Tombola); ++q) {
        const int at = result.moments[std::size_t(q)].ordinal;
        if (at > 0 && (first == 0 || at < first)) first = at;
    }
    return first;
}

struct Referee : GameHarness {
    PrizeDesk desk{game, printRun.cardsInPlay()};
    std::mt19937 dice;
    QString fault;
    // The cards that play this game: printed before its first number.
    QList<CardCode> playing;
    std::map<Key, Cartella> cards;
    // The cards the caller passed over, by prize, with the draw at which they were shown.
    std::map<Prize, QSet<Key>> passed;
    std::map<std::pair<Prize, Key>, int> passedAt;
    int steps = 0, confirmations = 0, claimsMade = 0, checks = 0, takeBacks = 0, stops = 0, prizesWon = 0,
        tombolini = 0;
    // Set while a draw runs: the sighting grew after a number and the draw drew another.
    bool drewPastAWinner = false;
    // A random number was drawn while cards that hold a prize waited for the caller.
    int drewWhileWaiting = 0;
    int resumesAsked = 0;
    bool drewPastTheTombola = false;

    explicit Referee(std::uint32_t seed) : GameHarness(seed), dice(seed)
    {
        claims.setPrizeDesk(&desk);
        // Half the evenings play a tombolino after the tombola.
        if (seed % 2) {
            PrizePlan plan;
            plan.cardPrice = 100;
            plan.tombolino = true;
            plan.shares[std::size_t(Prize::Tombola)] = 20;
            plan.shares[std::size_t(Prize::Tombolino)] = 10;
            desk.setPlan(plan);
        }
        printer.make = [] { return std::make_unique<RecordingCanvas>(); };
        QObject::connect(&game, &Game::numberDrawn, [this](int, int ordinal) {
            if (ordinal == 1) playing = printRun.cardsInPlay().codes();
        });
        // A pass stands while the number that showed the card stands.
        QObject::connect(&game, &Game::numberTakenBack, [this] {
            for (auto it = passedAt.begin(); it != passedAt.end();) {
                if (it->second > state().drawnCount()) {
                    passed[it->first.first].remove(it->first.second);
                    it = passedAt.erase(it);
                } else {
                    ++it;
                }
            }
        });
        QObject::connect(&game, &Game::newGameStarted, [this] {
            passed.clear();
            passedAt.clear();
        });
        QObject::connect(&game, &Game::numberChosen, [this](int, int ordinal, bool byHand) {
            if (!byHand && desk.sighting() && drewWhileWaiting == 0) drewWhileWaiting = ordinal;
        });
        // "Riprendi" with a winner waiting asks: Conferma, Ignora or stay stopped, at random.
        dialogs.choice = [this](const QString &, const QStringList &) {
            ++resumesAsked;
            const int answer = roll(3);
            if (const auto seen = desk.sighting(); seen && answer == 1) notePass(*seen);
            if (answer == 0) ++confirmations;
            return answer;
        };
    }

    void notePass(const PrizeDesk::Sighting &seen)
    {
        for (const CardCode &c : seen.codes) {
            passed[seen.prize].insert(keyOf(c));
            passedAt[{seen.prize, keyOf(c)}] = seen.draw;
        }
    }

    int roll(int n) { return int(dice() % std::uint32_t(n)); }

    CardResult resultOf(const CardCode &code) const
    {
        return evaluateCard(cards.at(keyOf(code)), game.drawnNumbers());
    }

    // The earliest draw at which a card that plays and was not passed over holds `prize`.
    int firstCompletion(Prize prize) const
    {
        // The tombolino is for the cards that did not win the tombola.
        QSet<Key> tombola;
        if (prize == Prize::Tombolino)
            for (const PrizeWin &w : desk.ladder().wins())
                if (w.prize == Prize::Tombola && w.who.card) tombola.insert(keyOf(*w.who.card));
        int first = 0;
        for (const CardCode &c : playing) {
            if (passed.count(prize) && passed.at(prize).contains(keyOf(c))) continue;
            if (tombola.contains(keyOf(c))) continue;
            const int at = holdsAt(resultOf(c), prize);
            if (at > 0 && (first == 0 || at < first)) first = at;
        }
        return first;
    }

    void printSome()
    {
        const int count = 1 + roll(12);
        const CardDealer dealer = roll(2) ? CardDealer::FullSeries : CardDealer::Classic;
        const qsizetype before = printRun.cardsInPlay().size();
        printRun.print(count, false, game.isDrawing(), dealer, record(), {});
        const QList<CardCode> &codes = printRun.cardsInPlay().codes();
        for (qsizetype k = before; k < codes.size(); ++k)
            cards.emplace(keyOf(codes[k]), carta_da_codice(codes[k].series, codes[k].place, codes[k].dealer));
    }

    // Draws up to `count` numbers, at random or from the basket. A draw may stop by itself.
    void drawSome(int count)
    {
        if (game.isBasketMode()) {
            for (int k = 0; k < count && state().drawnCount() < 90; ++k)
                game.enterNumber(pool().at(roll(int(pool().size()))));
            return;
        }
        if (state().drawnCount() >= 90) return;
        const int target = std::min(90, int(drawn().size()) + count);
        std::optional<PrizeDesk::Sighting> before = desk.sighting();
        // After the tombola a resume may draw the rest: only a tombola won in this draw stops it.
        const bool over = desk.ladder().playingFor() == Prize::None;
        int winnerAt = 0, tombolaAt = 0;
        clock.onPump = [&](FakeClock::Point p) {
            const int now = int(drawn().size());
            const std::optional<PrizeDesk::Sighting> seen = desk.sighting();
            if (seen && seen != before && winnerAt == 0) winnerAt = now;
            before = seen;
            if (winnerAt > 0 && now > winnerAt) drewPastAWinner = true;
            if (!over && desk.ladder().playingFor() == Prize::None && tombolaAt == 0) tombolaAt = now;
            if (tombolaAt > 0 && now > tombolaAt) drewPastTheTombola = true;
            if (p == FakeClock::Point::Wait && now >= target && !state().sospeso)
                click(Control::cmd_sospendi);
        };
        const int start = int(drawn().size());
        click(view.isEnabled(Control::cmd_estrai) ? Control::cmd_estrai : Control::cmd_sospendi);
        clock.onPump = nullptr;
        if (int(drawn().size()) < target && int(drawn().size()) > start) ++stops;
    }

    // A claim typed in the claim panel: often a row of a card that plays, sometimes any numbers out.
    void claimSome()
    {
        const int prize = roll(4);
        const int size = prize + 2;
        const QList<int> out = game.drawnNumbers();
        QList<int> numbers;
        if (!playing.isEmpty() && roll(3) > 0) {
            const Cartella &card = cards.at(keyOf(playing[roll(int(playing.size()))]));
            for (const int n : cardRow(card, 1 + roll(3)))
                if (out.contains(n) && numbers.size() < size) numbers << n;
        } else {
            QList<int> pickFrom = out;
            while (numbers.size() < size && !pickFrom.isEmpty())
                numbers << pickFrom.takeAt(roll(int(pickFrom.size())));
        }
        if (numbers.size() < size) return;
        ++claimsMade;
        view.setEnabled(Control::cmd_verifica, true);
        if (!view.isVisible(Control::fra_controlli)) click(Control::cmd_verifica);
        clickPrize(prize);
        const int first = claimPrizeInfo(prize).firstBox;
        for (int k = 0; k < numbers.size(); ++k) {
            type(first + k, QString::number(numbers[k]));
            enter(first + k);
        }
    }

    void checkSomeCard()
    {
        if (cards.empty()) return;
        auto it = cards.begin();
        std::advance(it, roll(int(cards.size())));
        for (const CardCode &c : printRun.cardsInPlay().codes()) {
            if (keyOf(c) != it->first) continue;
            ++checks;
            desk.claimByCard(c, evaluateCard(it->second, game.drawnNumbers()));
        }
    }

    void answerTheWatch()
    {
        const auto seen = desk.sighting();
        if (!seen) return;
        if (roll(8) == 0) {
            notePass(*seen);
            desk.ignore();
        } else {
            ++confirmations;
            desk.confirm();
        }
    }

    void step()
    {
        ++steps;
        const int what = roll(100);
        if (what < 40)
            drawSome(1 + roll(4));
        else if (what < 60)
            answerTheWatch();
        else if (what < 70)
            claimSome();
        else if (what < 80)
            checkSomeCard();
        else if (what < 84 && game.isBasketMode()) {
            if (game.takeBackAsked()) ++takeBacks;
        } else if (what < 86)
            desk.setAnnounceAtOnce(!desk.announceAtOnce());
        else if (what < 88 || state().drawnCount() == 90 || desk.ladder().playingFor() == Prize::None) {
            newGame();
        }
        judge();
    }

    void newGame()
    {
        prizesWon += int(desk.ladder().wins().size());
        for (const PrizeWin &w : desk.ladder().wins())
            tombolini += w.prize == Prize::Tombolino ? 1 : 0;
        game.newGame();
        if (roll(2)) printSome();
        game.setBasketMode(roll(4) == 0);
    }

    // Empty when the ladder agrees with the referee.
    void judge()
    {
        if (!fault.isEmpty()) return;
        auto fail = [&](const QString &why) {
            fault =
                QStringLiteral("step %1, %2 numbers out: %3").arg(steps).arg(state().drawnCount()).arg(why);
        };
        if (drewPastAWinner) return fail(QStringLiteral("the draw went on past a number that made a winner"));
        if (drewWhileWaiting)
            return fail(
                QStringLiteral("number %1 drawn while a winner waited for the caller").arg(drewWhileWaiting));
        if (drewPastTheTombola) return fail(QStringLiteral("the draw went on after the tombola"));
        std::map<Prize, QList<PrizeWin>> byPrize;
        for (const PrizeWin &w : desk.ladder().wins())
            byPrize[w.prize] << w;
        for (const auto &[prize, wins] : byPrize) {
            const int draw = wins.first().draw;
            const int first = firstCompletion(prize);
            const QString name = prizeWord(prize);
            if (first > 0 && first < draw)
                return fail(QStringLiteral("%1 won at %2, but a card in play had it at %3")
                                .arg(name)
                                .arg(draw)
                                .arg(first));
            QSet<QString> who;
            QList<Cartella> winnerCards;
            for (const PrizeWin &w : wins) {
                if (w.draw != draw) return fail(name + QStringLiteral(" won at two draws"));
                if (who.contains(w.name()))
                    return fail(name + QStringLiteral(" counts ") + w.name() + QStringLiteral(" twice"));
                who.insert(w.name());
                const CodeReading reading = parseCardCode(w.name());
                if (reading.error != CodeError::None) continue;
                const Key key = keyOf(reading.code);
                bool plays = false;
                for (const CardCode &c : playing)
                    plays = plays || keyOf(c) == key;
                if (!plays) return fail(name + QStringLiteral(" to a card that does not play: ") + w.name());
                if (passed.count(prize) && passed.at(prize).contains(key))
                    return fail(name + QStringLiteral(" to a card passed over: ") + w.name());
                const int at = holdsAt(resultOf(reading.code), prize);
                if (at != draw)
                    return fail(QStringLiteral("%1 at %2 to %3, which had it at %4")
                                    .arg(name)
                                    .arg(draw)
                                    .arg(w.name())
                                    .arg(at));
                winnerCards << cards.at(key);
                if (prize == Prize::Tombolino)
                    for (const PrizeWin &t : desk.ladder().wins())
                        if (t.prize == Prize::Tombola && t.who.card && keyOf(*t.who.card) == key)
                            return fail(QStringLiteral("one card wins the tombola and the tombolino: ") +
                                        w.name());
            }
            // A claim of numbers that stand in one row of a winning card is that card's player.
            for (const PrizeWin &w : wins) {
                if (!w.name().startsWith(QStringLiteral("numeri "))) continue;
                QList<int> numbers;
                for (const QString &n : w.name().mid(7).split(QLatin1Char(' ')))
                    numbers << n.toInt();
                for (const Cartella &card : winnerCards)
                    for (int r = 1; r <= 3; ++r) {
                        const QList<int> row = cardRow(card, r);
                        if (std::all_of(numbers.begin(), numbers.end(),
                                        [&](int n) { return row.contains(n); }))
                            return fail(name + QStringLiteral(" counts one player twice: ") + w.name());
                    }
            }
        }
        if (!invariantFault().isEmpty()) return fail(invariantFault());
    }
};

} // namespace

class TestFirstCompletion : public QObject
{
    Q_OBJECT

private slots:
    void eachPrizeGoesToItsFirstCompleters();
};

void TestFirstCompletion::eachPrizeGoesToItsFirstCompleters()
{
    const int evenings = qEnvironmentVariableIsSet("TOMBOLA_LADDER_EVENINGS")
                             ? qEnvironmentVariableIntValue("TOMBOLA_LADDER_EVENINGS")
                             : 60;
    const bool one = qEnvironmentVariableIsSet("TOMBOLA_LADDER_SEED");
    long steps = 0, confirmations = 0, claims = 0, checks = 0, takeBacks = 0, stops = 0, prizes = 0,
         tombolini = 0, resumesAsked = 0;
    for (int e = 0; e < (one ? 1 : evenings); ++e) {
        const std::uint32_t seed = one ? std::uint32_t(qEnvironmentVariableIntValue("TOMBOLA_LADDER_SEED"))
                                       : std::uint32_t(1000 + e);
        Referee r(seed);
        r.printSome();
        r.printSome();
        for (int k = 0; k < 600 && r.fault.isEmpty(); ++k)
            r.step();
        if (!r.fault.isEmpty()) QFAIL(qPrintable(QStringLiteral("seed %1: ").arg(seed) + r.fault));
        steps += r.steps;
        confirmations += r.confirmations;
        claims += r.claimsMade;
        checks += r.checks;
        takeBacks += r.takeBacks;
        stops += r.stops;
        prizes += r.prizesWon + r.desk.ladder().wins().size();
        tombolini += r.tombolini;
        resumesAsked += r.resumesAsked;
    }
    qInfo("%ld steps: %ld winners, %ld confirmations, %ld claims, %ld cards checked, %ld numbers taken "
          "back, %ld stops for a winner, %ld tombolini, %ld resumes asked about a waiting winner",
          steps, prizes, confirmations, claims, checks, takeBacks, stops, tombolini, resumesAsked);
}

QTEST_GUILESS_MAIN(TestFirstCompletion)
#include "test_first_completion.moc"
