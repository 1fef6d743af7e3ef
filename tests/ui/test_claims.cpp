// The claim check, the prize fanfare and the repeat of the last numbers, typed and clicked into
// the real window during a pause.

#include "form_harness.h"

#include <QLineEdit>
#include <QTest>

namespace
{
// A game paused after drawing `numbers`, in that order, with the window active for typing.
void drawAndPause(Harness &h, const QList<int> &numbers)
{
    h.drawAndPause(numbers);
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
}

void type(QLineEdit *box, const QString &text)
{
    QTest::keyClicks(box, text);
}
} // namespace

class TestClaims : public QObject
{
    Q_OBJECT

private slots:
    void amboOfTwoDrawnNumbersSoundsTheFanfare();
    void theSameNumberTwiceCompletesTheAmbo();
    void countsSurviveAChangeOfPrize();
    void cinquinaNeedsFiveAndEachThresholdPlaysItsWord();
    void lockedBoxIsRetestedWhenItLosesTheFocus();
    void enterInAnEmptyLockedBoxGivesBothMessages();
    void onlyThePlainDecimalFormOfADrawnNumberIsAccepted_data();
    void onlyThePlainDecimalFormOfADrawnNumberIsAccepted();
    void aNumberOfAnEarlierGameIsNotDrawn();
    void keyFilterOfTheClaimBoxes();
    void pastedTextIsRefusedWholeUnlessTypingCouldEnterIt();
    void enterInTheLastBoxChecksInPlace();
    void twoUndrawnNumbersDoNotBounceTheFocus();
    void avvisoOutsideTheFourPrizesDoesNothing();
    void repeatShowsAndSpeaksTheLastNumbersOldestFirst();
    void repeatRefusesMoreThanDrawn();
    void repeatBoxKeyFilter();
    void ripetiShowsTheHintWhileDrawing();
    void repeatCountsOutsideSixteenBits();
    void missingClipsOutsideTheDrawAreSkippedQuietly();
    void closingDuringTheFanfareStopsIt();
    void closingDuringARepeatEndsIt();
};

void TestClaims::amboOfTwoDrawnNumbersSoundsTheFanfare()
{
    Harness h;
    drawAndPause(h, {12, 34, 56});
    h.control("cmd_verifica")->setEnabled(true);
    h.click("cmd_verifica");
    QVERIFY(h.control("fra_controlli")->isVisible());
    h.click("cmd_ambo_0");
    QCOMPARE(h.state().premio_scelto, std::int16_t(0));
    QVERIFY(!h.form->Text1[0]->isReadOnly());
    QVERIFY(!h.form->Text1[1]->isReadOnly());
    QVERIFY(h.form->Text1[2]->isReadOnly());
    QCOMPARE(Form1::backColor(h.form->Text1[0]), QColor(255, 255, 192));
    QCOMPARE(Form1::backColor(h.form->Text1[2]), QColor(255, 255, 255));
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[0]);

    h.sound.played.clear();
    type(h.form->Text1[0], "12");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList());
    type(h.form->Text1[1], "34");
    QTest::keyClick(h.form->Text1[1], Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[2]);
    QCOMPARE(h.dialogs.shown.size(), 0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
}

void TestClaims::theSameNumberTwiceCompletesTheAmbo()
{
    Harness h;
    drawAndPause(h, {12, 34, 56});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    h.sound.played.clear();
    type(h.form->Text1[0], "56");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    type(h.form->Text1[1], "56");
    QTest::keyClick(h.form->Text1[1], Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
}

void TestClaims::countsSurviveAChangeOfPrize()
{
    Harness h;
    drawAndPause(h, {12, 34, 56});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    type(h.form->Text1[0], "12");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
    h.click("cmd_ambo_1"); // terno: the ambo count keeps its 1
    type(h.form->Text1[2], "34");
    QTest::keyClick(h.form->Text1[2], Qt::Key_Return);
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    h.sound.played.clear();
    h.click("cmd_ambo_0");
    // Text1(0) still holds 12: leaving it counts it again, and the ambo is complete.
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
}

void TestClaims::cinquinaNeedsFiveAndEachThresholdPlaysItsWord()
{
    Harness h;
    drawAndPause(h, {1, 2, 3, 4, 5});
    const struct {
        std::int16_t indice;
        int threshold;
        const char *word;
    } prizes[] = {{0, 2, "ambo"}, {1, 3, "terno"}, {2, 4, "quaterno"}, {3, 5, "cinquina"}};
    for (const auto &p : prizes) {
        h.sound.played.clear();
        for (int k = 1; k < p.threshold; ++k)
            h.form->Avviso(p.indice);
        QCOMPARE(h.sound.played, QStringList());
        h.form->Avviso(p.indice);
        QCOMPARE(h.sound.played, QStringList({p.word, "applausi"}));
        h.form->Avviso(p.indice); // the count started again from 0
        QCOMPARE(h.sound.played.size(), 2);
    }
}

void TestClaims::lockedBoxIsRetestedWhenItLosesTheFocus()
{
    Harness h;
    drawAndPause(h, {12, 34, 56});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    type(h.form->Text1[0], "12");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return); // counted for the ambo: 1
    h.click("cmd_ambo_1");                             // Text1(0) is locked now, still holding 12
    h.form->Text1[0]->setFocus(Qt::MouseFocusReason);
    h.form->Text1[2]->setFocus(Qt::MouseFocusReason); // leaving it checks 12 for the terno
    QCOMPARE(h.state().conta_terno, std::int16_t(1));
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));
}

void TestClaims::enterInAnEmptyLockedBoxGivesBothMessages()
{
    Harness h;
    drawAndPause(h, {12});
    h.click("cmd_verifica");
    h.form->Text1[3]->setFocus();
    QTest::keyClick(h.form->Text1[3], Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.size(), 2);
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("Per attivare il controllo PRIMA clicca sul bottone terno"));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::None);
    QCOMPARE(h.dialogs.shown[0].title, QString());
    QCOMPARE(h.dialogs.shown[1].text, QStringLiteral("digitare un numero gia' estratto"));
    QCOMPARE(h.dialogs.shown[1].icon, Icon::Question);
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[3]);
}

void TestClaims::onlyThePlainDecimalFormOfADrawnNumberIsAccepted_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("emptied");
    QTest::newRow("7") << "7" << true << false;
    QTest::newRow("07") << "07" << false << false;
    QTest::newRow("7.") << "7." << false << false;
    QTest::newRow("0") << "0" << false << false;
    QTest::newRow("95 emptied") << "95" << false << true;
    QTest::newRow("90 drawn") << "90" << true << false;
    QTest::newRow("8 not drawn") << "8" << false << false;
    QTest::newRow("slash") << "/" << false << false;
}

void TestClaims::onlyThePlainDecimalFormOfADrawnNumberIsAccepted()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(bool, emptied);
    Harness h;
    drawAndPause(h, {7, 90});
    h.click("cmd_verifica");
    h.click("cmd_ambo_3");
    QLineEdit *box = h.form->Text1[9];
    type(box, typed);
    QCOMPARE(box->text(), typed);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.state().conta_cinquina, std::int16_t(accepted ? 1 : 0));
    if (emptied) {
        QCOMPARE(box->text(), QString());
        QCOMPARE(h.dialogs.shown.size(), 0);
        QCOMPARE(QApplication::focusWidget(), box);
    } else if (!accepted) {
        QCOMPARE(h.dialogs.shown.size(), 1);
        QCOMPARE(h.dialogs.shown[0].text, QStringLiteral(" il numero  ") + typed +
                                              QStringLiteral("   NON  e' stato ancora  estratto "));
        QCOMPARE(h.dialogs.shown[0].icon, Icon::Information);
        QCOMPARE(box->text(), typed);
        QCOMPARE(QApplication::focusWidget(), box);
    } else {
        QCOMPARE(h.dialogs.shown.size(), 0);
        QCOMPARE(QApplication::focusWidget(), h.form->Text1[10]);
    }
}

void TestClaims::aNumberOfAnEarlierGameIsNotDrawn()
{
    Harness h;
    drawAndPause(h, {40, 41, 42});
    h.click("cmd_nuovo");
    drawAndPause(h, {5});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    type(h.form->Text1[0], "41");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    QCOMPARE(h.dialogs.shown.size(), 1);
}

void TestClaims::keyFilterOfTheClaimBoxes()
{
    Harness h;
    drawAndPause(h, {12});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    QLineEdit *box = h.form->Text1[0];
    type(box, "a -+x");
    QCOMPARE(box->text(), QString());
    type(box, "./");
    QCOMPARE(box->text(), QStringLiteral("./"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    type(box, "123");
    QCOMPARE(box->text(), QStringLiteral("12")); // two characters at most
}

void TestClaims::pastedTextIsRefusedWholeUnlessTypingCouldEnterIt()
{
    // A paste that holds one character typing could not put there is refused whole: "2.5" in the
    // count box must not become "25" cards, nor "x1" in a claim box the number 1.
    Harness h;
    drawAndPause(h, {12});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    QLineEdit *box = h.form->Text1[0];
    box->insert(QStringLiteral("x1"));
    QCOMPARE(box->text(), QString());
    box->insert(QStringLiteral("1 "));
    QCOMPARE(box->text(), QString());
    // What typing could enter goes in, cut to the box's two characters as typing would be.
    box->insert(QStringLiteral("129"));
    QCOMPARE(box->text(), QStringLiteral("12"));
    box->insert(QStringLiteral("y"));
    QCOMPARE(box->text(), QStringLiteral("12"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.state().conta_ambo, std::int16_t(1));

    auto *count = h.control<QLineEdit>("Txt_num_cartelle");
    count->setText(QStringLiteral("2"));
    count->setCursorPosition(1);
    count->insert(QStringLiteral(".5"));
    QCOMPARE(count->text(), QStringLiteral("2"));
    count->insert(QStringLiteral("/3"));
    QCOMPARE(count->text(), QStringLiteral("2/3"));

    h.click("cmd_ripeti");
    QLineEdit *repeat = h.form->txt_ultimi;
    repeat->insert(QStringLiteral("1a"));
    QCOMPARE(repeat->text(), QString());
    repeat->insert(QStringLiteral(" 1z"));
    QCOMPARE(repeat->text(), QStringLiteral(" 1z"));
}

void TestClaims::enterInTheLastBoxChecksInPlace()
{
    Harness h;
    drawAndPause(h, {1, 2, 3, 4, 5});
    h.click("cmd_verifica");
    h.click("cmd_ambo_3");
    for (int i = 9; i <= 13; ++i) {
        type(h.form->Text1[i], QString::number(i - 8));
        QTest::keyClick(h.form->Text1[i], Qt::Key_Return);
    }
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"cinquina", "applausi"}));
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[13]);
}

void TestClaims::twoUndrawnNumbersDoNotBounceTheFocus()
{
    // Putting the focus back on a refused box must not check the box it leaves, or two boxes
    // with undrawn numbers would throw the focus and the messages at each other forever.
    Harness h;
    drawAndPause(h, {12});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    h.form->Text1[1]->setFocus(Qt::MouseFocusReason);
    type(h.form->Text1[1], "77");
    h.form->Text1[0]->setText(QStringLiteral("88"));
    h.form->Text1[0]->setFocus(Qt::MouseFocusReason);
    // 77 refused once and the focus is back on Text1(1); Text1(0), holding the undrawn 88, was
    // left by that move and is not checked.
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[1]);
}

void TestClaims::avvisoOutsideTheFourPrizesDoesNothing()
{
    Harness h;
    h.sound.played.clear();
    h.form->Avviso(4);
    h.form->Avviso(-1);
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.state().conta_ambo + h.state().conta_cinquina, 0);
}

void TestClaims::repeatShowsAndSpeaksTheLastNumbersOldestFirst()
{
    Harness h;
    drawAndPause(h, {17, 4, 88});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    QVERIFY(box->isVisible());
    QStringList shown;
    QList<bool> red;
    h.clock.onPump = [&](FakeClock::Point) {
        const QString t = h.text("Label1");
        if (!t.isEmpty() && (shown.isEmpty() || shown.last() != t)) {
            shown << t;
            red << (Form1::backColor(h.control("Label1")) == QColor(255, 0, 0));
        }
    };
    h.sound.played.clear();
    type(box, "2");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(shown, QStringList({"4", "88"}));
    QCOMPARE(red, QList<bool>({true, true}));
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "va4", "vale80", "va8"}));
    QCOMPARE(h.text("Label1"), QString());
    QCOMPARE(Form1::backColor(h.control("Label1")), QColor(192, 255, 255));
    QCOMPARE(h.text("Label6"), QString());
    QCOMPARE(box->text(), QString());
    QVERIFY(!box->isVisible());
    QCOMPARE(h.drawn(), QStringList({"17", "4", "88"}));
    QCOMPARE(h.invariantFault(), QString());
}

void TestClaims::repeatRefusesMoreThanDrawn()
{
    Harness h;
    drawAndPause(h, {1, 2, 3, 4, 5});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "6");
    h.sound.played.clear();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("  troppi  numeri \r\n\r\n i numeri   gia   estratti  sono    5"));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::Question);
    QCOMPARE(h.sound.played, QStringList());
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("6"));
}

void TestClaims::repeatBoxKeyFilter()
{
    Harness h;
    drawAndPause(h, {1});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "aAyYZz 1-.");
    QCOMPARE(box->text(), QStringLiteral("z 1-."));
}

void TestClaims::ripetiShowsTheHintWhileDrawing()
{
    Harness h;
    int clicks = 0;
    QList<bool> hint;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && clicks < 2) {
            ++clicks;
            h.click("cmd_ripeti");
            hint << h.control("Label4")->isVisible();
            QVERIFY(!h.control("txt_ultimi")->isVisible());
        }
        if (h.drawn().size() == 3) h.state().sospeso = true;
    };
    h.click("cmd_estrai");
    QCOMPARE(hint, QList<bool>({true, false}));
}

void TestClaims::repeatCountsOutsideSixteenBits()
{
    Harness h;
    drawAndPause(h, {1, 2});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "99999");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.size(), 1); // too many
    box->setText(QStringLiteral("-99999"));
    h.sound.played.clear();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"num_estratti"})); // nothing repeated, as for 0
    QVERIFY(!box->isVisible());
}

void TestClaims::missingClipsOutsideTheDrawAreSkippedQuietly()
{
    // Start-up, a new game, the repeat and the fanfare go on without their clips and say nothing.
    Harness h(1, false);
    h.sound.missing = {"apri", "inizio", "num_estratti", "ambo", "applausi"};
    h.form->Form_Load();
    QVERIFY(h.form->isVisible());
    drawAndPause(h, {3, 4});
    h.form->Avviso(0);
    h.form->Avviso(0);
    QCOMPARE(h.state().conta_ambo, std::int16_t(0));
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "2");
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(!box->isVisible());
    QCOMPARE(h.sound.played.mid(h.sound.played.size() - 2), QStringList({"va3", "va4"}));
    h.click("cmd_nuovo");
    QCOMPARE(h.dialogs.shown.size(), 0);
    QCOMPARE(h.invariantFault(), QString());
}

void TestClaims::closingDuringTheFanfareStopsIt()
{
    Harness h;
    drawAndPause(h, {3, 4});
    h.sound.onPlay = [&](const QString &key) {
        if (key == QLatin1String("ambo")) h.form->close();
    };
    h.form->Avviso(0);
    h.form->Avviso(0);
    QVERIFY(h.game().isClosed());
    QVERIFY(!h.sound.played.contains(QStringLiteral("applausi")));
}

void TestClaims::closingDuringARepeatEndsIt()
{
    Harness h;
    drawAndPause(h, {10, 20, 30, 40, 50});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "5");
    QStringList shown;
    h.clock.onPump = [&](FakeClock::Point) {
        if (!shown.contains(h.text("Label1")) && !h.text("Label1").isEmpty()) shown << h.text("Label1");
        if (shown.size() == 2) h.form->close();
    };
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(h.game().isClosed());
    QCOMPARE(shown, QStringList({"10", "20"}));
    QVERIFY(!h.form->isVisible());
}

QTEST_MAIN(TestClaims)
#include "test_claims.moc"
