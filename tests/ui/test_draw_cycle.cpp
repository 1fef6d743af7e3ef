// The draw cycle driven through the real window: clicks on its buttons, with fake sound, clock,
// randomness and message boxes.

#include "form_harness.h"

#include "announce/module1.h"
#include "game/draw.h"

#include <QElapsedTimer>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>

class TestDrawCycle : public QObject
{
    Q_OBJECT

private slots:
    void wholeGameDrawsEveryNumberOnce();
    void firstTurnCountsTheNumberAboutToBeDrawn();
    void stopInThePauseSavesTheNextOrdinal();
    void stopAtTheTopOfATurnSavesThatTurn();
    void newGameStoppingAtTheTopDisablesVerifica();
    void pauseDuringSpeechKeepsTheNumber();
    void newGameDuringThePauseRewinds();
    void speedChangeEndsThePauseUnderWay();
    void clockEqualToTheDeadlineStillWaits();
    void resumeInTheSamePumpStartsNoSecondDraw();
    void estraiAfterNewGameInTheSamePumpStartsAFreshGame();
    void resumeAfterTheEndDrawsNothing();
    void failingStepWarnsAndTheDrawGoesOn();
    void theLastNumberIsPickedWhateverR();
    void invariantsHoldAtEveryPumpOverRandomRuns();
};

void TestDrawCycle::wholeGameDrawsEveryNumberOnce()
{
    Harness h(7);
    h.sound.played.clear();
    h.click("cmd_estrai");

    const QStringList drawn = h.drawn();
    QCOMPARE(drawn.size(), 90);
    QCOMPARE(QSet<QString>(drawn.begin(), drawn.end()).size(), 90);
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.text("Label1"), QStringLiteral("Fine"));
    QCOMPARE(h.text("Label6"), QString());
    QCOMPARE(h.text("Label2"), QStringLiteral("Numeri estratti    90      e da estrarre   0"));
    // Every number was spoken in draw order: the tens, then the unit unless it is 0.
    QStringList expected;
    for (const QString &n : drawn)
        expected << chiavi_numero(std::int16_t(n.toInt()));
    QCOMPARE(h.sound.played, expected);
    // The buttons stay as during the draw.
    QVERIFY(!h.control("cmd_estrai")->isEnabled());
    QVERIFY(h.control("cmd_sospendi")->isEnabled());
    QVERIFY(h.control("cmd_nuovo")->isEnabled());
    QVERIFY(h.control("cmd_ripeti")->isEnabled());
    QVERIFY(!h.control("fra_cartelle")->isVisible());
}

void TestDrawCycle::firstTurnCountsTheNumberAboutToBeDrawn()
{
    Harness h;
    QString firstLine;
    h.clock.onPump = [&](FakeClock::Point) {
        if (firstLine.isEmpty()) firstLine = h.text("Label2");
        h.state().sospeso = true;
    };
    h.click("cmd_estrai");
    QCOMPARE(firstLine, QStringLiteral("Numeri estratti    1      e da estrarre   89"));
    QCOMPARE(h.drawn().size(), 1);
    QCOMPARE(h.text("Label1"), h.drawn().first());
}

void TestDrawCycle::stopInThePauseSavesTheNextOrdinal()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5) h.clickIfEnabled("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(6));
    QCOMPARE(h.label2Tag(), QStringLiteral("6"));
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Riprendi"));
    QVERIFY(h.control("cmd_verifica")->isEnabled());
    QCOMPARE(h.invariantFault(), QString());

    // Resuming continues the same game from the sixth number.
    const QStringList before = h.drawn();
    QString lineOfSixth;
    h.clock.onPump = [&](FakeClock::Point) {
        if (lineOfSixth.isEmpty()) lineOfSixth = h.text("Label2");
    };
    h.click("cmd_sospendi");
    QCOMPARE(lineOfSixth, QStringLiteral("Numeri estratti    6      e da estrarre   84"));
    QCOMPARE(h.drawn().mid(0, 5), before);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::stopAtTheTopOfATurnSavesThatTurn()
{
    // A pause handled in the last pass of a pause, after which the clock ends it, is taken at the
    // top of the next turn: the same position is saved.
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 3) {
            h.clickIfEnabled("cmd_sospendi");
            h.clock.t = h.clock.lastDeadline + 1; // the pause is over at the next check
        }
    };
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().size(), 3);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(4));
    QCOMPARE(h.label2Tag(), QStringLiteral("4"));
    QVERIFY(h.control("cmd_verifica")->isEnabled());
}

void TestDrawCycle::newGameStoppingAtTheTopDisablesVerifica()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 3) {
            h.click("cmd_nuovo");
            h.clock.t = h.clock.lastDeadline + 1;
        }
    };
    h.click("cmd_estrai");
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.state().quanti_da_estrarre, std::int16_t(90));
    QVERIFY(!h.control("cmd_verifica")->isEnabled());
    QVERIFY(h.control("cmd_estrai")->isEnabled());
    QVERIFY(!h.control("cmd_sospendi")->isEnabled());
    // The old position is gone, so the hidden gesture cannot resume the new game from it.
    QCOMPARE(h.label2Tag(), QString());
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::pauseDuringSpeechKeepsTheNumber()
{
    Harness h(3);
    // A click that arrives while the fourth number is spoken is handled at the next pump.
    bool queued = false;
    h.sound.onPlay = [&](const QString &key) {
        if (h.drawn().size() == 4 && key == QLatin1String("vale20") && !queued) {
            queued = true;
            h.clock.queue([&] { h.clickIfEnabled("cmd_sospendi"); });
        }
    };
    h.random.replay(picksFor({45, 7, 90, 21}));
    h.click("cmd_estrai");
    QCOMPARE(h.drawn(), QStringList({"45", "7", "90", "21"}));
    QCOMPARE(h.form->LBL_TAB[20]->text(), QStringLiteral("21"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(5));
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"vale20", "va1"}));

    h.sound.onPlay = nullptr;
    h.click("cmd_sospendi");
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.drawn().mid(0, 4), QStringList({"45", "7", "90", "21"}));
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::newGameDuringThePauseRewinds()
{
    Harness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 10) h.click("cmd_nuovo");
    };
    h.click("cmd_estrai");
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.text("Label1"), QStringLiteral("       "));
    QCOMPARE(h.text("Label2"), QStringLiteral("        "));
    for (QLabel *cell : h.form->LBL_TAB)
        QVERIFY(cell->text().isEmpty());
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));

    h.clock.onPump = nullptr;
    QString firstLine;
    h.clock.onPump = [&](FakeClock::Point) {
        if (firstLine.isEmpty()) firstLine = h.text("Label2");
    };
    h.click("cmd_estrai");
    QCOMPARE(firstLine, QStringLiteral("Numeri estratti    1      e da estrarre   89"));
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::speedChangeEndsThePauseUnderWay()
{
    Harness h;
    QCOMPARE(h.state().ritardo, 3.0f);
    double t0 = 0;
    int waitsInSecondPause = 0;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait) return;
        if (h.drawn().size() == 2) {
            ++waitsInSecondPause;
            if (waitsInSecondPause == 1) {
                t0 = h.clock.lastDeadline - 3.0;
                h.clock.t = t0 + 0.5; // half a second in, the bar goes to its left end
                QTest::keyClick(h.control<QScrollBar>("HScroll1"), Qt::Key_Home);
            }
        }
        if (h.drawn().size() == 3) h.state().sospeso = true;
    };
    h.click("cmd_estrai");
    QCOMPARE(h.control<QScrollBar>("HScroll1")->value(), 100);
    QCOMPARE(h.state().ritardo, 0.1f);
    // The second pause ended at the next pass, half a second after it began, not after three.
    QCOMPARE(waitsInSecondPause, 1);
    QCOMPARE(h.drawn().size(), 3);
    QVERIFY(h.clock.lastDeadline < t0 + 0.5 + 0.2);
}

void TestDrawCycle::clockEqualToTheDeadlineStillWaits()
{
    Harness h;
    int waits = 0;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait) return;
        ++waits;
        if (waits == 1) h.clock.t = h.clock.lastDeadline; // exactly at the deadline: not over yet
        if (waits == 3) h.state().sospeso = true;
    };
    h.click("cmd_estrai");
    // The first pause took two waits (equal, then past); the third wait is in the second pause.
    QCOMPARE(h.drawn().size(), 2);
}

void TestDrawCycle::resumeInTheSamePumpStartsNoSecondDraw()
{
    Harness h;
    int maxDepthSeen = 0;
    bool done = false;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 4 && !done) {
            done = true;
            h.click("cmd_sospendi");      // pause
            h.click("cmd_sospendi");      // and resume before the draw noticed
            h.gesture(Qt::LeftButton, 2); // the hidden resume as well
        }
        maxDepthSeen = std::max(maxDepthSeen, h.game().isDrawing() ? 1 : 0);
        QCOMPARE(h.invariantFault(), QString());
    };
    h.click("cmd_estrai");
    // The running draw went on to the end, alone: no number drawn twice.
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.text("Label1"), QStringLiteral("Fine"));
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Pausa"));
}

void TestDrawCycle::estraiAfterNewGameInTheSamePumpStartsAFreshGame()
{
    Harness h;
    bool done = false;
    QStringList firstLines;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 6 && !done) {
            done = true;
            h.click("cmd_nuovo");
            h.click("cmd_estrai");
        }
        if (h.state().quanti_da_estrarre == 89) firstLines << h.text("Label2");
        QCOMPARE(h.invariantFault(), QString());
    };
    h.click("cmd_estrai");
    QVERIFY(firstLines.contains(QStringLiteral("Numeri estratti    1      e da estrarre   89")));
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::resumeAfterTheEndDrawsNothing()
{
    Harness h;
    h.click("cmd_estrai");
    const QStringList game = h.drawn();
    const int nexts = h.random.nexts();
    h.click("cmd_sospendi"); // "&Pausa" after the end
    QCOMPARE(h.control<QPushButton>("cmd_sospendi")->text(), QStringLiteral("&Riprendi"));
    h.click("cmd_sospendi"); // "&Riprendi"
    QCOMPARE(h.random.nexts(), nexts);
    QCOMPARE(h.drawn(), game);
    QCOMPARE(h.text("Label1"), QStringLiteral("Fine"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::failingStepWarnsAndTheDrawGoesOn()
{
    Harness h;
    h.sound.missing.insert(QStringLiteral("va7"));
    h.random.replay(picksFor({7, 12}));
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 2) h.state().sospeso = true;
    };
    h.click("cmd_estrai");
    QCOMPARE(h.dialogs.shown.size(), 1);
    const auto &box = h.dialogs.shown.first();
    QCOMPARE(box.icon, Icon::Critical);
    QCOMPARE(box.title,
             QStringLiteral(" Problemi con il formato dei caratteri  in Corsivo = 'Script MT Bold' "));
    QCOMPARE(box.text, QStringLiteral("ATTENZIONE \r\n il font (carattere) utilizzato per il corsivo \r\n"
                                      " NON  e' presente su questo computer \r\n"
                                      " si prega di NON utilizzare  l'opzione Corsivo\r\n"
                                      " E' gradita la segnalazione all'autore del programma"));
    QVERIFY(h.control<QRadioButton>("Opt_minuscolo")->isChecked());
    // The turn went on after the failed speech: its pause ran and the next number was drawn.
    QCOMPARE(h.drawn(), QStringList({"7", "12"}));
    QCOMPARE(h.text("Label6"), QStringLiteral("dodici"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestDrawCycle::theLastNumberIsPickedWhateverR()
{
    QCOMPARE(pesca_indice(0.0, 1), 1);
    QCOMPARE(pesca_indice(0.9999999999999999, 1), 1);
    QCOMPARE(pesca_indice(0.9999999999999999, 90), 90);
    QCOMPARE(pesca_indice(0.0, 90), 1);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, pesca_indice(0.5, 0));

    Harness h;
    h.random.replay(std::vector<double>(89, 0.0));
    h.random.replay({0.9999999999999999});
    h.click("cmd_estrai");
    QCOMPARE(h.drawn().last(), QStringLiteral("90"));
}

void TestDrawCycle::invariantsHoldAtEveryPumpOverRandomRuns()
{
    // Random steering at random pumps: pauses, resumes, new games, speed changes, gestures and
    // starts. The game state and the board must agree wherever events are handled.
    const int budgetMs = qEnvironmentVariableIntValue("TOMBOLA_RANDOM_RUN_MS") > 0
                             ? qEnvironmentVariableIntValue("TOMBOLA_RANDOM_RUN_MS")
                             : 20000;
    QElapsedTimer budget;
    budget.start();
    int runs = 0;
    long events = 0;
    for (std::uint32_t seed = 1; budget.elapsed() < budgetMs && runs < 3000; ++seed, ++runs) {
        Harness h(seed);
        std::mt19937 dice(seed * 7919u);
        auto roll = [&](int n) { return int(dice() % unsigned(n)); };
        QString fault;
        int budgetEvents = 400;
        h.clock.onPump = [&](FakeClock::Point) {
            if (!fault.isEmpty() || --budgetEvents < 0) {
                h.state().sospeso = true; // wind the run down
                return;
            }
            fault = h.invariantFault();
            if (!fault.isEmpty()) return;
            ++events;
            switch (roll(12)) {
            case 0:
                h.clickIfEnabled("cmd_sospendi");
                break;
            case 1:
                h.clickIfEnabled("cmd_nuovo");
                break;
            case 2:
                h.clickIfEnabled("cmd_estrai");
                break;
            case 3:
                h.control<QScrollBar>("HScroll1")->setValue(100 + roll(6901));
                break;
            case 4:
                h.gesture(roll(2) ? Qt::RightButton : Qt::LeftButton, roll(10));
                break;
            case 5:
                h.clock.t += roll(4000) / 1000.0;
                break;
            default:
                break;
            }
            if (!fault.isEmpty()) return;
            fault = h.invariantFault();
        };
        for (int k = 0; k < 6 && fault.isEmpty() && budgetEvents > 0; ++k) {
            switch (roll(4)) {
            case 0:
                h.clickIfEnabled("cmd_estrai");
                break;
            case 1:
                h.clickIfEnabled("cmd_sospendi");
                break;
            case 2:
                h.clickIfEnabled("cmd_nuovo");
                break;
            case 3:
                h.gesture(Qt::LeftButton, 1);
                break;
            }
            if (fault.isEmpty()) fault = h.invariantFault();
        }
        h.clock.onPump = nullptr;
        if (!fault.isEmpty()) QFAIL(qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(fault)));
        QVERIFY(!h.game().isDrawing());
    }
    qInfo("random runs: %d, events: %ld, in %lld ms", runs, events, budget.elapsed());
    QVERIFY(runs >= 50);
}

QTEST_MAIN(TestDrawCycle)
#include "test_draw_cycle.moc"
