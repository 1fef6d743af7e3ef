// The repeat of the last numbers during a pause, on a fake window: the repeat box, the red big
// display, the speech at the game's pace, and the clips that may be missing.

#include "fakes/game_harness.h"

#include <QSignalSpy>
#include <QTest>

class TestRepeat : public QObject
{
    Q_OBJECT

private slots:
    void repeatShowsAndSpeaksTheLastNumbersOldestFirst();
    void repeatRefusesMoreThanDrawn();
    void ripetiShowsTheHintWhileDrawing();
    void repeatCountsOutsideSixteenBits();
    void missingClipsOutsideTheDrawAreSkippedQuietly();
    void closingDuringARepeatEndsIt();
};

void TestRepeat::repeatShowsAndSpeaksTheLastNumbersOldestFirst()
{
    GameHarness h;
    h.drawAndPause({17, 4, 88});
    h.click(Control::cmd_ripeti);
    QVERIFY(h.view.isVisible(Control::txt_ultimi));
    QStringList shown;
    QList<bool> red;
    h.clock.onPump = [&](FakeClock::Point) {
        const QString t = h.caption(Control::Label1);
        if (!t.isEmpty() && (shown.isEmpty() || shown.last() != t)) {
            shown << t;
            red << (h.view.cell(Control::Label1).back == Palette::red);
        }
    };
    h.sound.played.clear();
    h.typeInRepeatBox("2");
    h.enterInRepeatBox();
    QCOMPARE(shown, QStringList({"4", "88"}));
    QCOMPARE(red, QList<bool>({true, true}));
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "numero4", "numero88"}));
    QCOMPARE(h.caption(Control::Label1), QString());
    QCOMPARE(h.view.cell(Control::Label1).back, Palette::lightCyan);
    QCOMPARE(h.caption(Control::Label6), QString());
    QCOMPARE(h.caption(Control::txt_ultimi), QString());
    QVERIFY(!h.view.isVisible(Control::txt_ultimi));
    QCOMPARE(h.drawn(), QStringList({"17", "4", "88"}));
    QCOMPARE(h.invariantFault(), QString());
}

void TestRepeat::repeatRefusesMoreThanDrawn()
{
    GameHarness h;
    h.drawAndPause({1, 2, 3, 4, 5});
    h.click(Control::cmd_ripeti);
    h.typeInRepeatBox("6");
    h.sound.played.clear();
    h.enterInRepeatBox();
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("  troppi  numeri \r\n\r\n i numeri   gia   estratti  sono    5"));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::Question);
    QCOMPARE(h.sound.played, QStringList());
    QVERIFY(h.view.isVisible(Control::txt_ultimi));
    QCOMPARE(h.caption(Control::txt_ultimi), QStringLiteral("6"));
}

void TestRepeat::ripetiShowsTheHintWhileDrawing()
{
    GameHarness h;
    int clicks = 0;
    QList<bool> hint;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && clicks < 2) {
            ++clicks;
            h.click(Control::cmd_ripeti);
            hint << h.view.isVisible(Control::Label4);
            QVERIFY(!h.view.isVisible(Control::txt_ultimi));
        }
        if (h.drawn().size() == 3) h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(hint, QList<bool>({true, false}));
}

void TestRepeat::repeatCountsOutsideSixteenBits()
{
    GameHarness h;
    h.drawAndPause({1, 2});
    h.click(Control::cmd_ripeti);
    h.typeInRepeatBox("99999");
    h.enterInRepeatBox();
    QCOMPARE(h.dialogs.shown.size(), 1); // too many
    h.view.setCaption(Control::txt_ultimi, QStringLiteral("-99999"));
    h.sound.played.clear();
    h.enterInRepeatBox();
    QCOMPARE(h.sound.played, QStringList({"num_estratti"})); // nothing repeated, as for 0
    QVERIFY(!h.view.isVisible(Control::txt_ultimi));
}

void TestRepeat::missingClipsOutsideTheDrawAreSkippedQuietly()
{
    // Start-up, a new game, the repeat and the fanfare go on without their clips and say nothing.
    GameHarness h(1, false);
    h.sound.missing = {"apri", "inizio", "num_estratti", "ambo", "applausi"};
    h.game.load();
    QVERIFY(h.view.isVisible(Control::Form1));
    h.drawAndPause({3, 4});
    h.game.Avviso(0);
    h.game.Avviso(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    h.click(Control::cmd_ripeti);
    h.typeInRepeatBox("2");
    h.enterInRepeatBox();
    QVERIFY(!h.view.isVisible(Control::txt_ultimi));
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"numero3", "numero4"}));
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.dialogs.shown.size(), 0);
    QCOMPARE(h.invariantFault(), QString());
}

void TestRepeat::closingDuringARepeatEndsIt()
{
    GameHarness h;
    QSignalSpy closed(&h.game, &Game::closed);
    h.drawAndPause({10, 20, 30, 40, 50});
    h.click(Control::cmd_ripeti);
    h.typeInRepeatBox("5");
    QStringList shown;
    h.clock.onPump = [&](FakeClock::Point) {
        const QString t = h.caption(Control::Label1);
        if (!shown.contains(t) && !t.isEmpty()) shown << t;
        if (shown.size() == 2) h.game.close();
    };
    h.enterInRepeatBox();
    QVERIFY(h.game.isClosed());
    QCOMPARE(shown, QStringList({"10", "20"}));
    QCOMPARE(closed.size(), 1); // the window is told to go
}

QTEST_GUILESS_MAIN(TestRepeat)
#include "test_repeat.moc"
