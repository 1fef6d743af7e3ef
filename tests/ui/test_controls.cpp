// The window's own part of the controls: the speed bar's range and keys, and closing the real
// window. What the controls do to the game is tested without a window (tests/game).

#include "form_harness.h"

#include <QScrollBar>
#include <QTest>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void speedBarRangeAndSteps();
    void closingTheWindowDuringAPauseEndsTheDraw();
};

void TestControls::speedBarRangeAndSteps()
{
    Harness h;
    auto *bar = h.control<QScrollBar>("HScroll1");
    QCOMPARE(bar->minimum(), 100);
    QCOMPARE(bar->maximum(), 7000);
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(bar->value(), 3200);
    QCOMPARE(h.state().ritardo, 3.2f);
    QTest::keyClick(bar, Qt::Key_PageUp);
    QCOMPARE(bar->value(), 4200);
    QTest::keyClick(bar, Qt::Key_End);
    QCOMPARE(h.state().ritardo, 7.0f);
    QTest::keyClick(bar, Qt::Key_Home);
    QCOMPARE(h.state().ritardo, 0.1f);
}

void TestControls::closingTheWindowDuringAPauseEndsTheDraw()
{
    Harness h;
    QVERIFY(h.form->isVisible());
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5) h.form->close();
    };
    h.click("cmd_estrai");
    QVERIFY(h.game().isClosed());
    QVERIFY(!h.form->isVisible());
    QCOMPARE(h.drawn().size(), 5);
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
