// The basket through the real window: the switch, typing and Enter in its box, a click on a cell
// of the board, and Ctrl+Z with its question.

#include "form_harness.h"

#include "ui/board_cell.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

class TestBasketWindow : public QObject
{
    Q_OBJECT

private slots:
    void boxCellsAndCtrlZReachTheGame();
    void altZPutsTheFocusInTheBox();
    void undrawnCellsShowTheirNumbersFaintlyInTheBasketMode();
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

void TestBasketWindow::altZPutsTheFocusInTheBox()
{
    // The numbers the caller types after switching the mode on must reach the box.
    Harness h;
    h.form->show();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    h.form->cmd_estrai->setFocus();
    QTest::keyClick(h.form, Qt::Key_Z, Qt::AltModifier);
    QTRY_VERIFY(h.game().isBasketMode());
    auto *box = h.control<QLineEdit>(QStringLiteral("txt_panariello"));
    QTRY_COMPARE(QApplication::focusWidget(), box);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("47"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(h.drawn(), QStringList({"47"}));
}

namespace
{
// Pixels of the cell in the faint numbers' grey: none on a white cell, none in a drawn one.
int faintPixels(QLabel *cell)
{
    const QImage image = cell->grab().toImage();
    const QColor grey = BoardCell::hintColour();
    int count = 0;
    for (int y = 2; y < image.height() - 2; ++y)
        for (int x = 2; x < image.width() - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - grey.red()) < 24 && std::abs(c.green() - grey.green()) < 24 &&
                std::abs(c.blue() - grey.blue()) < 24)
                ++count;
        }
    return count;
}
} // namespace

void TestBasketWindow::undrawnCellsShowTheirNumbersFaintlyInTheBasketMode()
{
    // So that the caller clicks 47 without counting cells; a drawn cell looks as it always did.
    Harness h;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form));
    QLabel *cell47 = h.form->LBL_TAB[46];
    QLabel *cell23 = h.form->LBL_TAB[22];
    QCOMPARE(faintPixels(cell47), 0);
    auto *mode = h.control<QCheckBox>(QStringLiteral("chk_panariello"));
    QTest::mouseClick(mode, Qt::LeftButton);
    QVERIFY(h.game().isBasketMode());
    QVERIFY(faintPixels(cell47) > 10);
    QVERIFY(cell47->text().isEmpty());
    QCOMPARE(h.invariantFault(), QString());

    QVERIFY(h.game().enterNumber(23));
    const QImage drawnInMode = cell23->grab().toImage();
    QCOMPARE(faintPixels(cell23), 0);
    QVERIFY(faintPixels(cell47) > 10);

    // Off again (the draw goes on from a pause): no faint number, the drawn cell unchanged.
    QTest::mouseClick(mode, Qt::LeftButton);
    QVERIFY(!h.game().isBasketMode());
    QCOMPARE(faintPixels(cell47), 0);
    QCOMPARE(cell23->grab().toImage(), drawnInMode);
}

QTEST_MAIN(TestBasketWindow)
#include "test_basket_window.moc"
