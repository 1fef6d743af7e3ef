// The draw-cycle handlers of the real window: a click on its buttons or a mouse move over the big
// number reaches the game. What the game then does is tested without a window (tests/game).

#include "form_harness.h"

#include <QTest>

class TestDrawCycle : public QObject
{
    Q_OBJECT

private slots:
    void estraiAndSospendiClicksDrawPauseAndResume();
    void nuovoClickClearsTheRealBoard();
    void label1MoveInTwipsReachesTheGesture_data();
    void label1MoveInTwipsReachesTheGesture();
};

void TestDrawCycle::estraiAndSospendiClicksDrawPauseAndResume()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 5);
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Riprendi"));
    QVERIFY(h.control("cmd_verifica")->isEnabled());
    QCOMPARE(h.invariantFault(), QString()); // the real cells are lit and cyan

    h.clock.onPump = nullptr;
    h.click("cmd_sospendi");
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.text("Label1"), QStringLiteral("Fine"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::nuovoClickClearsTheRealBoard()
{
    Harness h;
    h.drawAndPause({4, 44, 88});
    h.click("cmd_nuovo");
    QCOMPARE(h.drawn().size(), 0);
    for (QLabel *cell : h.form->LBL_TAB) {
        QVERIFY(cell->text().isEmpty());
        QCOMPARE(Form1::backColor(cell), QColor(255, 255, 255));
    }
    QCOMPARE(h.text("Label1"), QString(7, QLatin1Char(' ')));
    QVERIFY(h.control("cmd_estrai")->isEnabled());
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::label1MoveInTwipsReachesTheGesture_data()
{
    QTest::addColumn<double>("xPixels");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<bool>("resumes");
    QTest::newRow("left, 99 twips") << 99.0 / 15.0 << int(Qt::LeftButton) << true;
    QTest::newRow("left, exactly 100 twips") << 100.0 / 15.0 << int(Qt::LeftButton) << false;
    QTest::newRow("middle") << 1.0 << int(Qt::MiddleButton) << false;
    QTest::newRow("left and right") << 1.0 << int(Qt::LeftButton | Qt::RightButton) << false;
}

void TestDrawCycle::label1MoveInTwipsReachesTheGesture()
{
    QFETCH(double, xPixels);
    QFETCH(int, buttons);
    QFETCH(bool, resumes);
    Harness h;
    h.drawAndPause({1, 2, 3, 4});
    QCOMPARE(h.label2Tag(), QStringLiteral("5"));
    h.gesture(Qt::MouseButtons(buttons), xPixels);
    QCOMPARE(h.drawn().size(), resumes ? 90 : 4);
}

QTEST_MAIN(TestDrawCycle)
#include "test_draw_cycle.moc"
