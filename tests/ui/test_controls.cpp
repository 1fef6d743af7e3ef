// Start-up, new game, pause and resume, the speed bar, the hidden gesture and closing, driven
// through the real window with recording fakes.

#include "form_harness.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void startUpPlaysApriBeforeTheWindowAndInizioAfter();
    void startUpLeavesTheWindowReadyToPlay();
    void pauseThenResumeContinuesTheSameGame();
    void newGameDuringADrawClearsEverything();
    void newGameWhilePausedRestoresThePauseCaption();
    void newGameResetsHalfDoneClaims();
    void speedBarRangeAndSteps();
    void rightGestureStopsSilentlyAndPausaResumes();
    void gestureAtOrBeyondHundredTwipsDoesNothing();
    void gestureWithoutAStoredPositionDoesNothing();
    void leftGestureResumesFromTheSavedPosition();
    void closingDuringAPauseEndsTheDrawAndTheSound();
    void closingDuringNewGameSoundStopsStartUp();
    void activationRunsOnlyOnce();
};

void TestControls::startUpPlaysApriBeforeTheWindowAndInizioAfter()
{
    Harness h(1, false);
    QStringList order;
    h.sound.onPlay = [&](const QString &key) { order << key + (h.form->isVisible() ? "+shown" : "+hidden"); };
    h.form->Form_Load();
    QCOMPARE(order, QStringList({"apri+hidden", "inizio+shown"}));
    QVERIFY(h.random.reseeds() >= 2); // start-up and the new-game reset both reseed
}

void TestControls::startUpLeavesTheWindowReadyToPlay()
{
    Harness h;
    const GameState &s = h.state();
    QCOMPARE(h.control<QScrollBar>("HScroll1")->value(), 3000);
    QCOMPARE(s.ritardo, 3.0f);
    QCOMPARE(s.prossima_estrazione, std::int16_t(1));
    QCOMPARE(s.quanti_da_estrarre, std::int16_t(90));
    QVERIFY(s.nuova_partita);
    QVERIFY(!s.sospeso);
    QCOMPARE(s.conta_ambo + s.conta_terno + s.conta_quaterno + s.conta_cinquina, 0);
    QCOMPARE(s.conta_cartelle, std::int16_t(-1));
    QVERIFY(h.control("cmd_estrai")->isEnabled());
    for (const char *off : {"cmd_sospendi", "cmd_nuovo", "cmd_ripeti", "cmd_verifica"})
        QVERIFY2(!h.control(off)->isEnabled(), off);
    QVERIFY(!h.control("fra_controlli")->isVisible());
    QVERIFY(!h.control("Label4")->isVisible());
    QVERIFY(!h.control("txt_ultimi")->isVisible());
    QVERIFY(h.control("fra_cartelle")->isVisible());
    QVERIFY(h.control<QRadioButton>("Opt_maiuscolo")->isChecked());
    for (int i = 0; i < 14; ++i)
        QVERIFY(h.form->Text1[i]->isReadOnly());
    for (QLabel *cell : h.form->LBL_TAB) {
        QVERIFY(cell->text().isEmpty());
        QCOMPARE(cell->frameShape(), QFrame::Box);
        QCOMPARE(Form1::backColor(cell), QColor(255, 255, 255));
    }
    QCOMPARE(h.state().font_corsivo, QStringLiteral("script Mt Bold"));
    QCOMPARE(h.control("Label6")->font().family(), QStringLiteral("script Mt Bold"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestControls::pauseThenResumeContinuesTheSameGame()
{
    Harness h;
    QStringList lines;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 20 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 20);
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Riprendi"));
    QVERIFY(h.control("cmd_verifica")->isEnabled());
    const QStringList first = h.drawn();

    h.clock.onPump = [&](FakeClock::Point) {
        if (lines.isEmpty() || lines.last() != h.text("Label2")) lines << h.text("Label2");
    };
    h.click("cmd_sospendi");
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    QVERIFY(!h.control("cmd_verifica")->isEnabled());
    QCOMPARE(lines.first(), QStringLiteral("Numeri estratti    21      e da estrarre   69"));
    QCOMPARE(lines.size(), 70);
    QCOMPARE(h.drawn().mid(0, 20), first);
    QCOMPARE(h.invariantFault(), QString());
}

void TestControls::newGameDuringADrawClearsEverything()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Pump && h.drawn().size() == 12) h.click("cmd_nuovo");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.text("Label1"), QString(7, QLatin1Char(' ')));
    QCOMPARE(h.text("Label2"), QString(8, QLatin1Char(' ')));
    QCOMPARE(h.text("Label6"), QString());
    QVERIFY(h.control("cmd_estrai")->isEnabled());
    QVERIFY(!h.control("cmd_sospendi")->isEnabled());
    QVERIFY(!h.control("cmd_ripeti")->isEnabled());
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.sound.played.count(QStringLiteral("apri")), 2);
}

void TestControls::newGameWhilePausedRestoresThePauseCaption()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 3 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Riprendi"));
    h.clock.onPump = nullptr;
    h.click("cmd_nuovo");
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    QVERIFY(!h.control("cmd_sospendi")->isEnabled());
    QVERIFY(!h.control("cmd_verifica")->isEnabled());
    QCOMPARE(h.drawn().size(), 0);
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 90);
}

void TestControls::newGameResetsHalfDoneClaims()
{
    Harness h;
    h.state().conta_ambo = 1;
    h.state().conta_cinquina = 4;
    h.click("cmd_estrai");
    h.click("cmd_nuovo");
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    QCOMPARE(h.state().conta_cinquina, std::int16_t(0));
}

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

void TestControls::rightGestureStopsSilentlyAndPausaResumes()
{
    // The hidden stop leaves "&Pausa" on the button; a click on it resumes, because the handler
    // chooses its branch by the stop flag, not by the caption.
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 4 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.label2Tag(), QStringLiteral("5"));
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 8) h.gesture(Qt::RightButton, 3);
    };
    h.click("cmd_sospendi"); // "&Riprendi"
    QCOMPARE(h.drawn().size(), 8);
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    QCOMPARE(h.label2Tag(), QStringLiteral("9"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(9));

    h.clock.onPump = nullptr;
    h.click("cmd_sospendi");
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestControls::gestureAtOrBeyondHundredTwipsDoesNothing()
{
    Harness h;
    h.form->setTag(Control::Label2,
                   QStringLiteral("1")); // a stored position, so only the 100-twip bound holds it back
    h.clock.onPump = [&](FakeClock::Point) {
        if (h.drawn().size() == 6) h.gesture(Qt::RightButton, 100.0 / 15.0); // exactly 100 twips
    };
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 90);
}

void TestControls::gestureWithoutAStoredPositionDoesNothing()
{
    // Without a stored position the left button has nowhere to resume from, but the right one
    // still stops the draw: only the copy of the missing position is skipped.
    Harness h;
    h.gesture(Qt::LeftButton, 1);
    QVERIFY(h.sound.played.size() == 2); // apri and inizio only: no draw started
    QCOMPARE(h.drawn().size(), 0);
    h.gesture(Qt::RightButton, 1);
    QVERIFY(h.state().sospeso);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    bool stopped = false;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 4 && !stopped) {
            stopped = true;
            h.gesture(Qt::RightButton, 1);
        }
    };
    h.click("cmd_estrai"); // the first draw of the program: no position stored before it
    QCOMPARE(h.drawn().size(), 4);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(5));
    QCOMPARE(h.label2Tag(), QStringLiteral("5"));
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
    h.click("cmd_nuovo");

    // After a stop and a new game the old position is forgotten as well.
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 30 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.label2Tag(), QStringLiteral("31"));
    h.clock.onPump = nullptr;
    h.click("cmd_nuovo");
    QCOMPARE(h.label2Tag(), QString());
    h.gesture(Qt::LeftButton, 1);
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
}

void TestControls::leftGestureResumesFromTheSavedPosition()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 10 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.label2Tag(), QStringLiteral("11"));
    h.clock.onPump = nullptr;
    const QStringList first = h.drawn();
    h.gesture(Qt::LeftButton, 2);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.drawn().mid(0, 10), first);
    QCOMPARE(h.invariantFault(), QString());
}

void TestControls::closingDuringAPauseEndsTheDrawAndTheSound()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5) h.form->close();
    };
    h.click("cmd_estrai");
    QVERIFY(h.game().isClosed());
    QVERIFY(!h.form->isVisible());
    QVERIFY(!h.game().isDrawing());
    QCOMPARE(h.drawn().size(), 5);
    QVERIFY(h.sound.closed);
    // Nothing can start drawing again behind the closed window.
    h.form->cmd_estrai_Click();
    QCOMPARE(h.drawn().size(), 5);
}

void TestControls::closingDuringNewGameSoundStopsStartUp()
{
    Harness h(1, false);
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("apri")) h.form->close();
    };
    h.form->Form_Load();
    QVERIFY(h.game().isClosed());
    QVERIFY(!h.form->isVisible());
    QCOMPARE(h.sound.played, QStringList({"apri"}));
}

void TestControls::activationRunsOnlyOnce()
{
    // Activating the window again (after a message box, or coming back from another program)
    // must not refill the pool or clear the board mid-game.
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 7 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    h.form->Form_Activate();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(h.form, &activate);
    QCOMPARE(h.drawn().size(), 7);
    QCOMPARE(h.invariantFault(), QString());
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
