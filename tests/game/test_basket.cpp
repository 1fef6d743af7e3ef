// Numbers drawn by hand from the basket and entered one by one: the turn they take, the refusals,
// the take-back, and the switch to and from the random draw in the middle of a game. The game
// state, the board and the counter line must agree after every step.

#include "fakes/game_harness.h"

#include "announce/words.h"
#include "game/draw.h"

#include <QSignalSpy>
#include <QTest>

namespace
{
// Empty when the state, the board, the counter line and the big number agree.
QString fault(const GameHarness &h)
{
    if (const QString f = h.invariantFault(); !f.isEmpty()) return f;
    const int d = h.state().drawnCount();
    const QString line = h.caption(Control::Label2);
    const QString expected = d > 0 ? riga_contatore(d, 90) : QString(8, QLatin1Char(' '));
    if (line != expected) return QStringLiteral("counter line '%1' with %2 drawn").arg(line).arg(d);
    const QString big = h.caption(Control::Label1);
    if (d > 0 && d < 90 && big != h.state().numeri_estratti(d))
        return QStringLiteral("big number '%1' after %2").arg(big, h.state().numeri_estratti(d));
    return {};
}

QString capitals(int n)
{
    return applica_maiuscole(parola_del_numero(n), QStringLiteral(">"));
}

// What a refusal must leave as it was.
struct Snapshot {
    QStringList drawn;
    QList<int> pool;
    Game::Display display;
    explicit Snapshot(const GameHarness &h) : drawn(h.drawn()), pool(h.pool()), display(h.game.display()) {}
    bool operator==(const Snapshot &) const = default;
};
} // namespace

class TestBasket : public QObject
{
    Q_OBJECT

private slots:
    void anEntryTakesTheTurnOfADrawnNumber();
    void badEntriesAreRefusedAndChangeNothing_data();
    void badEntriesAreRefusedAndChangeNothing();
    void entriesNeedTheBasketMode();
    void takeBackGoesBackOneNumberAtATimeDownToEmpty();
    void aNoKeepsTheNumber();
    void aTakenBackNumberNoLongerCountsInTheClaim();
    void theNinetiethEntryEndsTheGameAndCanBeTakenBack();
    void randomThenBasketThenRandomDrawsEachNumberOnce();
    void basketThenRandomThenBasket();
    void theModeStaysWhileTheRandomDrawRuns();
    void publishTellsWhatChangedAndOnlyThat();
};

void TestBasket::anEntryTakesTheTurnOfADrawnNumber()
{
    GameHarness h;
    QVERIFY(h.game.setBasketMode(true));
    QVERIFY(!h.view.isEnabled(Control::cmd_estrai));
    QVERIFY(!h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(h.view.isVisible(Control::txt_panariello));
    QSignalSpy drawnSpy(&h.game, &Game::numberDrawn);
    QSignalSpy updatedSpy(&h.game, &Game::updated);
    const int waitsBefore = h.clock.waits;
    const QList<int> numbers{47, 3, 90, 18};
    for (int k = 0; k < numbers.size(); ++k) {
        const int n = numbers[k];
        h.sound.played.clear();
        // Typed text and a click on the board take the same way.
        QVERIFY(k % 2 ? h.game.enterNumber(n) : h.game.enterNumber(QStringLiteral(" %1 ").arg(n)));
        QCOMPARE(fault(h), QString());
        QCOMPARE(h.drawn().last(), QString::number(n));
        QCOMPARE(h.game.display().words, capitals(n));
        QCOMPARE(drawnSpy.size(), k + 1);
        QCOMPARE(drawnSpy.last(), QList<QVariant>({n, k + 1}));
        QVERIFY(!h.sound.played.isEmpty()); // the number is spoken
        QVERIFY(h.view.isEnabled(Control::cmd_togli));
        QVERIFY(h.view.isEnabled(Control::cmd_verifica));
        QVERIFY(!h.game.isPaused()); // the audience sees no pause between entries
    }
    QVERIFY(updatedSpy.size() >= numbers.size());
    QCOMPARE(h.clock.waits, waitsBefore); // no wait between numbers
    QVERIFY(!h.game.isDrawing());
}

void TestBasket::badEntriesAreRefusedAndChangeNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString range = QStringLiteral("digitare un numero da 1 a 90");
    QTest::newRow("already drawn") << "7"
                                   << " il numero  7   è già stato estratto ";
    QTest::newRow("already drawn, padded") << " 12"
                                           << " il numero  12   è già stato estratto ";
    QTest::newRow("zero") << "0" << range;
    QTest::newRow("91") << "91" << range;
    QTest::newRow("negative") << "-5" << range;
    QTest::newRow("huge") << "99999999999" << range;
    QTest::newRow("letters") << "abc" << range;
    QTest::newRow("decimal") << "7.5" << range;
    QTest::newRow("digits then letters") << "7x" << range;
    QTest::newRow("empty") << "" << range;
    QTest::newRow("pasted line break") << "4\n5" << range;
}

void TestBasket::badEntriesAreRefusedAndChangeNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    GameHarness h;
    h.game.setBasketMode(true);
    QVERIFY(h.game.enterNumber(7));
    QVERIFY(h.game.enterNumber(12));
    const Snapshot before(h);
    QSignalSpy drawnSpy(&h.game, &Game::numberDrawn);
    h.dialogs.shown.clear();
    QVERIFY(!h.game.enterNumber(text));
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, message);
    QVERIFY(Snapshot(h) == before);
    QCOMPARE(drawnSpy.size(), 0);
    QCOMPARE(fault(h), QString());
}

void TestBasket::entriesNeedTheBasketMode()
{
    GameHarness h;
    QVERIFY(!h.game.isBasketMode());
    QVERIFY(!h.game.enterNumber(5));
    QVERIFY(!h.game.enterNumber(QStringLiteral("abc")));
    h.drawAndPause({5, 6});
    QVERIFY(!h.game.takeBackAsked());
    QCOMPARE(h.drawn(), QStringList({"5", "6"}));
    QVERIFY(h.dialogs.shown.isEmpty());
    QVERIFY(h.dialogs.asked.isEmpty());
}

void TestBasket::takeBackGoesBackOneNumberAtATimeDownToEmpty()
{
    GameHarness h;
    h.game.setBasketMode(true);
    const QList<int> numbers{33, 1, 89, 60};
    for (int n : numbers)
        QVERIFY(h.game.enterNumber(n));
    QSignalSpy backSpy(&h.game, &Game::numberTakenBack);
    for (int d = int(numbers.size()); d >= 1; --d) {
        const int n = numbers[d - 1];
        QVERIFY(h.click(Control::cmd_togli));
        QCOMPARE(h.dialogs.asked.last(),
                 QStringLiteral("Rimettere nel panariello l'ultimo numero, il %1?").arg(n));
        QCOMPARE(fault(h), QString());
        QCOMPARE(h.state().drawnCount(), d - 1);
        QVERIFY(h.pool().contains(n));
        QCOMPARE(backSpy.size(), numbers.size() - d + 1);
        QCOMPARE(backSpy.last(), QList<QVariant>({n, d}));
        QCOMPARE(h.game.display().words, d > 1 ? capitals(numbers[d - 2]) : QString());
        if (d == 1) QCOMPARE(h.caption(Control::Label1), QString(7, QLatin1Char(' ')));
    }
    QVERIFY(!h.view.isEnabled(Control::cmd_togli));
    QVERIFY(!h.game.takeBackAsked()); // nothing left to take back, and nothing asked
    QCOMPARE(h.dialogs.asked.size(), numbers.size());
    QCOMPARE(h.pool().size(), 90);
    for (int j = 1; j < 90; ++j)
        QVERIFY(h.pool()[j - 1] < h.pool()[j]);
    // A taken-back number can come out of the bag again.
    QVERIFY(h.game.enterNumber(60));
    QCOMPARE(h.drawn(), QStringList({"60"}));
    QCOMPARE(fault(h), QString());
}

void TestBasket::aNoKeepsTheNumber()
{
    GameHarness h;
    h.game.setBasketMode(true);
    h.game.enterNumber(8);
    h.game.enterNumber(9);
    const Snapshot before(h);
    h.dialogs.answer = [](const QString &) { return false; };
    QVERIFY(!h.game.takeBackAsked());
    QCOMPARE(h.dialogs.asked.size(), 1);
    QVERIFY(Snapshot(h) == before);
}

void TestBasket::aTakenBackNumberNoLongerCountsInTheClaim()
{
    GameHarness h;
    h.game.setBasketMode(true);
    for (int n : {5, 10, 20})
        h.game.enterNumber(n);
    QVERIFY(h.click(Control::cmd_verifica));
    QVERIFY(h.clickPrize(0));
    h.type(0, QStringLiteral("5"));
    h.enter(0);
    h.type(1, QStringLiteral("20"));
    h.enter(1);
    QCOMPARE(h.claims.verdict(), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played.count(QStringLiteral("applausi")), 1);

    h.game.takeBackAsked(); // 20 goes back
    QCOMPARE(h.claims.verdict(), QString());
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 1)).back, Palette::lightYellow);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 0)).back, Palette::lightGreen);
    // Checked again while 20 is back in the bag, the box is refused.
    h.moveFocus(ControlId(Control::Text1, 1));
    h.moveFocus(ControlId(Control::Text1, 0));
    QCOMPARE(h.dialogs.shown.last().text, QStringLiteral(" il numero  20   NON  e' stato ancora  estratto "));
    QCOMPARE(h.sound.played.count(QStringLiteral("applausi")), 1);
    // Out again, it completes the claim again.
    QVERIFY(h.game.enterNumber(20));
    h.moveFocus(ControlId(Control::Text1, 0));
    QCOMPARE(h.claims.verdict(), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played.count(QStringLiteral("applausi")), 2);
}

void TestBasket::theNinetiethEntryEndsTheGameAndCanBeTakenBack()
{
    GameHarness h;
    h.game.setBasketMode(true);
    QSignalSpy endSpy(&h.game, &Game::gameEnded);
    for (int n = 90; n >= 1; --n)
        QVERIFY(h.game.enterNumber(n));
    QCOMPARE(fault(h), QString());
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("Fine"));
    QCOMPARE(endSpy.size(), 1);
    QVERIFY(!h.game.enterNumber(QStringLiteral("45")));
    QCOMPARE(h.dialogs.shown.last().text, QStringLiteral(" il numero  45   è già stato estratto "));
    QVERIFY(h.game.takeBackAsked());
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("2"));
    QCOMPARE(h.pool(), QList<int>({1}));
    QCOMPARE(fault(h), QString());
}

void TestBasket::randomThenBasketThenRandomDrawsEachNumberOnce()
{
    GameHarness h;
    QSignalSpy drawnSpy(&h.game, &Game::numberDrawn);
    h.drawAndPause({14, 27, 3});
    QVERIFY(h.game.setBasketMode(true));
    QCOMPARE(fault(h), QString());
    QVERIFY(!h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(h.game.enterNumber(QStringLiteral("27")) == false); // drawn at random, refused here
    QVERIFY(h.game.enterNumber(66));
    QVERIFY(h.game.enterNumber(2));
    QVERIFY(h.game.takeBackAsked());
    QCOMPARE(fault(h), QString());
    QVERIFY(h.game.setBasketMode(false));
    QCOMPARE(fault(h), QString());
    // The random draw goes on from a pause at the fifth number, with the 86 left.
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    QVERIFY(h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(!h.view.isEnabled(Control::cmd_estrai));
    QVERIFY(!h.view.isVisible(Control::txt_panariello));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(5));
    QVERIFY(h.click(Control::cmd_sospendi));
    QCOMPARE(fault(h), QString());
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.drawn().mid(0, 4), QStringList({"14", "27", "3", "66"}));
    QCOMPARE(drawnSpy.size(), 91); // 2 is drawn twice: once by hand, then at random
    for (int k = 0; k < 4; ++k)
        QCOMPARE(drawnSpy[k][1].toInt(), k + 1);
    for (int k = 5; k < 91; ++k)
        QCOMPARE(drawnSpy[k][1].toInt(), k);
}

void TestBasket::basketThenRandomThenBasket()
{
    GameHarness h;
    h.game.setBasketMode(true);
    h.game.enterNumber(40);
    h.game.enterNumber(41);
    h.game.setBasketMode(false);
    h.drawAndPause({1, 2});
    QCOMPARE(h.drawn(), QStringList({"40", "41", "1", "2"}));
    QCOMPARE(fault(h), QString());
    QVERIFY(h.game.setBasketMode(true));
    QVERIFY(h.game.enterNumber(77));
    QCOMPARE(fault(h), QString());
    // The take-back reaches the numbers drawn at random too, one at a time.
    for (int k = 0; k < 5; ++k) {
        QVERIFY(h.game.takeBackAsked());
        QCOMPARE(fault(h), QString());
    }
    QCOMPARE(h.state().drawnCount(), 0);
    // Back to random before any number: the window is as at start-up.
    QVERIFY(h.game.setBasketMode(false));
    QVERIFY(h.view.isEnabled(Control::cmd_estrai));
    h.drawAndPause({9});
    QCOMPARE(h.drawn(), QStringList({"9"}));
    QCOMPARE(fault(h), QString());
    // A new game keeps the mode chosen.
    h.game.setBasketMode(true);
    h.game.newGame();
    QVERIFY(h.game.isBasketMode());
    QVERIFY(!h.view.isEnabled(Control::cmd_estrai));
    QCOMPARE(fault(h), QString());
}

void TestBasket::theModeStaysWhileTheRandomDrawRuns()
{
    GameHarness h;
    bool tried = false, accepted = true;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait || tried) return;
        tried = true;
        h.view.setChecked(Control::chk_panariello, true); // as a user ticks the box
        accepted = h.game.setBasketMode(true);
        h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    QVERIFY(tried);
    QVERIFY(!accepted);
    QVERIFY(!h.game.isBasketMode());
    QVERIFY(!h.view.isChecked(Control::chk_panariello));
    QCOMPARE(h.dialogs.shown.last().text,
             QStringLiteral("Per cambiare il modo di estrazione PRIMA premere Pausa"));
    // Stopped, the switch is allowed.
    QVERIFY(h.game.setBasketMode(true));
    QCOMPARE(fault(h), QString());
}

// Observers redo only what a publish says changed, and nothing when it says nothing: a change the
// window shows that goes untold leaves the room's screen or a screen reader behind.
void TestBasket::publishTellsWhatChangedAndOnlyThat()
{
    using C = Game::Change;
    GameHarness h;
    QSignalSpy changed(&h.game, &Game::changed);
    QSignalSpy updated(&h.game, &Game::updated);
    bool paired = true; // every changed() with its updated()
    const auto told = [&] {
        Game::Changes all;
        for (const QList<QVariant> &args : std::as_const(changed))
            all |= args.at(0).value<Game::Changes>();
        paired = paired && updated.size() == changed.size();
        changed.clear();
        updated.clear();
        return all;
    };
    h.game.publish();
    QCOMPARE(told(), Game::Changes());

    QVERIFY(h.game.setBasketMode(true));
    QCOMPARE(told(), Game::Changes(C::Controls));
    QVERIFY(h.game.enterNumber(47));
    QCOMPARE(told(), C::Displayed | C::Numbers | C::Controls);
    h.game.publish();
    QCOMPARE(told(), Game::Changes());
    QVERIFY(h.game.enterNumber(3));
    QVERIFY(h.game.takeBackAsked());
    QCOMPARE(told(), C::Displayed | C::Numbers | C::Controls);
    // Back to the random draw in the middle of a game: stopped as in a pause.
    QVERIFY(h.game.setBasketMode(false));
    QVERIFY(h.game.isPaused());
    QCOMPARE(told(), C::Pause | C::Controls);
    h.game.newGame();
    QCOMPARE(told(), C::Displayed | C::Numbers | C::Pause | C::Controls);
    QVERIFY(paired);
}

QTEST_MAIN(TestBasket)
#include "test_basket.moc"
