// The basket through the real window: the switch, typing and Enter in its box, a click on a cell
// of the board, and Ctrl+Z with its question.

#include "form_harness.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

class TestBasketWindow : public QObject
{
    Q_OBJECT

private slots:
    void boxCellsAndCtrlZReachTheGame();
};

void TestBasketWindow::boxCellsAndCtrlZReachTheGame()
{
    Harness h;
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    auto *box = h.control<QLineEdit>(QStringLiteral("txt_panariello"));
    auto *undo = h.control<QPushButton>(QStringLiteral("cmd_togli"));
    QVERIFY(!box->isVisible());
    QTest::mouseClick(h.control<QCheckBox>(QStringLiteral("chk_panariello")), Qt::LeftButton);
    QVERIFY(h.game().isBasketMode());
    QVERIFY(box->isVisible() && undo->isVisible());
    QVERIFY(!h.form->cmd_estrai->isEnabled());

    box->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(box, QStringLiteral("23"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.drawn(), QStringList({"23"}));
    QCOMPARE(h.text(QStringLiteral("Label1")), QStringLiteral("23"));
    QCOMPARE(h.form->LBL_TAB[22]->text(), QStringLiteral("23"));
    QVERIFY(box->text().isEmpty());

    // Refused: the text stays for the caller to type over.
    QTest::keyClicks(box, QStringLiteral("23"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.last().text, QStringLiteral(" il numero  23   è già stato estratto "));
    QCOMPARE(box->text(), QStringLiteral("23"));
    QCOMPARE(box->selectedText(), QStringLiteral("23"));
    box->clear();
    box->insert(QStringLiteral("9O")); // a paste that no key filter sees
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.last().text, QStringLiteral("digitare un numero da 1 a 90"));
    QCOMPARE(h.drawn(), QStringList({"23"}));

    QTest::mouseClick(h.form->LBL_TAB[6], Qt::LeftButton);
    QCOMPARE(h.drawn(), QStringList({"23", "7"}));
    QCOMPARE(h.text(QStringLiteral("Label1")), QStringLiteral("7"));
    QCOMPARE(h.invariantFault(), QString());

    // Ctrl+Z in the box asks, and a "No" keeps the number.
    h.dialogs.answer = [](const QString &) { return false; };
    box->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(h.dialogs.asked.size(), 1);
    QCOMPARE(h.dialogs.asked.last(), QStringLiteral("Rimettere nel panariello l'ultimo numero, il 7?"));
    QCOMPARE(h.drawn(), QStringList({"23", "7"}));
    // A "Si" takes it back; Ctrl+Z works with the focus elsewhere too.
    h.dialogs.answer = nullptr;
    h.form->cmd_nuovo->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(h.form->cmd_nuovo, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(h.dialogs.asked.size(), 2);
    QCOMPARE(h.drawn(), QStringList({"23"}));
    QVERIFY(h.form->LBL_TAB[6]->text().isEmpty());
    QCOMPARE(h.text(QStringLiteral("Label1")), QStringLiteral("23"));
    QCOMPARE(h.invariantFault(), QString());
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(h.drawn().isEmpty());
    QVERIFY(!undo->isEnabled());
    QCOMPARE(h.invariantFault(), QString());
}

QTEST_MAIN(TestBasketWindow)
#include "test_basket_window.moc"
