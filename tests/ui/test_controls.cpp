// The window's own part of the controls: the speed bar's range and keys, and closing the real
// window. What the controls do to the game is tested without a window (tests/game).

#include "fakes/recording_canvas.h"
#include "form_harness.h"
#include "ui/qt_platform.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void speedBarRangeAndSteps();
    void closingTheWindowDuringAPauseEndsTheDraw();
    void aMutedSpeakerShowsWhileTheSoundIsLost();
    void aHeldEnterPrintsOnce();
    void theNewGameQuestionSaysNoUnlessToldSi();
    void noTrapsForTheKeyboard();
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

void TestControls::aMutedSpeakerShowsWhileTheSoundIsLost()
{
    // The caller is told, not shouted at: a mark in the corner and no message box, gone once a
    // clip plays again, whoever played it (the draw, the start-up, the fanfare).
    Harness h;
    h.form->show();
    auto *mark = h.control<QLabel>("lbl_audio");
    QVERIFY(!mark->isVisible());
    QCOMPARE(mark->toolTip(), QStringLiteral("audio non disponibile"));
    h.sound.silent = true;
    h.drawAndPause({7});
    QVERIFY(mark->isVisible());
    QCOMPARE(h.dialogs.shown.size(), 0);
    // A missing clip says nothing about the output.
    h.sound.missing = {QStringLiteral("apri")};
    h.sound.silent = false;
    h.click("cmd_nuovo");
    QVERIFY(mark->isVisible());
    h.sound.missing.clear();
    h.click("cmd_nuovo");
    QVERIFY(!mark->isVisible());
    // It belongs to the caller's window alone.
    QCOMPARE(mark->window(), h.form);
}

void TestControls::aHeldEnterPrintsOnce()
{
    // Holding Enter in the count box sends key repeats: one run, not one per repeat.
    Harness h;
    int runs = 0;
    h.printer.make = [&runs] {
        ++runs;
        return std::make_unique<RecordingCanvas>();
    };
    auto *box = h.control<QLineEdit>("Txt_num_cartelle");
    box->setText(QStringLiteral("30"));
    box->setFocus();
    QTest::keyPress(box, Qt::Key_Return);
    for (int k = 0; k < 19; ++k) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(box, &repeat);
    }
    QTest::keyRelease(box, Qt::Key_Return);
    QCOMPARE(runs, 1);
    QCOMPARE(h.dialogs.shown.size(), 0);
}

void TestControls::theNewGameQuestionSaysNoUnlessToldSi()
{
    // The real question before a new game: "Sì" (with its accent) and "No", "No" the default, and Esc
    // meaning No.
    FakeSound sound;
    FakeClock clock;
    FakeRandom random;
    QtDialogs dialogs;
    FakePrinter printer;
    sound.clock = &clock;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    caller.game.setSecretSource(nullptr);
    dialogs.setParent(&caller.form);
    caller.form.Form_Load();
    random.replay(picksFor({1, 2, 3}));
    clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && caller.game.state().drawnCount() == 3)
            caller.game.bigNumberGesture(2, 0.0f);
    };
    caller.form.cmd_estrai_Click();
    clock.onPump = nullptr;
    QCOMPARE(caller.game.state().drawnCount(), 3);

    auto answer = [&](const std::function<void(QMessageBox *)> &act) {
        QStringList seen;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (!box || !box->isVisible()) continue;
                poll.stop();
                seen << box->text();
                for (QAbstractButton *b : box->buttons())
                    seen << b->text();
                seen << box->defaultButton()->text();
                act(box);
                return;
            }
        });
        poll.start();
        caller.form.cmd_nuovo_Click();
        return seen;
    };
    const QStringList asked = answer([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(asked.first(),
             QStringLiteral("Iniziare una nuova tombola? I numeri estratti finora andranno persi."));
    QVERIFY(asked.contains(QStringLiteral("Sì")));
    QCOMPARE(asked.last(), QStringLiteral("No"));
    QCOMPARE(caller.game.state().drawnCount(), 3);
    answer([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }); // the default
    QCOMPARE(caller.game.state().drawnCount(), 3);
    answer([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
    QCOMPARE(caller.game.state().drawnCount(), 3);
    answer([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    QCOMPARE(caller.game.state().drawnCount(), 0);
}

void TestControls::noTrapsForTheKeyboard()
{
    // Found on a club's first evening: the repeat's box opened without the cursor in it; a new game
    // after every prize was won asked whether to lose the numbers of a game that was over, and
    // cleared the board only after the opening clip; a claim's verdict came after the applause.
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    h.form->show();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    h.drawAndPause({10, 20, 30});
    h.click("cmd_ripeti");
    QTRY_COMPARE(QApplication::focusWidget(), h.control("txt_ultimi"));

    // A claim: "AMBO VALIDO" is on show when the prize's word begins to play.
    QString shownAtTheWord;
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("ambo")) shownAtTheWord = h.text("lbl_esito");
    };
    h.click("cmd_verifica");
    QTest::mouseClick(h.control<QPushButton>("cmd_ambo_0"), Qt::LeftButton);
    for (const char *n : {"10", "20"}) {
        QLineEdit *box = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(box);
        QTest::keyClicks(box, QString::fromLatin1(n));
        QTest::keyClick(box, Qt::Key_Return);
    }
    QCOMPARE(shownAtTheWord, QStringLiteral("AMBO VALIDO"));
    h.sound.onPlay = nullptr;

    // Every prize won by the one card in play: a new game asks nothing, and the board is clear
    // before the opening clip plays.
    h.game().newGame();
    h.caller->printRun.printMany(1, false, false, CardDealer::FullSeries, h.game().printRecord(), {}, {});
    const Cartella card = h.caller->printRun.cardsInPlay().at(0).card;
    QList<int> all;
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 9; ++c)
            if (const int n = valore(card.cella(r, c))) all << n;
    h.caller->prizes.setAnnounceAtOnce(true);
    h.drawAndPause(all);
    QCOMPARE(h.caller->prizes.ladder().playingFor(), Prize::None);
    const qsizetype asked = h.dialogs.asked.size();
    QString bigNumberAtTheClip;
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("apri"))
            bigNumberAtTheClip = h.text("Label1").trimmed() + h.text("LBL_TAB_0");
    };
    h.click("cmd_nuovo");
    QCOMPARE(h.dialogs.asked.size(), asked);
    QVERIFY(h.drawn().isEmpty());
    QVERIFY(h.sound.played.contains(QStringLiteral("apri")));
    QCOMPARE(bigNumberAtTheClip, QString());
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
