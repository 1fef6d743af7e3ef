// The ladder of prizes, the winner watch over tonight's cards and the desk that joins them to the
// game: GUI-less, on a fake window.

#include "claims/draw_words.h"
#include "claims/prize_desk.h"
#include "fakes/card_rows.h"
#include "fakes/game_harness.h"
#include "fakes/recording_canvas.h"

#include <QSignalSpy>
#include <QTest>
#include <map>
#include <random>

namespace
{

PrizeMoments at(std::initializer_list<std::pair<Prize, int>> moments)
{
    PrizeMoments m{};
    for (const auto &[p, draw] : moments)
        m[std::size_t(p)] = draw;
    return m;
}

// The ladder alone, with claimants named by a letter and the cards in play reduced to the earliest
// draw at which one completed each prize.
struct TestLadder : PrizeLadder {
    QStringList names;
    std::map<Prize, int> first;
    QSet<QString> passed;

    Award award(Prize claimed, const PrizeMoments &at, Confirmation how, const QString &name)
    {
        if (!names.contains(name)) names << name;
        const Claimant who{std::nullopt, {int(names.indexOf(name)) + 1}, how};
        Cards cards;
        cards.firstCompletion = [this](Prize p) { return first.count(p) ? first.at(p) : 0; };
        cards.passedOver = [this, name](Prize) { return passed.contains(name); };
        cards.match = [who](const PrizeWin &w) {
            return w.who.numbers == who.numbers ? Match::Same : Match::Other;
        };
        return PrizeLadder::award(claimed, at, who, cards);
    }
    QString nameOf(const PrizeWin &w) const { return names.at(w.who.numbers.first() - 1); }
};

// The game and its claims with the ladder behind them, as the program wires them.
struct DeskHarness : GameHarness {
    PrizeDesk desk{game, printRun.cardsInPlay()};
    DeskHarness() { claims.setPrizeDesk(&desk); }

    // A claim typed in the claim panel for prize `prize` (0 ambo .. 3 cinquina).
    QString claim(int prize, const QList<int> &numbers)
    {
        view.setEnabled(Control::cmd_verifica, true);
        if (!view.isVisible(Control::fra_controlli)) click(Control::cmd_verifica);
        clickPrize(prize);
        const int first = claimPrizeInfo(prize).firstBox;
        for (int k = 0; k < numbers.size(); ++k) {
            type(first + k, QString::number(numbers[k]));
            enter(first + k);
        }
        return claims.verdict();
    }
};

} // namespace

class TestPrizeLadder : public QObject
{
    Q_OBJECT

private slots:
    void prizesAreWonOnceAndInOrder();
    void claimsOnTheSameNumberShareAPrize();
    void aNewGameOrATakeBackOpensPrizesAgain();
    void theWatchAgreesWithTheCardCheckAfterEveryNumber();
    void aWatchedWinnerWaitsForTheCaller();
    void aWatchedWinnerCanGoToTheRoomAtOnce();
    void aClaimForAPrizeAlreadyWonHasNoFanfare();
    void cardsCheckedByCodeMoveTheLadder();
    void aLateConfirmationGivesEachPrizeToItsFirstCard();
    void onePlayerIsOneWinner();
    void aClaimBeatenToItsPrizeCelebratesTheLowerOneItWon();
    void theDrawStopsForAWinnerAndAfterTheTombola();
    void aResumeWhileAWinnerWaitsNeverTurnsTheWatchOff();
    void aPhonesCallWaitsForTheCallerLikeAnyWinner();
};

void TestPrizeLadder::prizesAreWonOnceAndInOrder()
{
    TestLadder ladder;
    QCOMPARE(ladder.playingFor(), Prize::Ambo);
    const Award ambo = ladder.award(Prize::Ambo, at({{Prize::Ambo, 4}}), Confirmation::Claim, "numeri 1 2");
    QCOMPARE(ambo.kind, Award::Won);
    QCOMPARE(ambo.draw, 4);
    QCOMPARE(ladder.playingFor(), Prize::Terno);

    // An ambo on a later number is no prize any more.
    const Award late = ladder.award(Prize::Ambo, at({{Prize::Ambo, 6}}), Confirmation::Claim, "numeri 3 5");
    QCOMPARE(late.kind, Award::AlreadyWon);
    QCOMPARE(late.draw, 4);
    QCOMPARE(ladder.playingFor(), Prize::Terno);

    // A card with a cinquina while the terno is in play: it holds a terno and a quaterno too, each
    // won at the draw it came.
    const Award cinquina =
        ladder.award(Prize::Cinquina,
                     at({{Prize::Ambo, 3}, {Prize::Terno, 9}, {Prize::Quaterno, 12}, {Prize::Cinquina, 20}}),
                     Confirmation::CardCode, "ABCDE-1 X");
    QCOMPARE(cinquina.kind, Award::Won);
    QCOMPARE(cinquina.prize, Prize::Cinquina);
    QCOMPARE(ladder.wonAt(Prize::Terno), 9);
    QCOMPARE(ladder.wonAt(Prize::Quaterno), 12);
    QCOMPARE(ladder.wonAt(Prize::Cinquina), 20);
    QCOMPARE(ladder.wonAt(Prize::Ambo), 4); // its ambo came earlier, but the ambo was already won
    QCOMPARE(ladder.playingFor(), Prize::Tombola);
    QCOMPARE(ladder.wins().size(), 4);

    QCOMPARE(ladder.award(Prize::Tombola, at({{Prize::Tombola, 60}}), Confirmation::Watch, "X").kind,
             Award::Won);
    QCOMPARE(ladder.playingFor(), Prize::None);
    QCOMPARE(ladder.award(Prize::Tombola, at({{Prize::Tombola, 61}}), Confirmation::Watch, "Y").kind,
             Award::AlreadyWon);
    QCOMPARE(ladder.award(Prize::None, {}, Confirmation::Claim, "Z").kind, Award::NoPrize);
    QCOMPARE(ladder.wins().size(), 5);
}

void TestPrizeLadder::claimsOnTheSameNumberShareAPrize()
{
    TestLadder ladder;
    QCOMPARE(
        ladder.award(Prize::Terno, at({{Prize::Ambo, 5}, {Prize::Terno, 8}}), Confirmation::Watch, "A").kind,
        Award::Won);
    QCOMPARE(ladder.wonAt(Prize::Ambo), 5);

    // Another card with its terno on the same number shares it, and the ambo too when that came
    // on the same number as well.
    const Award b =
        ladder.award(Prize::Terno, at({{Prize::Ambo, 5}, {Prize::Terno, 8}}), Confirmation::Watch, "B");
    QCOMPARE(b.kind, Award::Shared);
    QCOMPARE(b.prize, Prize::Terno);
    const Award c =
        ladder.award(Prize::Terno, at({{Prize::Ambo, 2}, {Prize::Terno, 8}}), Confirmation::Claim, "C");
    QCOMPARE(c.kind, Award::Shared);
    const Award d = ladder.award(Prize::Ambo, at({{Prize::Ambo, 5}}), Confirmation::Claim, "D");
    QCOMPARE(d.kind, Award::Shared);
    QCOMPARE(d.prize, Prize::Ambo);
    // The same card again holds nothing new; a card one number late has nothing.
    QCOMPARE(
        ladder.award(Prize::Terno, at({{Prize::Ambo, 5}, {Prize::Terno, 8}}), Confirmation::CardCode, "A")
            .kind,
        Award::AlreadyCounted);
    QCOMPARE(
        ladder.award(Prize::Terno, at({{Prize::Ambo, 6}, {Prize::Terno, 9}}), Confirmation::Claim, "E").kind,
        Award::AlreadyWon);

    QList<QString> ambo, terno;
    for (const PrizeWin &w : ladder.wins()) {
        (w.prize == Prize::Ambo ? ambo : terno) << ladder.nameOf(w);
        QCOMPARE(w.draw, w.prize == Prize::Ambo ? 5 : 8);
        QCOMPARE(w.shared, ladder.nameOf(w) != QLatin1String("A"));
    }
    QCOMPARE(ambo, QList<QString>({"A", "B", "D"}));
    QCOMPARE(terno, QList<QString>({"A", "B", "C"}));
    // A claim holding more than the prize in play wins it and shares nothing it does not hold.
    QCOMPARE(ladder.playingFor(), Prize::Quaterno);
}

void TestPrizeLadder::aNewGameOrATakeBackOpensPrizesAgain()
{
    TestLadder ladder;
    ladder.award(Prize::Ambo, at({{Prize::Ambo, 3}}), Confirmation::Claim, "A");
    ladder.award(Prize::Terno, at({{Prize::Ambo, 3}, {Prize::Terno, 7}}), Confirmation::Claim, "B");
    ladder.award(Prize::Quaterno, at({{Prize::Ambo, 6}, {Prize::Terno, 8}, {Prize::Quaterno, 9}}),
                 Confirmation::Claim, "C");
    QCOMPARE(ladder.playingFor(), Prize::Cinquina);
    // The 9th number taken back: the quaterno it completed is open again, the rest stands.
    ladder.takeBack(8);
    QCOMPARE(ladder.playingFor(), Prize::Quaterno);
    QCOMPARE(ladder.wonAt(Prize::Terno), 7);
    ladder.takeBack(2);
    QCOMPARE(ladder.playingFor(), Prize::Ambo);
    QVERIFY(ladder.wins().isEmpty());

    ladder.award(Prize::Ambo, at({{Prize::Ambo, 3}}), Confirmation::Claim, "A");
    ladder.reset();
    QCOMPARE(ladder.playingFor(), Prize::Ambo);
    QCOMPARE(ladder.award(Prize::Ambo, at({{Prize::Ambo, 30}}), Confirmation::Claim, "A").kind, Award::Won);
}

void TestPrizeLadder::theWatchAgreesWithTheCardCheckAfterEveryNumber()
{
    // Cards of both dealers, some joining in the middle of the draw; draw orders with repeats and
    // numbers that are no number. After every number each card holds what the card check finds.
    std::mt19937 rng(20261209);
    for (int round = 0; round < 25; ++round) {
        WinnerWatch watch;
        QList<Cartella> cards;
        QList<int> drawn;
        auto addCards = [&](int count) {
            for (int k = 0; k < count; ++k) {
                const CardCode code{quint32(rng() % seriesCount), int(rng() % 6) + 1,
                                    rng() % 2 ? CardDealer::FullSeries : CardDealer::Classic};
                cards << carta_da_codice(code.series, code.place, code.dealer);
                watch.addCard(code, cards.last(), drawn);
            }
        };
        addCards(10);
        QList<int> order;
        for (int n = 1; n <= 90; ++n)
            order << n;
        std::shuffle(order.begin(), order.end(), rng);
        for (int k = 0; k < 8; ++k)
            order.insert(int(rng() % order.size()), k % 2 ? order[int(rng() % order.size())] : 0);
        for (const int n : std::as_const(order)) {
            drawn << n;
            watch.follow(drawn);
            QCOMPARE(watch.followed(), int(drawn.size()));
            if (rng() % 20 == 0) addCards(3);
            QList<qsizetype> expectedHolding;
            for (qsizetype i = 0; i < cards.size(); ++i) {
                const CardResult expected = evaluateCard(cards[i], drawn);
                const WinnerWatch::Watched &w = watch.card(i);
                if (w.best != expected.best || w.moments != expected.moments ||
                    w.outPerRow != expected.outPerRow)
                    QFAIL(qPrintable(
                        QStringLiteral("round %1, card %2 after %3 numbers: best %4 instead of %5, "
                                       "or the moments or rows differ")
                            .arg(round)
                            .arg(i)
                            .arg(drawn.size())
                            .arg(int(w.best))
                            .arg(int(expected.best))));
                if (expected.best >= Prize::Terno) expectedHolding << i;
            }
            QCOMPARE(watch.holding(Prize::Terno), expectedHolding);
        }
        // Back to the first half of the draw, as after numbers taken back.
        const QList<int> half = order.mid(0, order.size() / 2);
        watch.follow(half);
        for (qsizetype i = 0; i < cards.size(); ++i)
            QCOMPARE(watch.card(i).moments, evaluateCard(cards[i], half).moments);
        // A draw of the same length and one more that is not the one followed (a number taken back
        // and another drawn in its place, unseen): every card afresh, not one number marked on top.
        QList<int> other = half;
        other.last() = other.last() % 90 + 1;
        other << half.last();
        watch.follow(other);
        QCOMPARE(watch.followed(), int(other.size()));
        for (qsizetype i = 0; i < cards.size(); ++i)
            QCOMPARE(watch.card(i).moments, evaluateCard(cards[i], other).moments);
    }
}

void TestPrizeLadder::aWatchedWinnerWaitsForTheCaller()
{
    DeskHarness h;
    const CardCode code{12345, 1, CardDealer::Classic};
    const Cartella card = printedCard(h.printRun, code);
    const QList<int> r1 = cardRow(card, 1);
    QSignalSpy won(&h.desk, &PrizeDesk::prizeWon);

    h.drawAndPause({offCard(card), r1[0]});
    QVERIFY(!h.desk.sighting());
    h.sound.played.clear();
    h.drawAndPause({r1[1]});
    // Seen at once, told without a sound, and nothing won until the caller says so.
    QCOMPARE(h.desk.sighting(), PrizeDesk::Sighting({Prize::Ambo, 3, {code}}));
    QCOMPARE(h.desk.sightingText(),
             QStringLiteral("AMBO alla 3ª estrazione: cartella ") + formatCardCode(code));
    QVERIFY(!h.sound.played.contains(QStringLiteral("applausi")));
    QCOMPARE(h.desk.ladder().playingFor(), Prize::Ambo);
    QCOMPARE(won.size(), 0);

    h.desk.confirm();
    QCOMPARE(h.desk.ladder().wins(), QList<PrizeWin>({{Prize::Ambo, 3, Confirmation::Watch,
                                                       Claimant{code, {}, Confirmation::Watch}, false}}));
    QCOMPARE(h.desk.playingForText(), QStringLiteral("Si gioca per: TERNO"));
    QVERIFY(!h.desk.sighting());
    QCOMPARE(won.size(), 1);
    QCOMPARE(won[0][0].toString(), QStringLiteral("AMBO! cartella ") + formatCardCode(code));

    // Passed over: not shown again for that prize, whatever the card goes on to hold.
    h.drawAndPause({r1[2]});
    QCOMPARE(h.desk.sighting(), PrizeDesk::Sighting({Prize::Terno, 4, {code}}));
    h.desk.ignore();
    QVERIFY(!h.desk.sighting());
    h.drawAndPause({r1[3]});
    QVERIFY(!h.desk.sighting());
    QCOMPARE(h.desk.ladder().playingFor(), Prize::Terno);

    // A card printed in the middle of a game plays from the next one: it is watched, it stops
    // nothing and wins nothing before then.
    const CardCode other{777, 2, CardDealer::FullSeries};
    const Cartella otherCard = printedCard(h.printRun, other);
    QVERIFY(!h.desk.playsThisGame(other));
    const QList<int> drawn = h.game.drawnNumbers();
    QList<int> next;
    for (const int n : cardRow(otherCard, 2))
        if (!drawn.contains(n) && next.size() < 3) next << n;
    h.drawAndPause(next);
    QVERIFY(evaluateCard(otherCard, h.game.drawnNumbers()).best >= Prize::Terno);
    QVERIFY(!h.desk.sighting() || !h.desk.sighting()->codes.contains(other));
    QCOMPARE(h.desk.claimByCard(other, evaluateCard(otherCard, h.game.drawnNumbers())).kind, Award::NoPrize);

    // A new game: the ladder from the ambo, the cards still in play, nothing passed over.
    h.game.newGame();
    QCOMPARE(h.desk.ladder().playingFor(), Prize::Ambo);
    QVERIFY(h.desk.ladder().wins().isEmpty());
    QVERIFY(!h.desk.sighting());
    QCOMPARE(h.desk.watch().size(), 2);
    QVERIFY(h.desk.playsThisGame(other));
    QCOMPARE(h.desk.watch().card(0).best, Prize::None);
    QVERIFY(h.invariantFault().isEmpty());
}

void TestPrizeLadder::aWatchedWinnerCanGoToTheRoomAtOnce()
{
    DeskHarness h;
    const CardCode a{4242, 3, CardDealer::Classic}, b{99, 5, CardDealer::Classic};
    const Cartella cardA = printedCard(h.printRun, a);
    const Cartella cardB = printedCard(h.printRun, b);
    h.desk.setAnnounceAtOnce(true);
    QSignalSpy won(&h.desk, &PrizeDesk::prizeWon);
    // Two numbers of a row of each card: whoever has the first ambo wins it, both if on one number.
    QList<int> numbers;
    for (const int n : cardRow(cardA, 1).mid(0, 2) + cardRow(cardB, 1).mid(0, 2))
        if (!numbers.contains(n)) numbers << n;
    h.drawAndPause(numbers);
    const QList<int> drawn = h.game.drawnNumbers();
    QList<QString> expectedWinners;
    int first = 0;
    for (const auto &[code, card] : {std::pair{a, cardA}, std::pair{b, cardB}}) {
        const int draw = evaluateCard(card, drawn).moment(Prize::Ambo).ordinal;
        if (draw == 0) continue;
        if (first == 0 || draw < first) {
            first = draw;
            expectedWinners = {formatCardCode(code)};
        } else if (draw == first) {
            expectedWinners << formatCardCode(code);
        }
    }
    QVERIFY(first > 0);
    QList<QString> winners;
    for (const PrizeWin &w : h.desk.ladder().wins()) {
        QCOMPARE(w.how, Confirmation::WatchAlone);
        QCOMPARE(w.prize, Prize::Ambo);
        winners << w.name();
    }
    QCOMPARE(winners, expectedWinners);
    QCOMPARE(won.size(), 1);
    QVERIFY(!h.desk.sighting());
}

void TestPrizeLadder::aClaimForAPrizeAlreadyWonHasNoFanfare()
{
    DeskHarness h;
    h.drawAndPause({10, 20, 30, 40});
    h.sound.played.clear();
    QCOMPARE(h.claim(0, {20, 30}), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));

    // Completed on the same number (30, the third): shared, with its fanfare.
    h.sound.played.clear();
    QCOMPARE(h.claim(0, {10, 30}), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));

    // Completed later, or the very same claim again: no prize, no sound, and the counter back to 0.
    QSignalSpy refused(&h.claims, &ClaimCheck::claimRefused);
    QSignalSpy completed(&h.claims, &ClaimCheck::claimCompleted);
    h.sound.played.clear();
    QCOMPARE(h.claim(0, {10, 40}), QStringLiteral("GIÀ VINTO"));
    QCOMPARE(h.claim(0, {30, 20}), QStringLiteral("GIÀ VINTO"));
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(refused.size(), 2);
    QCOMPARE(completed.size(), 0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));

    // The terno is in play: a claim of three wins it.
    QCOMPARE(h.claim(1, {10, 20, 40}), QStringLiteral("TERNO VALIDO"));
    QCOMPARE(h.sound.played, QStringList({"terno", "applausi"}));
    QCOMPARE(h.desk.ladder().wonAt(Prize::Terno), 4);
    QCOMPARE(h.desk.audienceLines(),
             QStringList({"Si gioca per: QUATERNO", "AMBO alla 3ª estrazione (2 vincitori)",
                          "TERNO alla 4ª estrazione"}));
    QCOMPARE(h.desk.winLines().first(), QStringLiteral("AMBO alla 3ª estrazione: numeri 20 30 (richiesta "
                                                       "verificata); numeri 10 30 (richiesta verificata)"));

    // A new game: the ambo is in play again.
    h.game.newGame();
    h.drawAndPause({5, 6});
    h.sound.played.clear();
    QCOMPARE(h.claim(0, {5, 6}), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QVERIFY(h.invariantFault().isEmpty());
}

void TestPrizeLadder::cardsCheckedByCodeMoveTheLadder()
{
    DeskHarness h;
    const CardCode code{31337, 4, CardDealer::Classic}, stranger{31337, 5, CardDealer::Classic};
    const Cartella card = printedCard(h.printRun, code);
    const QList<int> r3 = cardRow(card, 3);
    h.drawAndPause(r3.mid(0, 3));
    const CardResult result = evaluateCard(card, h.game.drawnNumbers());
    QCOMPARE(result.best, Prize::Terno);

    // Not printed tonight: nothing at all.
    QCOMPARE(h.desk.claimByCard(stranger, result).kind, Award::NoPrize);
    QCOMPARE(h.desk.ladder().playingFor(), Prize::Ambo);

    QSignalSpy won(&h.desk, &PrizeDesk::prizeWon);
    const Award first = h.desk.claimByCard(code, result);
    QCOMPARE(first.kind, Award::Won);
    QCOMPARE(first.prize, Prize::Terno);
    QCOMPARE(h.desk.ladder().wonAt(Prize::Ambo), 2);
    QCOMPARE(h.desk.ladder().wonAt(Prize::Terno), 3);
    QCOMPARE(won.size(), 1);
    QCOMPARE(h.desk.claimByCard(code, result).kind, Award::AlreadyCounted);
    QCOMPARE(won.size(), 1);
    QCOMPARE(h.desk.audienceLines(),
             QStringList({"Si gioca per: QUATERNO", "AMBO alla 2ª: " + unbroken(formatCardCode(code)),
                          "TERNO alla 3ª: " + unbroken(formatCardCode(code))}));
    // The watch already knew: the card's terno was never left waiting once confirmed.
    QVERIFY(!h.desk.sighting());
}

namespace
{
// Two cards of tonight whose first rows share no number.
std::pair<Cartella, Cartella> twoCards(DeskHarness &h, const CardCode &a, const CardCode &b)
{
    const Cartella cardA = printedCard(h.printRun, a);
    const Cartella cardB = printedCard(h.printRun, b);
    for (const int n : cardRow(cardA, 1))
        if (cardRow(cardB, 1).contains(n)) qFatal("the first rows of the two cards share %d", n);
    return {cardA, cardB};
}
QString names(const PrizeLadder &ladder, Prize p)
{
    QStringList out;
    for (const PrizeWin &w : ladder.wins())
        if (w.prize == p) out << w.name() + QLatin1Char('@') + QString::number(w.draw);
    return out.join(QLatin1Char(','));
}
} // namespace

void TestPrizeLadder::aLateConfirmationGivesEachPrizeToItsFirstCard()
{
    // A has the ambo first, B the terno, A the quaterno; the caller confirms A's ambo only after all
    // of it. The confirmation gives A the ambo and nothing B completed before it.
    DeskHarness h;
    const CardCode a{5151, 1, CardDealer::Classic}, b{6262, 2, CardDealer::Classic};
    const auto [cardA, cardB] = twoCards(h, a, b);
    const QList<int> ra = cardRow(cardA, 1), rb = cardRow(cardB, 1);
    h.drawAndPause({ra[0], ra[1], rb[0], rb[1], rb[2], ra[2], ra[3], rb[3]});
    QCOMPARE(h.desk.sighting(), PrizeDesk::Sighting({Prize::Ambo, 2, {a}, false}));

    h.desk.confirm();
    const QString A = formatCardCode(a), B = formatCardCode(b);
    QCOMPARE(names(h.desk.ladder(), Prize::Ambo), A + "@2");
    QCOMPARE(names(h.desk.ladder(), Prize::Terno), QString());
    // Next on show: B's terno, which came before A's; confirmed, B gets no quaterno, A had it first.
    QCOMPARE(h.desk.sighting(), PrizeDesk::Sighting({Prize::Terno, 5, {b}, false}));
    h.desk.confirm();
    QCOMPARE(names(h.desk.ladder(), Prize::Terno), B + "@5");
    QCOMPARE(h.desk.sighting(), PrizeDesk::Sighting({Prize::Quaterno, 7, {a}, false}));

    // A's card checked by its code meanwhile: said plainly, once.
    const CardResult resultB = evaluateCard(cardB, h.game.drawnNumbers());
    const Award earlier = h.desk.claimByCard(b, resultB);
    QCOMPARE(earlier.kind, Award::Earlier);
    QCOMPARE(h.desk.sentence(earlier, true),
             "la cartella " + A +
                 " aveva il QUATERNO alla 7ª, prima di questa (8ª): confermala o ignorala, "
                 "poi ricontrolla");
    h.desk.confirm();
    QCOMPARE(names(h.desk.ladder(), Prize::Quaterno), A + "@7");
    QCOMPARE(h.desk.claimByCard(b, resultB).kind, Award::AlreadyWon);
}

void TestPrizeLadder::onePlayerIsOneWinner()
{
    // A cinquina claimed in the claim panel with the row of a card of tonight, then that card
    // checked by its code: one winner, whose numbers give way to the code.
    DeskHarness h;
    const CardCode a{7373, 3, CardDealer::FullSeries}, b{8484, 4, CardDealer::Classic};
    const auto [cardA, cardB] = twoCards(h, a, b);
    const QList<int> ra = cardRow(cardA, 1), rb = cardRow(cardB, 1);
    h.drawAndPause(ra);
    QCOMPARE(h.claim(3, ra), QStringLiteral("CINQUINA VALIDA"));
    for (const Prize p : {Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina})
        QVERIFY(names(h.desk.ladder(), p).startsWith(QStringLiteral("numeri ")));
    const Award again = h.desk.claimByCard(a, evaluateCard(cardA, h.game.drawnNumbers()));
    QCOMPARE(again.kind, Award::AlreadyCounted);
    QCOMPARE(names(h.desk.ladder(), Prize::Cinquina), formatCardCode(a) + "@5");
    QCOMPARE(h.desk.ladder().wins().size(), 4);
    QVERIFY(!h.desk.audienceLines().join(QLatin1Char('|')).contains(QStringLiteral("altro")));

    // A new game: B has the cinquina first and waits; a later claim of other numbers does not take
    // it, says why, and leaves B's line on show.
    h.game.newGame();
    h.desk.setAnnounceAtOnce(false);
    h.drawAndPause(rb);
    QList<int> others;
    for (int n = 1; n <= 90 && others.size() < 5; ++n)
        if (!rb.contains(n) && !ra.contains(n)) others << n;
    h.drawAndPause(others);
    QCOMPARE(h.desk.sighting()->codes, QList<CardCode>({b}));
    h.dialogs.shown.clear();
    QCOMPARE(h.claim(3, others), QStringLiteral("PRIMA UN'ALTRA"));
    QCOMPARE(h.dialogs.shown.size(), 1);
    QVERIFY(h.dialogs.shown[0].text.startsWith("La cartella " + formatCardCode(b) + " aveva l'AMBO alla 2ª"));
    QCOMPARE(h.desk.sighting()->codes, QList<CardCode>({b}));
    QVERIFY(h.desk.ladder().wins().isEmpty());
}

void TestPrizeLadder::aClaimBeatenToItsPrizeCelebratesTheLowerOneItWon()
{
    // The claimed numbers made the ambo and the terno before anyone, the quaterno after a card in
    // play: the claim wins the terno, and the terno, not the quaterno, is celebrated and told.
    DeskHarness h;
    const CardCode b{6161, 2, CardDealer::Classic};
    const Cartella card = printedCard(h.printRun, b);
    QList<int> mine;
    for (int k = 0; k < 4; ++k)
        mine << offCard(card, mine);
    h.desk.setAnnounceAtOnce(false);
    h.drawAndPause(mine.mid(0, 3) + cardRow(card, 1).mid(0, 4) + mine.mid(3));
    h.sound.played.clear();
    h.dialogs.shown.clear();
    QCOMPARE(h.claim(2, mine), QStringLiteral("TERNO VALIDO"));
    QCOMPARE(h.sound.played, QStringList({"terno", "applausi"}));
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("Il QUATERNO l'aveva già completato prima un'altra cartella in "
                            "gioco: a questa richiesta va il TERNO."));
    QCOMPARE(h.desk.ladder().wonAt(Prize::Terno), 3);
    QCOMPARE(h.desk.ladder().wonAt(Prize::Quaterno), 0);
}

void TestPrizeLadder::theDrawStopsForAWinnerAndAfterTheTombola()
{
    DeskHarness h;
    const CardCode a{9595, 5, CardDealer::FullSeries};
    const Cartella card = printedCard(h.printRun, a);
    QList<int> numbers = cardRow(card, 1) + cardRow(card, 2) + cardRow(card, 3);
    // Left to run: the draw stops by itself after the number that makes the ambo.
    h.random.replay(picksFor(numbers));
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 2);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    QVERIFY(h.view.isEnabled(Control::cmd_verifica));
    QVERIFY(h.desk.audienceLines().contains(QStringLiteral("Vincita da verificare: AMBO")));
    h.desk.confirm();
    QVERIFY(!h.desk.audienceLines().join(QLatin1Char('|')).contains(QStringLiteral("verificare")));

    // Announced at once, the prizes go as they come and the draw goes on, waiting for the banner,
    // until the tombola: there it stops, with every prize won; a resume draws the rest.
    h.desk.setAnnounceAtOnce(true);
    QList<double> times;
    QObject::connect(&h.game, &Game::numberDrawn, [&] { times << h.clock.now(); });
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.drawn().size(), numbers.size());
    // The pace is 3 s; after the numbers that made a prize the pause was the banner's.
    QVERIFY(times.size() > 3);
    const double ritardo = double(h.state().ritardo);
    int longer = 0;
    for (qsizetype k = 1; k < times.size(); ++k) {
        const double gap = times[k] - times[k - 1];
        QVERIFY2(gap >= ritardo, qPrintable(QString::number(gap)));
        longer += gap >= PrizeDesk::kBannerSeconds ? 1 : 0;
    }
    QVERIFY(longer >= 1);
    QCOMPARE(h.desk.ladder().playingFor(), Prize::None);
    QCOMPARE(h.desk.playingForText(), QStringLiteral("Premi tutti vinti"));
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.drawn().size(), 90);
}

void TestPrizeLadder::aResumeWhileAWinnerWaitsNeverTurnsTheWatchOff()
{
    // "Riprendi" pressed while the watch's winner waits, instead of Conferma or Ignora: once it let
    // the draw run on to the 90th number with no more stops and every prize of the game lost.
    DeskHarness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    h.printRun.print(30, false, false, CardDealer::Classic, h.record(), {});
    h.printRun.print(30, false, false, CardDealer::Classic, h.record(), {});
    QCOMPARE(h.printRun.cardsInPlay().size(), 60);
    QList<int> drawnWhileWaiting;
    QObject::connect(&h.game, &Game::numberChosen, [&](int, int ordinal) {
        if (h.desk.sighting()) drawnWhileWaiting << ordinal;
    });
    h.click(Control::cmd_estrai);
    QVERIFY(h.desk.sighting());
    const int stoppedAt = int(h.drawn().size());

    // Asked, and told to stay stopped: nothing is drawn and the winner still waits.
    h.dialogs.choice = [](const QString &, const QStringList &) { return 2; };
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.dialogs.chosen.size(), 1);
    QVERIFY2(h.dialogs.chosen.first().contains(h.desk.sightingText()), qPrintable(h.dialogs.chosen.first()));
    QCOMPARE(h.drawn().size(), stoppedAt);
    QVERIFY(h.desk.sighting());
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));

    // Passed over on the way: the draw goes on and stops again at the next card that completes it.
    const PrizeDesk::Sighting first = *h.desk.sighting();
    h.dialogs.choice = [](const QString &, const QStringList &) { return 1; };
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.desk.ladder().wonAt(first.prize), 0);
    QVERIFY(h.desk.sighting());
    QCOMPARE(h.desk.sighting()->prize, first.prize);
    QVERIFY(h.desk.sighting()->codes != first.codes);

    // Confirmed on the way, stop after stop: every prize is given, each at the draw that made it.
    h.dialogs.choice = nullptr; // Conferma, the default
    for (int k = 0; k < 100 && h.drawn().size() < 90; ++k)
        h.click(Control::cmd_sospendi);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.desk.ladder().playingFor(), Prize::None);
    for (const Prize p : {Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina, Prize::Tombola})
        QCOMPARE(h.desk.ladder().wonAt(p), h.desk.firstCompletion(p));
    QVERIFY2(drawnWhileWaiting.isEmpty(), qPrintable(QString::number(drawnWhileWaiting.value(0))));
}

void TestPrizeLadder::aPhonesCallWaitsForTheCallerLikeAnyWinner()
{
    // A phone's "Chiama" once gave the prize at once while the caller's Conferma/Ignora waited, and
    // the caller's line went; after Ignora the phone went on offering the call, refused each time.
    DeskHarness h;
    const CardCode a{4242, 2, CardDealer::Classic};
    const Cartella card = printedCard(h.printRun, a);
    h.drawAndPause(cardRow(card, 1).mid(0, 2));
    const auto seen = h.desk.sighting();
    QVERIFY(seen && seen->codes == QList<CardCode>{a});
    const Award called = h.desk.claimFromPhone(a);
    QCOMPARE(called.kind, Award::Waiting);
    QCOMPARE(called.prize, Prize::Ambo);
    QVERIFY(!called.isWin());
    QVERIFY(h.desk.ladder().wins().isEmpty());
    QCOMPARE(h.desk.sighting(), seen);
    QVERIFY(h.desk.sentence(called, true).contains(QStringLiteral("aspetta la conferma del banco")));
    // The caller's answer gives it.
    h.desk.confirm();
    QCOMPARE(h.desk.ladder().wonAt(Prize::Ambo), 2);
    QCOMPARE(h.desk.ladder().wins().first().how, Confirmation::Phone);

    // Passed over for the terno: the card is listed for the phones, and its call is refused.
    h.drawAndPause({cardRow(card, 1)[2]});
    QVERIFY(h.desk.sighting() && h.desk.sighting()->prize == Prize::Terno);
    h.desk.ignore();
    QCOMPARE(h.desk.passedOverNow(), QList<CardCode>{a});
    QCOMPARE(h.desk.claimFromPhone(a).kind, Award::PassedOver);
    QCOMPARE(h.desk.ladder().wonAt(Prize::Terno), 0);
}

QTEST_GUILESS_MAIN(TestPrizeLadder)
#include "test_prize_ladder.moc"
