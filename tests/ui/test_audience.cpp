// The audience screen beside the real caller's window: what it shows at every pump of the draw,
// in the pause, the repeat, a new game and at the end; that the keyboard stays with the caller;
// how it opens, closes and picks its screen; and what it paints at a few sizes.

#include "form_harness.h"

#include "ui/audience_screen.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace
{
void drawAndPause(Harness &h, const QList<int> &numbers)
{
    h.random.replay(picksFor(numbers));
    h.clock.onPump = [&h, n = numbers.size()](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == n && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    h.clock.onPump = nullptr;
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
}

bool isRed(const QWidget *w)
{
    return Form1::backColor(w) == QColor(255, 0, 0);
}

// Empty when the screen shows what the caller's window shows; otherwise what differs.
QString mirrorFault(Harness &h, const AudienceScreen &s)
{
    const Form1 &f = *h.form;
    QList<int> lit;
    for (int n = 1; n <= 90; ++n)
        if (!f.LBL_TAB[std::size_t(n - 1)]->text().isEmpty()) lit << n;
    QList<int> last;
    const QStringList drawn = h.drawn();
    for (qsizetype k = drawn.size() - 1; k >= 0 && last.size() < 5; --k)
        last << drawn[k].toInt();
    QStringList out;
    if (s.shownNumber() != f.Label1->text())
        out << "number '" + s.shownNumber() + "' for '" + f.Label1->text() + "'";
    if (s.numberOnRed() != isRed(f.Label1)) out << QStringLiteral("red %1").arg(s.numberOnRed());
    if (s.shownWords() != f.Label6->text()) out << "words '" + s.shownWords() + "'";
    if (s.shownCounter() != f.Label2->text()) out << "counter '" + s.shownCounter() + "'";
    if (s.litNumbers() != lit)
        out << QStringLiteral("%1 lit for %2").arg(s.litNumbers().size()).arg(lit.size());
    if (s.lastFive() != last) out << QStringLiteral("last five differ");
    if (s.pauseShown() != h.game().isPaused()) out << QStringLiteral("pause %1").arg(s.pauseShown());
    return out.join(QStringLiteral("; "));
}

// What the caller's window shows and holds, to see that the screen leaves it alone.
QStringList snapshot(Harness &h)
{
    const Form1 &f = *h.form;
    QStringList out{f.Label1->text(),
                    f.Label2->text(),
                    f.Label6->text(),
                    Form1::backColor(f.Label1).name(),
                    QString::number(h.state().quanti_da_estrarre),
                    QString::number(h.state().sospeso),
                    QString::number(h.state().prossima_estrazione)};
    for (const QLabel *cell : f.LBL_TAB)
        out << cell->text();
    out << h.drawn() << QString::number(h.pool().size());
    out << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    return out;
}

int brightPixels(const QImage &img, const QRectF &area)
{
    int count = 0;
    const QRect r = area.toAlignedRect() & img.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 235 && c.green() > 235 && c.blue() > 235) ++count;
        }
    return count;
}

int brightest(const QImage &img, const QPointF &at)
{
    const QColor c = img.pixelColor(at.toPoint());
    return std::max({c.red(), c.green(), c.blue()});
}
} // namespace

class TestAudience : public QObject
{
    Q_OBJECT

private slots:
    void mirrorsEveryPumpThroughPauseResumeAndEnd();
    void newGameEmptiesTheBoard();
    void repeatIsShownOnRed();
    void readsTheCallerOnlyWhenToldAndChangesNothing();
    void keyboardStaysWithTheCaller();
    void f5TheButtonAndEscOpenAndClose();
    void closingTheCallerClosesTheScreen();
    void paintsTheBoardAtEverySize_data();
    void paintsTheBoardAtEverySize();
    void otherScreenInAChildProcess();
    void fullScreenOnTheOtherScreen();
};

void TestAudience::mirrorsEveryPumpThroughPauseResumeAndEnd()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    AudienceScreen &s = *c.screen();
    QCOMPARE(mirrorFault(h, s), QString());
    h.random.replay(picksFor({12, 5, 80, 33, 47, 61, 9}));
    QStringList faults;
    int checked = 0;
    bool pauseAtSeven = true;
    h.clock.onPump = [&](FakeClock::Point p) {
        ++checked;
        const QString fault = mirrorFault(h, s);
        if (!fault.isEmpty()) faults << QStringLiteral("pump %1: %2").arg(checked).arg(fault);
        if (s.pauseShown()) faults << QStringLiteral("pump %1: PAUSA while drawing").arg(checked);
        if (pauseAtSeven && p == FakeClock::Point::Wait && h.drawn().size() == 7 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    QCOMPARE(faults, QStringList());
    QVERIFY(checked >= 14);
    QVERIFY(s.pauseShown());
    QCOMPARE(s.shownNumber(), QStringLiteral("9"));
    QCOMPARE(s.shownWords(), QStringLiteral("NOVE"));
    QCOMPARE(s.lastFive(), QList<int>({9, 61, 47, 33, 80}));
    QCOMPARE(s.litNumbers(), QList<int>({5, 9, 12, 33, 47, 61, 80}));
    QCOMPARE(mirrorFault(h, s), QString());

    // Resumed, the draw runs to the end with the screen in step at every pump.
    pauseAtSeven = false;
    checked = 0;
    h.click("cmd_sospendi");
    QCOMPARE(faults, QStringList());
    QVERIFY(checked >= 83 * 2);
    QCOMPARE(s.shownNumber(), QStringLiteral("Fine"));
    QCOMPARE(s.shownWords(), QString());
    QCOMPARE(s.litNumbers().size(), 90);
    QVERIFY(!s.pauseShown());
    QCOMPARE(mirrorFault(h, s), QString());
}

void TestAudience::newGameEmptiesTheBoard()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    drawAndPause(h, {7, 8, 9});
    c.open();
    AudienceScreen &s = *c.screen();
    QCOMPARE(s.litNumbers(), QList<int>({7, 8, 9}));
    h.click("cmd_nuovo");
    QCOMPARE(s.litNumbers(), QList<int>());
    QCOMPARE(s.lastFive(), QList<int>());
    QCOMPARE(s.shownNumber().trimmed(), QString());
    QVERIFY(!s.pauseShown());
    QCOMPARE(mirrorFault(h, s), QString());

    // A new game in the middle of a draw empties the screen at once and it stays in step after.
    h.random.replay(picksFor({20, 21, 22, 23}));
    QStringList faults;
    bool clicked = false;
    h.clock.onPump = [&](FakeClock::Point) {
        if (!clicked && h.drawn().size() == 2) {
            clicked = true;
            h.click("cmd_nuovo");
            if (!s.litNumbers().isEmpty() || !s.lastFive().isEmpty()) faults << QStringLiteral("board kept");
        }
        const QString fault = mirrorFault(h, s);
        if (!fault.isEmpty()) faults << fault;
    };
    h.click("cmd_estrai");
    QVERIFY(clicked);
    QCOMPARE(faults, QStringList());
    QCOMPARE(s.litNumbers(), QList<int>());
}

void TestAudience::repeatIsShownOnRed()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    AudienceScreen &s = *c.screen();
    drawAndPause(h, {17, 4, 88});
    h.click("cmd_ripeti");
    QStringList shown, faults;
    QList<bool> red;
    h.clock.onPump = [&](FakeClock::Point) {
        const QString fault = mirrorFault(h, s);
        if (!fault.isEmpty()) faults << fault;
        const QString t = s.shownNumber();
        if (!t.isEmpty() && (shown.isEmpty() || shown.last() != t)) {
            shown << t;
            red << s.numberOnRed();
            // The red is painted, not only held.
            const QImage img = s.grab().toImage();
            const QRectF box = s.numberRect();
            const QColor corner =
                img.pixelColor((box.topLeft() + QPointF(box.width(), box.height()) * 0.08).toPoint());
            if (corner.red() < 180 || corner.green() > 40) faults << "no red painted behind " + t;
        }
    };
    auto *box = h.control<QLineEdit>("txt_ultimi");
    QTest::keyClicks(box, "2");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(faults, QStringList());
    QCOMPARE(shown, QStringList({"4", "88"}));
    QCOMPARE(red, QList<bool>({true, true}));
    QVERIFY(!s.numberOnRed());
    QCOMPARE(s.lastFive(), QList<int>({88, 4, 17}));
    QCOMPARE(mirrorFault(h, s), QString());
}

void TestAudience::readsTheCallerOnlyWhenToldAndChangesNothing()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    drawAndPause(h, {30, 31});
    const QStringList before = snapshot(h);
    c.open();
    AudienceScreen &s = *c.screen();
    s.resize(640, 360);
    s.grab(); // the first painting of a face may differ in its last bit of smoothing
    const QImage shown = s.grab().toImage();

    // A change of the window's widgets is never read: the screen learns the game from the game.
    h.form->Label1->setText(QStringLiteral("77"));
    h.form->LBL_TAB[76]->setText(QStringLiteral("77"));
    h.game().publish();
    QCOMPARE(s.shownNumber(), QStringLiteral("31"));
    QVERIFY(!s.litNumbers().contains(77));
    QCOMPARE(s.grab().toImage(), shown);
    h.form->Label1->setText(QStringLiteral("31"));
    h.form->LBL_TAB[76]->setText(QString());

    // A change the game has not announced yet is neither held nor painted.
    const int refreshes = s.refreshes();
    h.game().showNumber(QStringLiteral("77"));
    QCOMPARE(s.shownNumber(), QStringLiteral("31"));
    QCOMPARE(s.grab().toImage(), shown);
    QCOMPARE(s.refreshes(), refreshes);
    h.game().publish();
    QCOMPARE(s.shownNumber(), QStringLiteral("77"));
    QVERIFY(s.grab().toImage() != shown);

    h.game().showNumber(QStringLiteral("31"));
    h.game().publish();
    c.close();
    QCOMPARE(snapshot(h), before);
}

void TestAudience::keyboardStaysWithTheCaller()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    QObject::connect(h.form, &Form1::audienceScreenRequested, &c, &AudienceController::toggle);
    drawAndPause(h, {12, 34, 56});
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[0]);
    QTest::keyClick(h.form->Text1[0], Qt::Key_F5);
    QVERIFY(c.isOpen());
    QTest::qWait(50); // let the window system settle the activation
    QCOMPARE(QApplication::activeWindow(), h.form);
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[0]);
    QVERIFY(!c.screen()->isActiveWindow());

    h.sound.played.clear();
    QTest::keyClicks(h.form->Text1[0], "12");
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QTest::keyClicks(h.form->Text1[1], "34");
    QTest::keyClick(h.form->Text1[1], Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"ambo", "applausi"}));
    QCOMPARE(QApplication::focusWidget(), h.form->Text1[2]);

    h.click("cmd_ripeti");
    auto *box = h.control<QLineEdit>("txt_ultimi");
    box->setFocus();
    h.sound.played.clear();
    QTest::keyClicks(box, "1");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "vale50", "va6"}));
    QVERIFY(c.isOpen());
    QCOMPARE(QApplication::activeWindow(), h.form);
}

void TestAudience::f5TheButtonAndEscOpenAndClose()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    QObject::connect(h.form, &Form1::audienceScreenRequested, &c, &AudienceController::toggle);
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    QTest::keyClick(h.form, Qt::Key_F5);
    QVERIFY(c.isOpen());
    AudienceScreen &s = *c.screen();
    QCOMPARE(s.windowTitle(), QStringLiteral("Tombola - tabellone per il pubblico"));
    QVERIFY(s.isWindow());
    QVERIFY(!s.isFullScreen()); // one screen: a window of its own
    QVERIFY(h.form->screen()->availableGeometry().contains(s.geometry()));
    QTest::keyClick(h.form, Qt::Key_F5);
    QVERIFY(!c.isOpen());
    h.click("cmd_pubblico");
    QVERIFY(c.isOpen());
    h.click("cmd_pubblico");
    QVERIFY(!c.isOpen());

    // Esc closes the screen and nothing else; with the screen closed it is an ordinary key again.
    QLineEdit *typing = h.form->Text1[0];
    typing->setFocus();
    int escInBox = 0;
    struct Counter : QObject {
        int *count;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape)
                ++*count;
            return false;
        }
    } counter;
    counter.count = &escInBox;
    typing->installEventFilter(&counter);
    c.open();
    QTest::keyClick(typing, Qt::Key_Escape);
    QVERIFY(!c.isOpen());
    QCOMPARE(escInBox, 0);
    QTest::keyClick(typing, Qt::Key_Escape);
    QCOMPARE(escInBox, 1);
    QVERIFY(!c.isOpen());
    QCOMPARE(h.dialogs.shown.size(), 0);

    // A message box over the caller gets its Esc; the screen stays.
    c.open();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tombola"), QStringLiteral("prova"),
                    QMessageBox::Ok, h.form);
    bool boxClosedByEsc = false;
    QTimer::singleShot(0, &box, [&] {
        QTest::keyClick(&box, Qt::Key_Escape);
        boxClosedByEsc = !box.isVisible();
        box.done(0);
    });
    box.exec();
    QVERIFY(boxClosedByEsc);
    QVERIFY(c.isOpen());

    // So does a dialog that blocks only the caller's window, as the card check does.
    QDialog dialog(h.form);
    dialog.open();
    QTRY_COMPARE(QApplication::activeWindow(), &dialog);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QVERIFY(c.isOpen());
    h.form->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), h.form);
    QTest::keyClick(typing, Qt::Key_Escape);
    QVERIFY(!c.isOpen());
}

void TestAudience::closingTheCallerClosesTheScreen()
{
    {
        Harness h;
        AudienceController c(*h.form, h.game());
        drawAndPause(h, {1, 2});
        c.open();
        h.form->close();
        QVERIFY(!c.isOpen());
        c.toggle(); // nothing opens once the caller is gone
        QVERIFY(!c.isOpen());
    }
    // Closed in the middle of a draw.
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    h.clock.onPump = [&](FakeClock::Point) {
        if (h.drawn().size() == 3 && !h.game().isClosed()) h.form->close();
    };
    h.click("cmd_estrai");
    QVERIFY(h.game().isClosed());
    QVERIFY(!c.isOpen());
}

void TestAudience::paintsTheBoardAtEverySize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1920x1080") << QSize(1920, 1080);
    QTest::newRow("1280x720") << QSize(1280, 720);
    QTest::newRow("1024x768") << QSize(1024, 768);
    QTest::newRow("tall 600x900") << QSize(600, 900);
}

void TestAudience::paintsTheBoardAtEverySize()
{
    QFETCH(QSize, size);
    Harness h;
    AudienceController c(*h.form, h.game());
    const QList<int> drawn{1, 15, 46, 90, 23, 58};
    drawAndPause(h, drawn);
    c.open();
    AudienceScreen &s = *c.screen();
    s.resize(size);
    const QImage img = s.grab().toImage();
    QCOMPARE(img.size(), size);

    // Cell of n: rows of ten in three bands of three, split in two blocks of five, with wider
    // gaps between blocks than between cells; all cells alike and inside the window.
    const QRectF first = s.cellRect(1);
    QVERIFY(first.height() >= std::min(size.width(), size.height()) / 16.0);
    for (int n = 1; n <= 90; ++n) {
        const QRectF cell = s.cellRect(n);
        QVERIFY(QRectF(s.rect()).contains(cell));
        QCOMPARE(cell.size(), first.size());
        const int i = n - 1, t = i / 10, u = i % 10;
        if (u > 0) {
            const double gap = cell.left() - s.cellRect(n - 1).right();
            QVERIFY2(gap > 0 && (u == 5) == (gap > first.width() * 0.3), qPrintable(QString::number(n)));
            QCOMPARE(cell.top(), s.cellRect(n - 1).top());
        }
        if (t > 0) {
            const double gap = cell.top() - s.cellRect(n - 10).bottom();
            QVERIFY2(gap > 0 && (t % 3 == 0) == (gap > first.height() * 0.3), qPrintable(QString::number(n)));
        }
    }
    // Drawn cells have a bright white figure and a bright thick edge; the others neither.
    for (int n = 1; n <= 90; ++n) {
        const QRectF cell = s.cellRect(n);
        const QRectF middle =
            cell.adjusted(cell.width() * 0.2, cell.height() * 0.2, -cell.width() * 0.2, -cell.height() * 0.2);
        const QPointF edge(cell.left() + 2, cell.center().y());
        const QString which = QString::number(n);
        if (drawn.contains(n)) {
            QVERIFY2(brightPixels(img, middle) > middle.width() * middle.height() * 0.05, qPrintable(which));
            QVERIFY2(brightest(img, edge) >= 200, qPrintable(which));
        } else {
            QVERIFY2(brightPixels(img, cell) == 0, qPrintable(which));
            QVERIFY2(brightest(img, edge) < 100, qPrintable(which));
        }
    }
    // The number just drawn in big white figures.
    const QRectF box = s.numberRect();
    QVERIFY(brightPixels(img, box) > box.width() * box.height() * 0.04);
}

void TestAudience::otherScreenInAChildProcess()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("schermi.json"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QJsonArray screens{
        QJsonObject{{"name", "banco"}, {"x", 0}, {"y", 0}, {"width", 1280}, {"height", 1024}},
        QJsonObject{{"name", "tv"}, {"x", 1280}, {"y", 0}, {"width", 1920}, {"height", 1080}}};
    file.write(QJsonDocument(QJsonObject{{"screens", screens}}).toJson());
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("fullScreenOnTheOtherScreen")});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
    QVERIFY2(out.contains("PASS   : TestAudience::fullScreenOnTheOtherScreen()"), out.constData());
}

void TestAudience::fullScreenOnTheOtherScreen()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() != 2) QSKIP("runs with two screens, from otherScreenInAChildProcess");
    Harness h;
    AudienceController c(*h.form, h.game());
    h.form->setScreen(screens[0]);
    c.open();
    QTRY_VERIFY(c.screen()->isFullScreen());
    QCOMPARE(c.screen()->screen(), screens[1]);
    QTRY_COMPARE(c.screen()->geometry(), screens[1]->geometry());
    c.toggle();
    QVERIFY(!c.isOpen());

    // With the caller on the second screen, the first one is the room's.
    h.form->setScreen(screens[1]);
    c.toggle();
    QCOMPARE(c.screen()->screen(), screens[0]);
    QTRY_COMPARE(c.screen()->geometry(), screens[0]->geometry());
}

QTEST_MAIN(TestAudience)
#include "test_audience.moc"
