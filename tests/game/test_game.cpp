// The draw cycle, the game controls and the words under the big number, driven through the game's
// handlers on a fake window, with fake sound, clock, randomness and message boxes.

#include "fakes/game_harness.h"

#include "announce/speech.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <random>

namespace
{
const QString kScriptWarning =
    QStringLiteral("ATTENZIONE \r\n il font (carattere) utilizzato per il corsivo \r\n"
                   " NON  e' presente su questo computer \r\n"
                   " si prega di NON utilizzare  l'opzione Corsivo\r\n"
                   " E' gradita la segnalazione all'autore del programma");
const QString kScriptWarningTitle =
    QStringLiteral(" Problemi con il formato dei caratteri  in Corsivo = 'Script MT Bold' ");

// Pauses as the pause button would when the draw reaches `count` numbers, at a wait.
std::function<void(FakeClock::Point)> pauseAt(GameHarness &h, int count)
{
    return [&h, count](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == count && !h.state().sospeso)
            h.click(Control::cmd_sospendi);
    };
}
} // namespace

class TestGame : public QObject
{
    Q_OBJECT

private slots:
    // Start-up.
    void startUpPlaysApriBeforeTheWindowAndInizioAfter();
    void startUpLeavesTheWindowReadyToPlay();
    void startUpFallsBackToScriptWhenTheFaceFails();
    void activationRunsOnlyOnce();
    void theTableSpellsEveryNumber();

    // The draw cycle.
    void wholeGameDrawsEveryNumberOnce();
    void firstTurnCountsTheNumberAboutToBeDrawn();
    void stopInThePauseSavesTheNextOrdinal();
    void stopAtTheTopOfATurnSavesThatTurn();
    void newGameStoppingAtTheTopDisablesVerifica();
    void pauseDuringSpeechKeepsTheNumber_data();
    void pauseDuringSpeechKeepsTheNumber();
    void newGameDuringThePauseRewinds();
    void speedChangeEndsThePauseUnderWay();
    void clockEqualToTheDeadlineStillWaits();
    void resumeInTheSamePumpStartsNoSecondDraw();
    void estraiAfterNewGameInTheSamePumpStartsAFreshGame();
    void resumeAfterTheEndDrawsNothing();
    void theLastNumberIsPickedWhateverR();
    void invariantsHoldAtEveryPumpOverRandomRuns();

    // A failing step of a turn.
    void failingStepWarnsAndTheDrawGoesOn();
    void aFailingControlStepWarnsOnceAndTheTurnGoesOn_data();
    void aFailingControlStepWarnsOnceAndTheTurnGoesOn();

    // The controls.
    void pauseThenResumeContinuesTheSameGame();
    void newGameDuringADrawClearsEverything();
    void newGameWhilePausedRestoresThePauseCaption();
    void newGameResetsHalfDoneClaims();
    void rightGestureStopsSilentlyAndPausaResumes();
    void gestureAtOrBeyondHundredTwipsDoesNothing();
    void gestureWithoutAStoredPositionDoesNothing();
    void aNewGameInTheMiddleOfAGameAsksFirst();
    void leftGestureResumesFromTheSavedPosition();
    void closingDuringAPauseEndsTheDrawAndTheSound();
    void closingDuringNewGameSoundStopsStartUp();

    // The words and the speech.
    void wordsInEachMode_data();
    void wordsInEachMode();
    void escludiEmptiesAtOnceAndLaterDrawsLeaveItEmpty();
    void switchingModeInAPauseDoesNotRedraw();
    void failingCorsivoDrawWarnsOnceAndWritesLowerCase();
    void clipsOfANumber_data();
    void clipsOfANumber();
    void aPumpFollowsATwoClipNumberEitherWay();
};

// ---------------------------------------------------------------------------------------------
// Start-up.

void TestGame::startUpPlaysApriBeforeTheWindowAndInizioAfter()
{
    GameHarness h(1, false);
    QStringList order;
    h.sound.onPlay = [&](const QString &key) {
        order << key + (h.view.isVisible(Control::Form1) ? "+shown" : "+hidden");
    };
    h.game.load();
    QCOMPARE(order, QStringList({"apri+hidden", "inizio+shown"}));
    QVERIFY(h.random.reseeds() >= 2); // start-up and the new-game reset both reseed
}

void TestGame::startUpLeavesTheWindowReadyToPlay()
{
    GameHarness h;
    const GameState &s = h.state();
    QCOMPARE(h.view.value(Control::HScroll1), 3000);
    QCOMPARE(s.ritardo, 3.0f);
    QCOMPARE(s.prossima_estrazione, std::int16_t(1));
    QCOMPARE(s.quanti_da_estrarre, std::int16_t(90));
    QVERIFY(s.nuova_partita);
    QVERIFY(!s.sospeso);
    QCOMPARE(s.conta_ambo + s.conta_terno + s.conta_quaterno + s.conta_cinquina, 0);
    QCOMPARE(s.conta_cartelle, std::int16_t(-1));
    QVERIFY(h.view.isEnabled(Control::cmd_estrai));
    for (Control off :
         {Control::cmd_sospendi, Control::cmd_nuovo, Control::cmd_ripeti, Control::cmd_verifica})
        QVERIFY2(!h.view.isEnabled(off), qPrintable(QString::number(int(off))));
    QVERIFY(!h.view.isVisible(Control::fra_controlli));
    QVERIFY(!h.view.isVisible(Control::Label4));
    QVERIFY(!h.view.isVisible(Control::txt_ultimi));
    QVERIFY(h.view.isVisible(Control::fra_cartelle));
    QVERIFY(h.view.isChecked(Control::Opt_maiuscolo));
    for (int i = 0; i < 14; ++i)
        QVERIFY(h.view.isLocked(ControlId(Control::Text1, i)));
    for (int k = 0; k < 90; ++k) {
        const FakeView::Cell &cell = h.view.cell(ControlId(Control::LBL_TAB, k));
        QVERIFY(cell.caption.isEmpty());
        QVERIFY(cell.border);
        QCOMPARE(cell.back, Palette::white);
    }
    QCOMPARE(h.state().font_corsivo, QStringLiteral("script Mt Bold"));
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("script Mt Bold"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::startUpFallsBackToScriptWhenTheFaceFails()
{
    // A script face that cannot be set at start-up falls back to "Script" without a word, and a
    // Corsivo draw then uses that face.
    GameHarness h(1, false);
    h.view.failOn = FakeView::Failure{FakeView::Operation::SetFace, Control::Label6};
    h.game.load();
    QCOMPARE(h.view.failures, 1);
    QCOMPARE(h.state().font_corsivo, QStringLiteral("Script"));
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("Script"));
    QCOMPARE(h.dialogs.shown.size(), 0);
    h.chooseWriting(Control::Opt_script);
    h.drawAndPause({73});
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("Script"));
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("settantatre"));
}

void TestGame::activationRunsOnlyOnce()
{
    // Activating the window again (after a message box, or coming back from another program)
    // must not refill the pool or clear the board mid-game.
    GameHarness h;
    h.clock.onPump = pauseAt(h, 7);
    h.click(Control::cmd_estrai);
    h.game.activate();
    QCOMPARE(h.drawn().size(), 7);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::theTableSpellsEveryNumber()
{
    GameHarness h;
    const GameState &s = h.state();
    // A few entries by hand, the irregular ones among them.
    QCOMPARE(s.numeri_in_lettere(1), QStringLiteral("uno"));
    QCOMPARE(s.numeri_in_lettere(17), QStringLiteral("disciasette"));
    QCOMPARE(s.numeri_in_lettere(21), QStringLiteral("ventuno"));
    QCOMPARE(s.numeri_in_lettere(28), QStringLiteral("ventotto"));
    QCOMPARE(s.numeri_in_lettere(71), QStringLiteral("settantauno"));
    QCOMPARE(s.numeri_in_lettere(81), QStringLiteral("ottantuno"));
    QCOMPARE(s.numeri_in_lettere(90), QStringLiteral("novanta"));
    // Every compound word begins with its ten's word, less the final vowel before uno/otto.
    const QStringList tens{"venti",    "trenta",   "quaranta", "cinquanta",
                           "sessanta", "settanta", "ottanta",  "novanta"};
    for (int n = 21; n <= 89; ++n) {
        if (n % 10 == 0) continue;
        const QString ten = tens[n / 10 - 2];
        QVERIFY2(s.numeri_in_lettere(n).startsWith(ten.left(ten.size() - 1)), qPrintable(QString::number(n)));
        QVERIFY(s.numeri_in_lettere(n) == s.numeri_in_lettere(n).toLower());
    }
}

// ---------------------------------------------------------------------------------------------
// The draw cycle.

void TestGame::wholeGameDrawsEveryNumberOnce()
{
    GameHarness h(7);
    h.sound.played.clear();
    h.click(Control::cmd_estrai);

    const QStringList drawn = h.drawn();
    QCOMPARE(drawn.size(), 90);
    QCOMPARE(QSet<QString>(drawn.begin(), drawn.end()).size(), 90);
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("Fine"));
    QCOMPARE(h.caption(Control::Label6), QString());
    QCOMPARE(h.caption(Control::Label2), QStringLiteral("Numeri estratti    90      e da estrarre   0"));
    // Every number was spoken in draw order, each with its whole clip.
    QStringList expected;
    for (const QString &n : drawn)
        expected << wholeNumberKey(std::int16_t(n.toInt()));
    QCOMPARE(h.sound.played, expected);
    // The buttons stay as during the draw.
    QVERIFY(!h.view.isEnabled(Control::cmd_estrai));
    QVERIFY(h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(h.view.isEnabled(Control::cmd_nuovo));
    QVERIFY(h.view.isEnabled(Control::cmd_ripeti));
    QVERIFY(!h.view.isVisible(Control::fra_cartelle));
}

void TestGame::firstTurnCountsTheNumberAboutToBeDrawn()
{
    GameHarness h;
    QString firstLine;
    h.clock.onPump = [&](FakeClock::Point) {
        if (firstLine.isEmpty()) firstLine = h.caption(Control::Label2);
        h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(firstLine, QStringLiteral("Numeri estratti    1      e da estrarre   89"));
    QCOMPARE(h.drawn().size(), 1);
    QCOMPARE(h.caption(Control::Label1), h.drawn().first());
}

void TestGame::stopInThePauseSavesTheNextOrdinal()
{
    GameHarness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5) h.click(Control::cmd_sospendi);
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(6));
    QCOMPARE(h.label2Tag(), QStringLiteral("6"));
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    QVERIFY(h.view.isEnabled(Control::cmd_verifica));
    QCOMPARE(h.invariantFault(), QString());

    // Resuming continues the same game from the sixth number.
    const QStringList before = h.drawn();
    QString lineOfSixth;
    h.clock.onPump = [&](FakeClock::Point) {
        if (lineOfSixth.isEmpty()) lineOfSixth = h.caption(Control::Label2);
    };
    h.click(Control::cmd_sospendi);
    QCOMPARE(lineOfSixth, QStringLiteral("Numeri estratti    6      e da estrarre   84"));
    QCOMPARE(h.drawn().mid(0, 5), before);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::stopAtTheTopOfATurnSavesThatTurn()
{
    // A pause handled in the last pass of a pause, after which the clock ends it, is taken at the
    // top of the next turn: the same position is saved.
    GameHarness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 3) {
            h.click(Control::cmd_sospendi);
            h.clock.t = h.clock.lastDeadline + 1; // the pause is over at the next check
        }
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 3);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(4));
    QCOMPARE(h.label2Tag(), QStringLiteral("4"));
    QVERIFY(h.view.isEnabled(Control::cmd_verifica));
}

void TestGame::newGameStoppingAtTheTopDisablesVerifica()
{
    GameHarness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 3) {
            h.click(Control::cmd_nuovo);
            h.clock.t = h.clock.lastDeadline + 1;
        }
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.state().quanti_da_estrarre, std::int16_t(90));
    QVERIFY(!h.view.isEnabled(Control::cmd_verifica));
    QVERIFY(h.view.isEnabled(Control::cmd_estrai));
    QVERIFY(!h.view.isEnabled(Control::cmd_sospendi));
    // The old position is gone, so the hidden gesture cannot resume the new game from it.
    QCOMPARE(h.label2Tag(), QString());
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::pauseDuringSpeechKeepsTheNumber_data()
{
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QString>("during"); // the clip of 21 during which the click comes
    QTest::addColumn<QStringList>("said");
    QTest::newRow("whole clip") << true << QStringLiteral("numero21") << QStringList{"numero90", "numero21"};
    QTest::newRow("composed") << false << QStringLiteral("vale20") << QStringList{"vale20", "va1"};
}

void TestGame::pauseDuringSpeechKeepsTheNumber()
{
    QFETCH(bool, whole);
    QFETCH(QString, during);
    QFETCH(QStringList, said);
    GameHarness h(3);
    if (!whole) h.sound.withoutWholeNumbers();
    // A click that arrives while the fourth number is spoken is handled at the next pump.
    bool queued = false;
    h.sound.onPlay = [&](const QString &key) {
        if (h.drawn().size() == 4 && key == during && !queued) {
            queued = true;
            h.clock.queue([&] { h.click(Control::cmd_sospendi); });
        }
    };
    h.random.replay(picksFor({45, 7, 90, 21}));
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn(), QStringList({"45", "7", "90", "21"}));
    QCOMPARE(h.caption(ControlId(Control::LBL_TAB, 20)), QStringLiteral("21"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(5));
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), said);

    h.sound.onPlay = nullptr;
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.drawn().mid(0, 4), QStringList({"45", "7", "90", "21"}));
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::newGameDuringThePauseRewinds()
{
    GameHarness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 10) h.click(Control::cmd_nuovo);
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("       "));
    QCOMPARE(h.caption(Control::Label2), QStringLiteral("        "));
    for (int k = 0; k < 90; ++k)
        QVERIFY(h.caption(ControlId(Control::LBL_TAB, k)).isEmpty());
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));

    QString firstLine;
    h.clock.onPump = [&](FakeClock::Point) {
        if (firstLine.isEmpty()) firstLine = h.caption(Control::Label2);
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(firstLine, QStringLiteral("Numeri estratti    1      e da estrarre   89"));
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::speedChangeEndsThePauseUnderWay()
{
    GameHarness h;
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
                h.view.setValue(Control::HScroll1, 100);
            }
        }
        if (h.drawn().size() == 3) h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.view.value(Control::HScroll1), 100);
    QCOMPARE(h.state().ritardo, 0.1f);
    // The second pause ended at the next pass, half a second after it began, not after three.
    QCOMPARE(waitsInSecondPause, 1);
    QCOMPARE(h.drawn().size(), 3);
    QVERIFY(h.clock.lastDeadline < t0 + 0.5 + 0.2);
}

void TestGame::clockEqualToTheDeadlineStillWaits()
{
    GameHarness h;
    int waits = 0;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait) return;
        ++waits;
        if (waits == 1) h.clock.t = h.clock.lastDeadline; // exactly at the deadline: not over yet
        if (waits == 3) h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    // The first pause took two waits (equal, then past); the third wait is in the second pause.
    QCOMPARE(h.drawn().size(), 2);
}

void TestGame::resumeInTheSamePumpStartsNoSecondDraw()
{
    GameHarness h;
    bool done = false;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 4 && !done) {
            done = true;
            h.click(Control::cmd_sospendi); // pause
            h.click(Control::cmd_sospendi); // and resume before the draw noticed
            h.game.bigNumberGesture(1, 30); // the hidden resume as well
        }
        QCOMPARE(h.invariantFault(), QString());
    };
    h.click(Control::cmd_estrai);
    // The running draw went on to the end, alone: no number drawn twice.
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("Fine"));
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
}

void TestGame::estraiAfterNewGameInTheSamePumpStartsAFreshGame()
{
    GameHarness h;
    bool done = false;
    QStringList firstLines;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 6 && !done) {
            done = true;
            h.click(Control::cmd_nuovo);
            h.click(Control::cmd_estrai);
        }
        if (h.state().quanti_da_estrarre == 89) firstLines << h.caption(Control::Label2);
        QCOMPARE(h.invariantFault(), QString());
    };
    h.click(Control::cmd_estrai);
    QVERIFY(firstLines.contains(QStringLiteral("Numeri estratti    1      e da estrarre   89")));
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::resumeAfterTheEndDrawsNothing()
{
    GameHarness h;
    h.click(Control::cmd_estrai);
    const QStringList game = h.drawn();
    const int nexts = h.random.nexts();
    h.click(Control::cmd_sospendi); // "&Pausa" after the end
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    h.click(Control::cmd_sospendi); // "&Riprendi"
    QCOMPARE(h.random.nexts(), nexts);
    QCOMPARE(h.drawn(), game);
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("Fine"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::theLastNumberIsPickedWhateverR()
{
    QCOMPARE(pesca_indice(0.0, 1), 1);
    QCOMPARE(pesca_indice(0.9999999999999999, 1), 1);
    QCOMPARE(pesca_indice(0.9999999999999999, 90), 90);
    QCOMPARE(pesca_indice(0.0, 90), 1);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, pesca_indice(0.5, 0));

    GameHarness h;
    h.random.replay(std::vector<double>(89, 0.0));
    h.random.replay({0.9999999999999999});
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().last(), QStringLiteral("90"));
}

void TestGame::invariantsHoldAtEveryPumpOverRandomRuns()
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
        GameHarness h(seed);
        std::mt19937 dice(seed * 7919u);
        auto roll = [&](int n) { return int(dice() % unsigned(n)); };
        // A mouse move over the big number: left or right button, a few twips from its left.
        auto gesture = [&](int button) { h.game.bigNumberGesture(button, float(roll(10) * 15)); };
        QString fault;
        int budgetEvents = 400;
        h.clock.onPump = [&](FakeClock::Point) {
            if (!fault.isEmpty() || --budgetEvents < 0) {
                h.stopQuietly(); // wind the run down
                return;
            }
            fault = h.invariantFault();
            if (!fault.isEmpty()) return;
            ++events;
            switch (roll(12)) {
            case 0:
                h.click(Control::cmd_sospendi);
                break;
            case 1:
                h.click(Control::cmd_nuovo);
                break;
            case 2:
                h.click(Control::cmd_estrai);
                break;
            case 3:
                h.view.setValue(Control::HScroll1, 100 + roll(6901));
                break;
            case 4:
                gesture(roll(2) ? 2 : 1);
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
                h.click(Control::cmd_estrai);
                break;
            case 1:
                h.click(Control::cmd_sospendi);
                break;
            case 2:
                h.click(Control::cmd_nuovo);
                break;
            case 3:
                h.game.bigNumberGesture(1, 15);
                break;
            }
            if (fault.isEmpty()) fault = h.invariantFault();
        }
        h.clock.onPump = nullptr;
        if (!fault.isEmpty()) QFAIL(qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(fault)));
        QVERIFY(!h.game.isDrawing());
    }
    qInfo("random runs: %d, events: %ld, in %lld ms", runs, events, budget.elapsed());
    QVERIFY(runs >= 50);
}

// ---------------------------------------------------------------------------------------------
// A failing step of a turn.

void TestGame::failingStepWarnsAndTheDrawGoesOn()
{
    GameHarness h;
    // 7 can be said neither whole nor composed.
    h.sound.missing = {QStringLiteral("numero7"), QStringLiteral("va7")};
    h.random.replay(picksFor({7, 12}));
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 2) h.stopQuietly();
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.dialogs.shown.size(), 1);
    const auto &box = h.dialogs.shown.first();
    QCOMPARE(box.icon, Icon::Critical);
    QCOMPARE(box.title, kScriptWarningTitle);
    QCOMPARE(box.text, kScriptWarning);
    QVERIFY(h.view.isChecked(Control::Opt_minuscolo));
    // The turn went on after the failed speech: its pause ran and the next number was drawn.
    QCOMPARE(h.drawn(), QStringList({"7", "12"}));
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("dodici"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::aFailingControlStepWarnsOnceAndTheTurnGoesOn_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("bigNumber"); // Label1 after the turn
    QTest::addColumn<QString>("counter");   // Label2 after the turn
    QTest::addColumn<QString>("words");     // Label6 after the turn
    QTest::addColumn<QString>("fault");     // what the board shows wrong after the turn

    using Op = FakeView::Operation;
    const QString big = QStringLiteral("7");
    const QString line = QStringLiteral("Numeri estratti    1      e da estrarre   89");
    // Words come in lower case: the warning switched the mode before they were written.
    const QString words = QStringLiteral("sette");
    QTest::newRow("face of the words")
        << int(Op::SetFace) << int(Control::Label6) << 0 << big << line << words << QString();
    QTest::newRow("big number") << int(Op::SetCaption) << int(Control::Label1) << 0
                                << QStringLiteral("       ") << line << words << QString();
    QTest::newRow("counter line") << int(Op::SetCaption) << int(Control::Label2) << 0 << big
                                  << QStringLiteral("        ") << words << QString();
    QTest::newRow("words") << int(Op::SetCaption) << int(Control::Label6) << 0 << big << line << QString()
                           << QString();
    QTest::newRow("board cell caption") << int(Op::SetCaption) << int(Control::LBL_TAB) << 6 << big << line
                                        << words << QStringLiteral("cell of 7 lit=0 cyan=0 drawn=1");
    QTest::newRow("board cell colour") << int(Op::SetBackColor) << int(Control::LBL_TAB) << 6 << big << line
                                       << words << QStringLiteral("cell of 7 lit=1 cyan=0 drawn=1");
}

void TestGame::aFailingControlStepWarnsOnceAndTheTurnGoesOn()
{
    // Any control step of a turn that fails shows the script-face warning once and switches to
    // Minuscolo; the turn goes on with its next step and the number is still drawn and spoken.
    QFETCH(int, operation);
    QFETCH(int, control);
    QFETCH(int, index);
    QFETCH(QString, bigNumber);
    QFETCH(QString, counter);
    QFETCH(QString, words);
    QFETCH(QString, fault);
    GameHarness h;
    QSignalSpy numbers(&h.game, &Game::numberDrawn);
    h.sound.played.clear();
    h.view.failOn = FakeView::Failure{FakeView::Operation(operation), ControlId(Control(control), index)};
    h.drawAndPause({7});
    QCOMPARE(h.view.failures, 1);
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, kScriptWarning);
    QCOMPARE(h.dialogs.shown[0].title, kScriptWarningTitle);
    QCOMPARE(h.dialogs.shown[0].icon, Icon::Critical);
    QVERIFY(h.view.isChecked(Control::Opt_minuscolo));
    QVERIFY(!h.view.isChecked(Control::Opt_maiuscolo));
    QCOMPARE(h.drawn(), QStringList({"7"}));
    QVERIFY(!h.pool().contains(7));
    QCOMPARE(h.pool().size(), 89);
    QCOMPARE(h.sound.played, QStringList({"numero7"}));
    QCOMPARE(numbers.size(), 1);
    QCOMPARE(numbers[0], QVariantList({7, 1}));
    QCOMPARE(h.caption(Control::Label1), bigNumber);
    QCOMPARE(h.caption(Control::Label2), counter);
    QCOMPARE(h.caption(Control::Label6), words);
    QCOMPARE(h.invariantFault(), fault);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(2));

    // The next turn is whole again, and warns no more.
    h.drawAndPause({12});
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.drawn(), QStringList({"7", "12"}));
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("12"));
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("dodici"));
    QCOMPARE(h.caption(ControlId(Control::LBL_TAB, 11)), QStringLiteral("12"));
    QCOMPARE(h.sound.played, QStringList({"numero7", "numero12"}));
}

// ---------------------------------------------------------------------------------------------
// The controls.

void TestGame::pauseThenResumeContinuesTheSameGame()
{
    GameHarness h;
    QStringList lines;
    h.clock.onPump = pauseAt(h, 20);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 20);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    QVERIFY(h.view.isEnabled(Control::cmd_verifica));
    const QStringList first = h.drawn();

    bool verificaWhileDrawing = false;
    h.clock.onPump = [&](FakeClock::Point) {
        verificaWhileDrawing |= h.view.isEnabled(Control::cmd_verifica);
        if (lines.isEmpty() || lines.last() != h.caption(Control::Label2))
            lines << h.caption(Control::Label2);
    };
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    QVERIFY(!verificaWhileDrawing);
    // At "Fine" the last claims of the evening come: the claim panel opens as in a pause.
    QVERIFY(h.view.isEnabled(Control::cmd_verifica));
    QCOMPARE(lines.first(), QStringLiteral("Numeri estratti    21      e da estrarre   69"));
    QCOMPARE(lines.size(), 70);
    QCOMPARE(h.drawn().mid(0, 20), first);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::newGameDuringADrawClearsEverything()
{
    GameHarness h;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Pump && h.drawn().size() == 12) h.click(Control::cmd_nuovo);
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.caption(Control::Label1), QString(7, QLatin1Char(' ')));
    QCOMPARE(h.caption(Control::Label2), QString(8, QLatin1Char(' ')));
    QCOMPARE(h.caption(Control::Label6), QString());
    QVERIFY(h.view.isEnabled(Control::cmd_estrai));
    QVERIFY(!h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(!h.view.isEnabled(Control::cmd_ripeti));
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    QCOMPARE(h.invariantFault(), QString());
    QCOMPARE(h.sound.played.count(QStringLiteral("apri")), 2);
}

void TestGame::newGameWhilePausedRestoresThePauseCaption()
{
    GameHarness h;
    h.clock.onPump = pauseAt(h, 3);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Riprendi"));
    h.clock.onPump = nullptr;
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    QVERIFY(!h.view.isEnabled(Control::cmd_sospendi));
    QVERIFY(!h.view.isEnabled(Control::cmd_verifica));
    QCOMPARE(h.drawn().size(), 0);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 90);
}

void TestGame::newGameResetsHalfDoneClaims()
{
    GameHarness h;
    h.game.setClaimCount(0, 1);
    h.game.setClaimCount(3, 4);
    h.click(Control::cmd_estrai);
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    QCOMPARE(h.state().conta_cinquina, std::int16_t(0));
}

void TestGame::rightGestureStopsSilentlyAndPausaResumes()
{
    // The hidden stop leaves "&Pausa" on the button; a click on it resumes, because the handler
    // chooses its branch by the stop flag, not by the caption.
    GameHarness h;
    h.clock.onPump = pauseAt(h, 4);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.label2Tag(), QStringLiteral("5"));
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 8) h.game.bigNumberGesture(2, 45);
    };
    h.click(Control::cmd_sospendi); // "&Riprendi"
    QCOMPARE(h.drawn().size(), 8);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    QCOMPARE(h.label2Tag(), QStringLiteral("9"));
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(9));

    h.clock.onPump = nullptr;
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::gestureAtOrBeyondHundredTwipsDoesNothing()
{
    GameHarness h;
    h.view.setTag(Control::Label2, QStringLiteral("1")); // a stored position: only the bound holds it back
    h.clock.onPump = [&](FakeClock::Point) {
        if (h.drawn().size() == 6) h.game.bigNumberGesture(2, 100);
    };
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn().size(), 90);
}

void TestGame::gestureWithoutAStoredPositionDoesNothing()
{
    // Without a stored position the left button has nowhere to resume from, but the right one
    // still stops the draw: only the copy of the missing position is skipped.
    GameHarness h;
    h.game.bigNumberGesture(1, 15);
    QVERIFY(h.sound.played.size() == 2); // apri and inizio only: no draw started
    QCOMPARE(h.drawn().size(), 0);
    h.game.bigNumberGesture(2, 15);
    QVERIFY(h.state().sospeso);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
    bool stopped = false;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 4 && !stopped) {
            stopped = true;
            h.game.bigNumberGesture(2, 15);
        }
    };
    h.click(Control::cmd_estrai); // the first draw of the program: no position stored before it
    QCOMPARE(h.drawn().size(), 4);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(5));
    QCOMPARE(h.view.tag(Control::Label2), QStringLiteral("5"));
    QCOMPARE(h.view.caption(Control::cmd_sospendi), QStringLiteral("&Pausa"));
    h.click(Control::cmd_nuovo);

    // After a stop and a new game the old position is forgotten as well.
    h.clock.onPump = pauseAt(h, 30);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.label2Tag(), QStringLiteral("31"));
    h.clock.onPump = nullptr;
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.label2Tag(), QString());
    h.game.bigNumberGesture(1, 15);
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.state().prossima_estrazione, std::int16_t(1));
}

void TestGame::leftGestureResumesFromTheSavedPosition()
{
    GameHarness h;
    h.clock.onPump = pauseAt(h, 10);
    h.click(Control::cmd_estrai);
    QCOMPARE(h.label2Tag(), QStringLiteral("11"));
    h.clock.onPump = nullptr;
    const QStringList first = h.drawn();
    h.game.bigNumberGesture(1, 30);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.drawn().mid(0, 10), first);
    QCOMPARE(h.invariantFault(), QString());
}

void TestGame::closingDuringAPauseEndsTheDrawAndTheSound()
{
    GameHarness h;
    QSignalSpy closed(&h.game, &Game::closed);
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 5) h.game.close();
    };
    h.click(Control::cmd_estrai);
    QVERIFY(h.game.isClosed());
    QCOMPARE(closed.size(), 1);
    QVERIFY(!h.game.isDrawing());
    QCOMPARE(h.drawn().size(), 5);
    QVERIFY(h.sound.closed);
    // Nothing can start drawing again behind the closed window.
    h.game.draw();
    QCOMPARE(h.drawn().size(), 5);
}

void TestGame::closingDuringNewGameSoundStopsStartUp()
{
    GameHarness h(1, false);
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("apri")) h.game.close();
    };
    h.game.load();
    QVERIFY(h.game.isClosed());
    QVERIFY(!h.view.isVisible(Control::Form1));
    QCOMPARE(h.view.windowShows, 0);
    QCOMPARE(h.sound.played, QStringList({"apri"}));
}

// ---------------------------------------------------------------------------------------------
// The words and the speech.

void TestGame::wordsInEachMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("family");
    QTest::newRow("17 Maiuscolo") << int(Control::Opt_maiuscolo) << 17 << "DISCIASETTE"
                                  << "arial";
    QTest::newRow("71 Minuscolo") << int(Control::Opt_minuscolo) << 71 << "settantauno"
                                  << "arial";
    QTest::newRow("44 Minuscolo") << int(Control::Opt_minuscolo) << 44 << "quarantaquattro"
                                  << "arial";
    QTest::newRow("73 Corsivo") << int(Control::Opt_script) << 73 << "settantatre"
                                << "script Mt Bold";
    QTest::newRow("45 Maiuscolo") << int(Control::Opt_maiuscolo) << 45 << "QUARANTACINQUE"
                                  << "arial";
    QTest::newRow("90 Corsivo") << int(Control::Opt_script) << 90 << "novanta"
                                << "script Mt Bold";
}

void TestGame::wordsInEachMode()
{
    QFETCH(int, mode);
    QFETCH(int, number);
    QFETCH(QString, caption);
    QFETCH(QString, family);
    GameHarness h;
    // Before the first draw the words label wears the script face.
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("script Mt Bold"));
    QCOMPARE(h.caption(Control::Label6), QString());
    h.chooseWriting(Control(mode));
    h.drawAndPause({number});
    QCOMPARE(h.caption(Control::Label6), caption);
    QCOMPARE(h.view.cell(Control::Label6).face, family);
    QCOMPARE(h.dialogs.shown.size(), 0);
}

void TestGame::escludiEmptiesAtOnceAndLaterDrawsLeaveItEmpty()
{
    GameHarness h;
    h.drawAndPause({5});
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("CINQUE"));
    h.chooseWriting(Control::Opt_escludi);
    QCOMPARE(h.caption(Control::Label6), QString());
    h.drawAndPause({6});
    QCOMPARE(h.caption(Control::Label6), QString());
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("arial"));
    h.chooseWriting(Control::Opt_minuscolo);
    QCOMPARE(h.caption(Control::Label6), QString());
    h.drawAndPause({7});
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("sette"));
}

void TestGame::switchingModeInAPauseDoesNotRedraw()
{
    GameHarness h;
    h.drawAndPause({33});
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("TRENTATRE"));
    h.chooseWriting(Control::Opt_minuscolo);
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("TRENTATRE"));
    h.drawAndPause({34});
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("trentaquattro"));
}

void TestGame::failingCorsivoDrawWarnsOnceAndWritesLowerCase()
{
    // Any failing step of a draw shows the script-face warning once, turns the mode to
    // Minuscolo, and the draw goes on: later draws use "arial" and warn no more.
    GameHarness h;
    h.chooseWriting(Control::Opt_script);
    h.sound.missing = {QStringLiteral("numero8"), QStringLiteral("va8")};
    h.drawAndPause({8});
    QCOMPARE(h.dialogs.shown.size(), 1);
    QVERIFY(h.view.isChecked(Control::Opt_minuscolo));
    QVERIFY(!h.view.isChecked(Control::Opt_script));
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("otto"));
    h.sound.missing.clear();
    h.drawAndPause({9, 10});
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.caption(Control::Label6), QStringLiteral("dieci"));
    QCOMPARE(h.view.cell(Control::Label6).face, QStringLiteral("arial"));
}

void TestGame::clipsOfANumber_data()
{
    // What is heard, in order, with "pump" where the events that came during the speech are let in:
    // with the whole clips, and with only the clips a number is composed of.
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("whole");
    QTest::addColumn<QStringList>("composed");
    QTest::newRow("1") << 1 << QStringList{"numero1"} << QStringList{"va1"};
    QTest::newRow("7") << 7 << QStringList{"numero7"} << QStringList{"va7"};
    QTest::newRow("10") << 10 << QStringList{"numero10"} << QStringList{"va10"};
    QTest::newRow("19") << 19 << QStringList{"numero19"} << QStringList{"va19"};
    QTest::newRow("20") << 20 << QStringList{"numero20"} << QStringList{"vale20"};
    QTest::newRow("21") << 21 << QStringList{"numero21", "pump"} << QStringList{"vale20", "va1", "pump"};
    QTest::newRow("23") << 23 << QStringList{"numero23", "pump"} << QStringList{"vale20", "va3", "pump"};
    QTest::newRow("45") << 45 << QStringList{"numero45", "pump"} << QStringList{"vale40", "va5", "pump"};
    QTest::newRow("88") << 88 << QStringList{"numero88", "pump"} << QStringList{"vale80", "va8", "pump"};
    QTest::newRow("90") << 90 << QStringList{"numero90"} << QStringList{"vale90"};
}

void TestGame::clipsOfANumber()
{
    QFETCH(int, number);
    QFETCH(QStringList, whole);
    QFETCH(QStringList, composed);
    GameHarness h;
    QStringList heard;
    h.sound.onPlay = [&](const QString &key) { heard << key; };
    h.clock.onPump = [&](FakeClock::Point) { heard << QStringLiteral("pump"); };
    h.game.speak(number);
    QCOMPARE(heard, whole);

    heard.clear();
    h.sound.withoutWholeNumbers();
    h.game.speak(number);
    QCOMPARE(heard, composed);
}

void TestGame::aPumpFollowsATwoClipNumberEitherWay()
{
    // A number said whole lets the events in at the same point as the same number composed: after
    // its speech, when it composes from a ten and a unit.
    GameHarness h;
    for (const bool whole : {true, false}) {
        if (!whole) h.sound.withoutWholeNumbers();
        for (int n = 1; n <= 90; ++n) {
            h.sound.played.clear();
            const int pumps = h.clock.pumps;
            h.game.speak(n);
            // Every key the program builds names a clip it carries.
            for (const QString &key : h.sound.played)
                QVERIFY(FakeSound::known(key));
            const bool twoClips = n > 20 && n % 10 != 0;
            QCOMPARE(h.sound.played.size(), !whole && twoClips ? 2 : 1);
            QCOMPARE(h.clock.pumps - pumps, twoClips ? 1 : 0);
        }
    }
}

void TestGame::aNewGameInTheMiddleOfAGameAsksFirst()
{
    // One click on "&Nuova  Tombola" must not lose a game: with numbers drawn and not all of them
    // it asks, and "No" keeps everything; with none drawn or at "Fine" it asks nothing.
    const QString question =
        QStringLiteral("Iniziare una nuova tombola? I numeri estratti finora andranno persi.");
    GameHarness h;
    h.dialogs.answer = [](const QString &) { return false; };
    h.drawAndPause({5, 6, 7});
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.dialogs.asked, QStringList({question}));
    QCOMPARE(h.drawn(), QStringList({"5", "6", "7"}));
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("7"));
    QCOMPARE(h.sound.played.count(QStringLiteral("apri")), 1);
    // Asked in the middle of a draw too; the draw goes on when the answer is "No".
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 10 && h.dialogs.asked.size() == 1)
            h.click(Control::cmd_nuovo);
    };
    h.click(Control::cmd_sospendi);
    QCOMPARE(h.dialogs.asked.size(), 2);
    QCOMPARE(h.drawn().size(), 90);
    QCOMPARE(h.caption(Control::Label1), QStringLiteral("Fine"));
    h.clock.onPump = nullptr;
    h.click(Control::cmd_nuovo); // at "Fine": nothing to lose
    QCOMPARE(h.dialogs.asked.size(), 2);
    QCOMPARE(h.drawn().size(), 0);
    h.click(Control::cmd_estrai);
    h.dialogs.answer = nullptr; // "Si"
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.dialogs.asked.size(), 2); // the draw ran to its end: nothing to lose
    h.drawAndPause({1});
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.dialogs.asked.size(), 3);
    QCOMPARE(h.drawn().size(), 0);
    QCOMPARE(h.invariantFault(), QString());
}

QTEST_GUILESS_MAIN(TestGame)
#include "test_game.moc"
