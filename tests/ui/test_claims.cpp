// The claim boxes and the repeat box of the real window during a pause: their key filters, pasted
// text, the focus filter, and Enter reaching the rules. The claim check and the repeat themselves
// are tested without a window (tests/claims).

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
    void keyFilterOfTheClaimBoxes();
    void pastedTextIsRefusedWholeUnlessTypingCouldEnterIt();
    void twoUndrawnNumbersDoNotBounceTheFocus();
    void repeatBoxKeyFilter();
    void enterInTheRepeatBoxRepeats();
};

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

void TestClaims::repeatBoxKeyFilter()
{
    Harness h;
    drawAndPause(h, {1});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    type(box, "aAyYZz 1-.");
    QCOMPARE(box->text(), QStringLiteral("z 1-."));
}

void TestClaims::enterInTheRepeatBoxRepeats()
{
    Harness h;
    drawAndPause(h, {17, 4});
    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    QVERIFY(box->isVisible());
    h.sound.played.clear();
    type(box, "1");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "numero4"}));
    QVERIFY(!box->isVisible());
    QCOMPARE(Form1::backColor(h.control("Label1")), QColor(192, 255, 255));
}

QTEST_MAIN(TestClaims)
#include "test_claims.moc"
