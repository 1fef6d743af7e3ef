// The claim check and the prize fanfare during a pause, on a fake window: prize buttons, typed
// numbers, Enter and the focus leaving a box.

#include "claims/prize_desk.h"
#include "fakes/game_harness.h"

#include <QSignalSpy>
#include <QTest>

class TestClaimCheck : public QObject
{
    Q_OBJECT

private slots:
    void amboOfTwoDrawnNumbersSoundsTheFanfare();
    void theSameNumberTwiceIsOneNumberOfTheClaim();
    void aPrizeButtonStartsANewClaim();
    void aNumberCountsOnceHoweverOftenItsBoxIsLeft();
    void aLockedBoxOfAnotherPrizeAddsNothing();
    void theVerdictStandsUntilTheNextClaimDrawOrGame();
    void enterInAnEmptyLockedBoxGivesBothMessages();
    void aTypedNumberIsTheNumberItSays_data();
    void aTypedNumberIsTheNumberItSays();
    void aNumberWrittenTwoWaysIsOneNumber();
    void aNumberOfAnEarlierGameIsNotDrawn();
    void enterInTheLastBoxChecksInPlace();
    void cinquinaNeedsFiveAndEachThresholdPlaysItsWord();
    void avvisoOutsideTheFourPrizesDoesNothing();
    void closingDuringTheFanfareStopsIt();
    void aBoxChangedAndNotLeftCountsForNothing();
};

void TestClaimCheck::amboOfTwoDrawnNumbersSoundsTheFanfare()
{
    GameHarness h;
    h.drawAndPause({12, 34, 56});
    h.view.setEnabled(Control::cmd_verifica, true);
    QVERIFY(h.click(Control::cmd_verifica));
    QVERIFY(h.view.isVisible(Control::fra_controlli));
    QVERIFY(h.clickPrize(0));
    QCOMPARE(h.state().premio_scelto, std::int16_t(0));
    QVERIFY(!h.view.isLocked(ControlId(Control::Text1, 0)));
    QVERIFY(!h.view.isLocked(ControlId(Control::Text1, 1)));
    QVERIFY(h.view.isLocked(ControlId(Control::Text1, 2)));
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 0)).back, Palette::lightYellow);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 2)).back, Palette::white);
    QCOMPARE(h.focusedBox(), 0);

    h.sound.played.clear();
    h.type(0, "12");
    h.enter(0);
    QCOMPARE(h.sound.played, QStringList());
    h.type(1, "34");
    h.enter(1);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QCOMPARE(h.focusedBox(), 2);
    QCOMPARE(h.dialogs.shown.size(), 0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
}

void TestClaimCheck::theSameNumberTwiceIsOneNumberOfTheClaim()
{
    // A drawn number typed in both ambo boxes is one number, not an ambo: no fanfare, a message on
    // the second box, which turns red; a different drawn number there completes the claim.
    GameHarness h;
    h.drawAndPause({12, 34, 56});
    h.click(Control::cmd_verifica);
    h.clickPrize(0);
    h.sound.played.clear();
    h.type(0, "56");
    h.enter(0);
    h.type(1, "56");
    h.enter(1);
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral(" il numero  56   è già nella richiesta "));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::Information);
    QCOMPARE(h.focusedBox(), 1);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 0)).back, Palette::lightGreen);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 1)).back, Palette::lightRed);
    h.erase(1);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 1)).back, Palette::lightYellow);
    h.type(1, "12");
    h.enter(1);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QCOMPARE(h.claims.verdict(), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.caption(Control::lbl_esito), QStringLiteral("AMBO VALIDO"));
    QVERIFY(h.view.isVisible(Control::lbl_esito));
}

void TestClaimCheck::aPrizeButtonStartsANewClaim()
{
    // One confirmed number of an earlier ambo claim must not complete the next player's ambo: a
    // prize button empties its boxes and counts from 0; the other prizes keep theirs.
    GameHarness h;
    h.drawAndPause({12, 34, 56, 7});
    h.click(Control::cmd_verifica);
    h.clickPrize(0);
    h.type(0, "12");
    h.enter(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    h.clickPrize(1);
    h.type(2, "34");
    h.enter(2);
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    QCOMPARE(h.caption(ControlId(Control::Text1, 0)), QStringLiteral("12")); // another prize's box stays
    h.sound.played.clear();
    h.clickPrize(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    QCOMPARE(h.caption(ControlId(Control::Text1, 0)), QString());
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    QCOMPARE(h.caption(ControlId(Control::Text1, 2)), QStringLiteral("34"));
    h.type(0, "7");
    h.enter(0);
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
}

void TestClaimCheck::aNumberCountsOnceHoweverOftenItsBoxIsLeft()
{
    // Leaving a counted box again with the same text counts nothing; a text that changes is checked
    // afresh, and the number it replaced no longer counts.
    GameHarness h;
    h.drawAndPause({11, 19, 23});
    h.click(Control::cmd_verifica);
    h.clickPrize(1);
    h.type(2, "11");
    h.enter(2);
    h.moveFocus(ControlId(Control::Text1, 2));
    h.moveFocus(ControlId(Control::Text1, 3));
    h.moveFocus(ControlId(Control::Text1, 2));
    h.moveFocus(ControlId(Control::Text1, 4));
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    h.moveFocus(ControlId(Control::Text1, 3));
    h.type(3, "19");
    h.enter(3);
    QCOMPARE(h.state().conta_terno, std::int16_t(2));
    h.sound.played.clear();
    h.moveFocus(ControlId(Control::Text1, 3));
    h.erase(3);
    h.type(3, "40"); // not drawn
    h.enter(3);
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 3)).back, Palette::lightRed);
    h.erase(3);
    h.moveFocus(ControlId(Control::Text1, 4));
    h.type(4, "23");
    h.enter(4);
    QCOMPARE(h.sound.played, QStringList()); // 11 and 23: two numbers, no terno
    QCOMPARE(h.state().conta_terno, std::int16_t(2));
    h.moveFocus(ControlId(Control::Text1, 3));
    h.type(3, "19");
    h.enter(3);
    QCOMPARE(h.sound.played, QStringList({"terno", "applausi"}));
    QCOMPARE(h.claims.verdict(), QStringLiteral("TERNO VALIDO"));
    // Leaving the boxes of a complete claim plays nothing more.
    h.moveFocus(ControlId(Control::Text1, 2));
    h.moveFocus(ControlId(Control::Text1, 3));
    QCOMPARE(h.sound.played.size(), 2);
}

void TestClaimCheck::aLockedBoxOfAnotherPrizeAddsNothing()
{
    GameHarness h;
    h.drawAndPause({12, 34, 56});
    h.click(Control::cmd_verifica);
    h.clickPrize(0);
    h.type(0, "12");
    h.enter(0);      // counted for the ambo: 1
    h.clickPrize(1); // Text1(0) is locked now, still holding 12
    h.moveFocus(ControlId(Control::Text1, 0));
    h.moveFocus(ControlId(Control::Text1, 2)); // leaving it counts nothing for the terno
    QCOMPARE(h.state().conta_terno, std::int16_t(0));
    QCOMPARE(h.dialogs.shown.size(), 0);
}

void TestClaimCheck::theVerdictStandsUntilTheNextClaimDrawOrGame()
{
    GameHarness h;
    h.drawAndPause({12, 34});
    h.click(Control::cmd_verifica);
    QSignalSpy completed(&h.claims, &ClaimCheck::claimCompleted);
    auto ambo = [&] {
        h.clickPrize(0);
        h.type(0, "12");
        h.enter(0);
        h.type(1, "34");
        h.enter(1);
    };
    ambo();
    QCOMPARE(completed.size(), 1);
    QCOMPARE(completed[0][0].toInt(), 0);
    QCOMPARE(completed[0][1].toString(), QStringLiteral("AMBO VALIDO"));
    h.clickPrize(1);
    QCOMPARE(h.claims.verdict(), QString());
    QVERIFY(!h.view.isVisible(Control::lbl_esito));
    ambo();
    h.drawAndPause({5}); // the next number
    QCOMPARE(h.claims.verdict(), QString());
    h.click(Control::cmd_verifica);
    ambo();
    QCOMPARE(h.claims.verdict(), QStringLiteral("AMBO VALIDO"));
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.claims.verdict(), QString());
    QVERIFY(!h.view.isVisible(Control::lbl_esito));
}

void TestClaimCheck::enterInAnEmptyLockedBoxGivesBothMessages()
{
    GameHarness h;
    h.drawAndPause({12});
    h.click(Control::cmd_verifica);
    h.moveFocus(ControlId(Control::Text1, 3));
    h.enter(3);
    QCOMPARE(h.dialogs.shown.size(), 2);
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("Per attivare il controllo PRIMA clicca sul bottone terno"));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::None);
    QCOMPARE(h.dialogs.shown[0].title, QString());
    QCOMPARE(h.dialogs.shown[1].text, QStringLiteral("digitare un numero gia' estratto"));
    QCOMPARE(h.dialogs.shown[1].icon, Icon::Question);
    QCOMPARE(h.focusedBox(), 3);
}

void TestClaimCheck::aTypedNumberIsTheNumberItSays_data()
{
    // With 5 and 90 drawn. A leading zero or a decimal point with nothing or zeros after it writes
    // the same number; a fraction, or a text that only begins with a number, is no drawn number.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("emptied");
    QTest::newRow("5") << "5" << true << false;
    QTest::newRow("05") << "05" << true << false;
    QTest::newRow("5.") << "5." << true << false;
    QTest::newRow("5.0") << "5.0" << true << false;
    QTest::newRow("90 drawn") << "90" << true << false;
    QTest::newRow("90.") << "90." << true << false;
    QTest::newRow("0") << "0" << false << false;
    QTest::newRow("00") << "00" << false << false;
    QTest::newRow("5.5") << "5.5" << false << false;
    QTest::newRow(".5") << ".5" << false << false;
    QTest::newRow("point alone") << "." << false << false;
    QTest::newRow("two points") << "5.." << false << false;
    QTest::newRow("5/") << "5/" << false << false;
    QTest::newRow("slash") << "/" << false << false;
    QTest::newRow("8 not drawn") << "8" << false << false;
    QTest::newRow("08 not drawn") << "08" << false << false;
    QTest::newRow("95 emptied") << "95" << false << true;
    QTest::newRow("90.5 emptied") << "90.5" << false << true;
}

void TestClaimCheck::aTypedNumberIsTheNumberItSays()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(bool, emptied);
    GameHarness h;
    h.drawAndPause({5, 90});
    h.click(Control::cmd_verifica);
    h.clickPrize(3);
    const ControlId box(Control::Text1, 9);
    h.type(9, typed);
    QCOMPARE(h.caption(box), typed);
    h.enter(9);
    QCOMPARE(h.state().conta_cinquina, std::int16_t(accepted ? 1 : 0));
    if (emptied) {
        QCOMPARE(h.caption(box), QString());
        QCOMPARE(h.dialogs.shown.size(), 0);
        QCOMPARE(h.focusedBox(), 9);
    } else if (!accepted) {
        QCOMPARE(h.dialogs.shown.size(), 1);
        QCOMPARE(h.dialogs.shown[0].text, QStringLiteral(" il numero  ") + typed +
                                              QStringLiteral("   NON  e' stato ancora  estratto "));
        QCOMPARE(h.dialogs.shown[0].icon, Icon::Information);
        QCOMPARE(h.caption(box), typed);
        QCOMPARE(h.focusedBox(), 9);
    } else {
        QCOMPARE(h.dialogs.shown.size(), 0);
        QCOMPARE(h.caption(box), typed);
        QCOMPARE(h.focusedBox(), 10);
    }
}

void TestClaimCheck::aNumberWrittenTwoWaysIsOneNumber()
{
    // "34." and "034" are both the 34: one number of the claim, not an ambo; the claim goes to the
    // ladder with its numbers as numbers, and a box counted as "34." stops counting when the 34
    // goes back into the bag.
    GameHarness h;
    PrizeDesk desk(h.game, h.printRun.cardsInPlay());
    h.claims.setPrizeDesk(&desk);
    h.game.setBasketMode(true);
    for (int n : {5, 34})
        QVERIFY(h.game.enterNumber(n));
    QVERIFY(h.click(Control::cmd_verifica));
    QVERIFY(h.clickPrize(0));
    h.type(0, QStringLiteral("34."));
    h.enter(0);
    h.type(1, QStringLiteral("034"));
    h.enter(1);
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral(" il numero  034   è già nella richiesta "));
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    h.erase(1);
    h.type(1, QStringLiteral("05"));
    h.enter(1);
    QCOMPARE(h.claims.verdict(), QStringLiteral("AMBO VALIDO"));
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"ambo", "applausi"}));
    QCOMPARE(desk.ladder().wonAt(Prize::Ambo), 2);

    QVERIFY(h.game.takeBackAsked()); // the 34
    QCOMPARE(h.claims.verdict(), QString());
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 0)).back, Palette::lightYellow);
    QCOMPARE(h.view.cell(ControlId(Control::Text1, 1)).back, Palette::lightGreen);
}

void TestClaimCheck::aNumberOfAnEarlierGameIsNotDrawn()
{
    GameHarness h;
    h.drawAndPause({40, 41, 42});
    h.click(Control::cmd_nuovo);
    h.drawAndPause({5});
    h.click(Control::cmd_verifica);
    h.clickPrize(0);
    h.type(0, "41");
    h.enter(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    QCOMPARE(h.dialogs.shown.size(), 1);
}

void TestClaimCheck::enterInTheLastBoxChecksInPlace()
{
    GameHarness h;
    h.drawAndPause({1, 2, 3, 4, 5});
    h.click(Control::cmd_verifica);
    h.clickPrize(3);
    for (int i = 9; i <= 13; ++i) {
        h.type(i, QString::number(i - 8));
        h.enter(i);
    }
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"cinquina", "applausi"}));
    QCOMPARE(h.focusedBox(), 13);
}

void TestClaimCheck::cinquinaNeedsFiveAndEachThresholdPlaysItsWord()
{
    GameHarness h;
    h.drawAndPause({1, 2, 3, 4, 5});
    const struct {
        std::int16_t indice;
        int threshold;
        const char *word;
    } table[] = {{0, 2, "ambo"}, {1, 3, "terno"}, {2, 4, "quaterno"}, {3, 5, "cinquina"}};
    for (const auto &p : table) {
        h.sound.played.clear();
        for (int k = 1; k < p.threshold; ++k)
            h.game.Avviso(p.indice);
        QCOMPARE(h.sound.played, QStringList());
        h.game.Avviso(p.indice);
        QCOMPARE(h.sound.played, QStringList({p.word, "applausi"}));
        h.game.Avviso(p.indice); // the count started again from 0
        QCOMPARE(h.sound.played.size(), 2);
    }
}

void TestClaimCheck::avvisoOutsideTheFourPrizesDoesNothing()
{
    GameHarness h;
    h.sound.played.clear();
    h.game.Avviso(4);
    h.game.Avviso(-1);
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.state().conta_ambo + h.state().conta_cinquina, 0);
}

void TestClaimCheck::aBoxChangedAndNotLeftCountsForNothing()
{
    // A counted box whose text is then changed (a paste, or typing after a refused box kept the
    // focus) must not lend its old number to the claim.
    GameHarness h;
    h.drawAndPause({12, 34, 56});
    h.view.setEnabled(Control::cmd_verifica, true);
    h.click(Control::cmd_verifica);
    h.clickPrize(0);
    h.type(0, "12");
    h.enter(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    h.erase(0);
    h.type(0, "34");
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    h.sound.played.clear();
    h.type(1, "34");
    h.enter(1); // box 0 is not left: it still counts for nothing
    QVERIFY(!h.sound.played.contains(QStringLiteral("applausi")));
    QCOMPARE(h.claims.verdict(), QString());
}

void TestClaimCheck::closingDuringTheFanfareStopsIt()
{
    GameHarness h;
    h.drawAndPause({3, 4});
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("ambo")) h.game.close();
    };
    h.game.Avviso(0);
    h.game.Avviso(0);
    QVERIFY(h.game.isClosed());
    QVERIFY(!h.sound.played.contains(QStringLiteral("applausi")));
}

QTEST_GUILESS_MAIN(TestClaimCheck)
#include "test_claim_check.moc"
