// The audience screen beside the real caller's window: what it shows at every pump of the draw,
// in the pause, the repeat, a new game and at the end; that the keyboard stays with the caller;
// how it opens, closes and picks its screen; and what it paints at a few sizes.

#include "form_harness.h"

#include "ui/audience_screen.h"

#include <QDialog>
#include <QDir>
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
    const QString counter =
        f.Label2->text().trimmed().isEmpty() ? QString() : QStringLiteral("%1 di 90").arg(h.drawn().size());
    if (s.shownCounter() != counter) out << "counter '" + s.shownCounter() + "' for '" + counter + "'";
    if (s.shownMeaning() != h.game().display().meaning) out << "meaning '" + s.shownMeaning() + "'";
    QList<int> order;
    for (const QString &n : drawn)
        order << n.toInt();
    if (s.drawnInOrder() != order) out << QStringLiteral("order differs");
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

// The sum of the channel differences of two colours.
int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// Rows of `area` holding ink: a pixel far from `paper` in the middle columns (clear of round corners).
struct Ink {
    int top = -1, bottom = -1, strongest = 0;
    int height() const { return top < 0 ? 0 : bottom - top + 1; }
};
Ink inkIn(const QImage &img, const QRectF &area, QRgb paper, double sideShare)
{
    Ink ink;
    const QRect r =
        area.adjusted(area.width() * sideShare, 0, -area.width() * sideShare, 0).toRect() & img.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const int d = distance(img.pixel(x, y), paper);
            ink.strongest = std::max(ink.strongest, std::abs(qGray(img.pixel(x, y)) - qGray(paper)));
            if (d < 150) continue;
            if (ink.top < 0) ink.top = y;
            ink.bottom = y;
        }
    return ink;
}

// A cell's fill, between its frame and its figure, and its figure's ink.
QRgb fillOf(const QImage &img, const QRectF &cell)
{
    return img.pixel(QPointF(cell.center().x(), cell.top() + cell.height() * 0.11).toPoint());
}
Ink figureOf(const QImage &img, const QRectF &cell)
{
    const double u = cell.height();
    return inkIn(img, cell.adjusted(0, u * 0.11, 0, -u * 0.11), fillOf(img, cell), 0.2 / 1.24);
}

// Runs one test function of this program in a child process whose offscreen platform has `screens`.
QString runWithScreens(const QJsonArray &screens, const char *function)
{
    QTemporaryDir dir;
    if (!dir.isValid()) return QStringLiteral("no temporary folder");
    const QString config = dir.filePath(QStringLiteral("schermi.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return QStringLiteral("cannot write the screens");
    file.write(QJsonDocument(QJsonObject{{"screens", screens}}).toJson());
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.insert(QStringLiteral("TOMBOLA_SCREENS"), QString::number(screens.size()));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(function)});
    if (!child.waitForFinished(120000)) return QStringLiteral("child timed out");
    const QByteArray out = child.readAll();
    const QByteArray pass = "PASS   : TestAudience::" + QByteArray(function) + "()";
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !out.contains(pass))
        return QString::fromLocal8Bit(out);
    return {};
}

QJsonObject screenAt(const char *name, int x, int width, int height)
{
    return QJsonObject{{"name", name}, {"x", x}, {"y", 0}, {"width", width}, {"height", height}};
}

// Placement tests run only inside the child started for them, with that many screens.
bool inChildWith(int screens)
{
    return qEnvironmentVariableIntValue("TOMBOLA_SCREENS") == screens &&
           QGuiApplication::screens().size() == screens;
}

// The window's content as the platform holds it, against a full fresh painting of the same state.
// The edges of large figures may come out a few levels apart from one painting to another; a part
// left unpainted or stale is far more than that.
bool onScreenAsPainted(AudienceScreen &s)
{
    const QImage shown = s.screen()->grabWindow(s.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = s.grab().toImage().convertToFormat(QImage::Format_RGB32);
    s.takePainted(); // the grab's painting is not the window's
    if (shown.isNull() || shown.size() != fresh.size()) return false;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb a = shown.pixel(x, y), b = fresh.pixel(x, y);
            if (std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))}) > 40)
                return false;
        }
    return true;
}

// Until every screen has painted what it was told: the paint comes a few milliseconds after a
// change (later on a busy machine), through the update request the screen posts then.
void settle()
{
    QCoreApplication::sendPostedEvents();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *s = qobject_cast<AudienceScreen *>(w))
            if (!QTest::qWaitFor([s] { return !s->paintPending(); }, 10000))
                qWarning("a screen never painted");
    QCoreApplication::sendPostedEvents();
}

QRegion areaOf(std::initializer_list<QRectF> rects)
{
    QRegion r;
    for (const QRectF &rect : rects)
        r += rect.toAlignedRect();
    return r;
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
    void aClaimVerdictIsABannerForAWhile();
    void prizeLinesScaleWithTheWindow_data();
    void prizeLinesScaleWithTheWindow();
    void everyPrizeLineIsWhole_data();
    void everyPrizeLineIsWhole();
    void layoutAtEverySize_data();
    void layoutAtEverySize();
    void themesAtThreeSizes_data();
    void themesAtThreeSizes();
    void repaintsOnlyWhatChanged();
    void themeAndListKeys();
    void besideTheCaller_data();
    void besideTheCaller();
    void placementInChildProcesses_data();
    void placementInChildProcesses();
    void windowBesideTheCallerOnOneScreen();
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
            // And the number itself, in white on the red, as the caller's window shows it.
            int ink = 0;
            const QRect figure =
                box.adjusted(box.width() * 0.1, box.height() * 0.25, -box.width() * 0.1, -box.height() * 0.1)
                    .toAlignedRect();
            for (int y = figure.top(); y <= figure.bottom(); ++y)
                for (int x = figure.left(); x <= figure.right(); ++x) {
                    const QColor at = img.pixelColor(x, y);
                    ink += at.red() > 230 && at.green() > 230 && at.blue() > 230 ? 1 : 0;
                }
            if (ink < figure.width() * figure.height() / 50) faults << "no number painted on red: " + t;
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
    // The window system has shown the screen, and had its say on the activation.
    QVERIFY(QTest::qWaitForWindowExposed(c.screen()));
    QTRY_COMPARE(QApplication::activeWindow(), h.form);
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
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "numero56"}));
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
    h.click("cmd_audience");
    QVERIFY(c.isOpen());
    h.click("cmd_audience");
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

void TestAudience::prizeLinesScaleWithTheWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("640x360") << QSize(640, 360);
    QTest::newRow("1280x720") << QSize(1280, 720);
    QTest::newRow("1920x1080") << QSize(1920, 1080);
    QTest::newRow("below the least size") << QSize(320, 180);
}

// The ladder of prizes in a window of any size: its lines in one size, a fixed share of the height
// and never too small to read across the room, as painted; a long line wraps rather than shrinks.
void TestAudience::prizeLinesScaleWithTheWindow()
{
    QFETCH(QSize, size);
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    AudienceScreen &s = *c.screen();
    s.setPrizeLadder({QStringLiteral("Si gioca per il TERNO: 36,00 €"),
                      QStringLiteral("AMBO alla 6ª: 7KQ3M-4 Y, 0D8B2-F C e altri 3")});
    s.resize(size);
    QVERIFY(s.width() >= 480 && s.height() >= 270);
    s.grab();
    const QList<int> sizes = s.ladderLinesPainted();
    QCOMPARE(sizes.size(), 2);
    QCOMPARE(sizes.count(sizes.first()), sizes.size());
    const double share = sizes.first() / double(s.height());
    QVERIFY2(sizes.first() >= 12, qPrintable(QString::number(sizes.first())));
    if (s.height() >= 720) QVERIFY2(share > 0.024 && share < 0.028, qPrintable(QString::number(share)));
}

void TestAudience::everyPrizeLineIsWhole_data()
{
    QTest::addColumn<QSize>("size");
    for (const QSize &s : {QSize(480, 270), QSize(640, 360), QSize(854, 480), QSize(1280, 720),
                           QSize(1920, 1080), QSize(2560, 1440), QSize(3840, 2160), QSize(600, 900)})
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(s.width()).arg(s.height()))) << s;
}

// Five prizes won, some shared: at its default size beside the window the screen once showed the
// AMBO and TERNO alone, the other lines cut off with no sign. Every line is painted whole, inside
// the screen and its band, none over another, at every size the screen can take.
void TestAudience::everyPrizeLineIsWhole()
{
    QFETCH(QSize, size);
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    AudienceScreen &s = *c.screen();
    const QStringList lines{QStringLiteral("Premi tutti vinti"),
                            QStringLiteral("AMBO alla 5ª: ESD1B-6 J"),
                            QStringLiteral("TERNO alla 14ª: ESD1B-6 J"),
                            QStringLiteral("QUATERNO alla 27ª: YBS52-5 P, ESD1B-2 T"),
                            QStringLiteral("CINQUINA alla 45ª: ESD1B-2 T"),
                            QStringLiteral("TOMBOLA alla 79ª: ESD1B-3 R, 0D8B2-F C e altri 3")};
    s.resize(size);
    s.setPrizeLadder(lines);
    QCOMPARE(s.size(), size);
    s.grab();
    const QList<int> sizes = s.ladderLinesPainted();
    const QList<QRectF> rects = s.ladderRectsPainted();
    QCOMPARE(sizes.size(), lines.size());
    const QRectF window(QPointF(0, 0), QSizeF(size));
    const QRectF band = s.layout().extras.adjusted(-0.5, -0.5, 0.5, 0.5);
    for (qsizetype k = 0; k < rects.size(); ++k) {
        QVERIFY2(window.contains(rects[k]) && band.contains(rects[k]), qPrintable(lines[k]));
        for (qsizetype j = 0; j < k; ++j)
            QVERIFY2(!rects[k].intersects(rects[j].adjusted(0.5, 0.5, -0.5, -0.5)), qPrintable(lines[k]));
    }
    // Readable across a room from the smallest screen up; at the least window, as large as it holds.
    QVERIFY2(sizes.first() >= (size.height() >= 360 ? 12 : 8), qPrintable(QString::number(sizes.first())));
    // The number keeps most of its room.
    QVERIFY(s.layout().numberBox.height() >= 0.5 * AudienceScreen::layoutFor(size).numberBox.height());
}

void TestAudience::layoutAtEverySize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1920x1080") << QSize(1920, 1080);
    QTest::newRow("3840x2160") << QSize(3840, 2160);
    QTest::newRow("1024x768") << QSize(1024, 768);
    QTest::newRow("tall 600x900") << QSize(600, 900);
    QTest::newRow("smallest 480x270") << QSize(480, 270);
}

void TestAudience::layoutAtEverySize()
{
    QFETCH(QSize, size);
    const AudienceScreen::Layout l = AudienceScreen::layoutFor(size);
    const QRectF window(QPointF(0, 0), QSizeF(size));

    // The parts never overlap and all lie inside the window; the number box is the largest text.
    const QList<QRectF> parts{l.numberBox, l.words, l.meaning, l.counter, l.recent, l.extras, l.board};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QVERIFY2(window.contains(parts[i]), qPrintable(QString::number(i)));
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            QVERIFY2(!parts[i].intersects(parts[j]), qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
    }
    QVERIFY(l.numberBox.height() > 2.5 * l.cells[0].height());
    QVERIFY(l.numberBox.top() < l.words.top() && l.words.top() < l.meaning.top() &&
            l.meaning.top() < l.counter.top());

    // Cell of n: rows of ten in three bands of three, split in two blocks of five, with wider
    // gaps between blocks than between cells; all cells alike and inside the board.
    const QRectF first = l.cells[0];
    const double cellGap = l.cells[1].left() - first.right();
    QVERIFY(cellGap > 0);
    for (int n = 1; n <= 90; ++n) {
        const QRectF cell = l.cells[std::size_t(n - 1)];
        QVERIFY(l.board.contains(cell));
        QCOMPARE(cell.size(), first.size());
        const int i = n - 1, t = i / 10, u = i % 10;
        if (u > 0) {
            const double gap = cell.left() - l.cells[std::size_t(n - 2)].right();
            QVERIFY2(gap > 0 && (u == 5) == (gap > 2 * cellGap), qPrintable(QString::number(n)));
            QCOMPARE(cell.top(), l.cells[std::size_t(n - 2)].top());
        }
        if (t > 0) {
            const double gap = cell.top() - l.cells[std::size_t(n - 11)].bottom();
            QVERIFY2(gap > 0 && (t % 3 == 0) == (gap > 2 * cellGap), qPrintable(QString::number(n)));
        }
    }
    // The ordered list: rows of ten in draw order, in the board's place, under its caption.
    for (int k = 0; k < 90; ++k) {
        const QRectF place = l.places[std::size_t(k)];
        QVERIFY(l.board.contains(place) && !place.intersects(l.listCaption));
        if (k % 10) QVERIFY(place.left() > l.places[std::size_t(k - 1)].right());
        if (k >= 10) QVERIFY(place.top() > l.places[std::size_t(k - 10)].bottom());
    }
}

void TestAudience::themesAtThreeSizes_data()
{
    QTest::addColumn<AudienceScreen::Theme>("theme");
    QTest::addColumn<QSize>("size");
    const std::pair<const char *, AudienceScreen::Theme> themes[] = {
        {"dark", AudienceScreen::Theme::Dark},
        {"light", AudienceScreen::Theme::Light},
        {"high contrast", AudienceScreen::Theme::HighContrast}};
    for (const auto &[name, theme] : themes)
        for (const QSize size : {QSize(1280, 720), QSize(1920, 1080), QSize(3840, 2160)})
            QTest::addRow("%s %dx%d", name, size.width(), size.height()) << theme << size;
}

// Each theme painted, saved and read back: board figures a sixteenth of the height, drawn and not
// drawn cells apart in grey too, nothing painted outside its part, the pause and the count shown.
void TestAudience::themesAtThreeSizes()
{
    QFETCH(AudienceScreen::Theme, theme);
    QFETCH(QSize, size);
    Harness h;
    AudienceController c(*h.form, h.game());
    const QList<int> drawn{1, 15, 46, 90, 23, 58, 37, 64};
    drawAndPause(h, drawn);
    // Until the game sets a meaning itself.
    const_cast<Game::Display &>(h.game().display()).meaning =
        QStringLiteral("il fucile, ovvero la spingarda");
    h.game().publish();
    c.open();
    AudienceScreen &s = *c.screen();
    s.setTheme(theme);
    s.resize(size);
    QCOMPARE(s.shownCounter(), QStringLiteral("8 di 90"));
    QVERIFY(s.pauseShown());

    // Kept when TOMBOLA_AUDIENCE_SHOTS names a folder, else in one removed at the end.
    QTemporaryDir scratch;
    const QString folder = qEnvironmentVariable("TOMBOLA_AUDIENCE_SHOTS", scratch.path());
    const QString file = QDir(folder).filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + QStringLiteral(".png"));
    QVERIFY(s.grab().save(file));
    const QImage img = QImage(file).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(img.size(), size);
    const AudienceScreen::Layout l = AudienceScreen::layoutFor(size);

    const double least = size.height() / 16.0;
    int litFill = 0, dimFill = 0, litCells = 0, dimCells = 0;
    for (int n = 1; n <= 90; ++n) {
        const QRectF cell = l.cells[std::size_t(n - 1)];
        const Ink figure = figureOf(img, cell);
        const QString which = QString::number(n);
        QVERIFY2(figure.height() >= least,
                 qPrintable(QStringLiteral("%1: figure %2 px high").arg(n).arg(figure.height())));
        // A frame: thick on a drawn cell, a hairline on the others.
        const QRgb fill = fillOf(img, cell);
        const QRgb edge =
            img.pixel(QPointF(cell.left() + cell.height() * 0.035, cell.center().y()).toPoint());
        if (drawn.contains(n)) {
            QVERIFY2(figure.strongest >= 100, qPrintable(which));
            if (n != drawn.last()) QVERIFY2(distance(edge, fill) > 100, qPrintable(which));
            litFill += qGray(fill);
            ++litCells;
        } else {
            QVERIFY2(figure.strongest >= 60, qPrintable(which));
            QVERIFY2(distance(edge, fill) < 30, qPrintable(which));
            dimFill += qGray(fill);
            ++dimCells;
        }
    }
    QVERIFY2(
        std::abs(litFill / litCells - dimFill / dimCells) >= 80,
        qPrintable(QStringLiteral("grey %1 against %2").arg(litFill / litCells).arg(dimFill / dimCells)));

    // Nothing strays outside the parts of the layout.
    const QRegion parts = areaOf({l.numberBox, l.words, l.meaning, l.counter, l.recent, l.extras, l.board});
    const QRgb background = img.pixel(0, 0);
    int strays = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            if (!parts.contains(QPoint(x, y)) && img.pixel(x, y) != background) ++strays;
    QCOMPARE(strays, 0);

    // The words, the meaning and the count are there, each in its own line.
    for (const QRectF &line : {l.words, l.meaning, l.counter})
        QVERIFY(inkIn(img, line, background, 0).height() > line.height() * 0.3);

    // The number three times the board's figures at least, under a PAUSA badge.
    const QRectF &box = l.numberBox;
    const QRgb panel =
        img.pixel(QPointF(box.left() + box.width() * 0.04, box.bottom() - box.height() * 0.1).toPoint());
    const Ink number = inkIn(img, box.adjusted(0, box.height() * 0.24, 0, -box.height() * 0.03), panel, 0.1);
    QVERIFY2(number.height() > 3 * figureOf(img, l.cells[0]).height(),
             qPrintable(QString::number(number.height())));
    const QRgb badge =
        img.pixel(QPointF(box.left() + box.width() * 0.13, box.top() + box.height() * 0.13).toPoint());
    QVERIFY(distance(badge, panel) > 150);
}

void TestAudience::repaintsOnlyWhatChanged()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    c.open();
    AudienceScreen &s = *c.screen();
    s.resize(1280, 720);
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    settle();
    const AudienceScreen::Layout l = AudienceScreen::layoutFor(s.size());
    const QRegion lines = areaOf({l.numberBox, l.words, l.meaning, l.counter, l.recent});
    s.takePainted();

    // Each draw repaints the lines, the new cell and the one that was newest; other pumps nothing.
    h.random.replay(picksFor({12, 5, 80, 33, 47, 61, 9}));
    QStringList faults;
    int quiet = 0, busy = 0;
    QList<int> seen;
    h.clock.onPump = [&](FakeClock::Point p) {
        settle();
        const QRegion painted = s.takePainted();
        const QList<int> order = s.drawnInOrder();
        QRegion allowed = lines;
        for (qsizetype k = std::max<qsizetype>(0, order.size() - 2); k < order.size(); ++k)
            allowed += l.cells[std::size_t(order[k] - 1)].toAlignedRect();
        if (!(painted - allowed).isEmpty())
            faults << QStringLiteral("pump %1 painted too much").arg(order.size());
        if (painted.isEmpty()) {
            ++quiet;
        } else {
            ++busy;
            if (!onScreenAsPainted(s)) faults << QStringLiteral("after %1 drawn").arg(order.size());
        }
        if (order != seen && painted.isEmpty()) faults << QStringLiteral("%1 not painted").arg(order.last());
        seen = order;
        if (p == FakeClock::Point::Wait && h.drawn().size() == 7 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    h.clock.onPump = nullptr;
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char(10))));
    QCOMPARE(busy, 7);
    QVERIFY(quiet >= 7);

    // The pause is the number box's alone; so is nothing at all.
    settle();
    QVERIFY(s.pauseShown());
    QVERIFY((s.takePainted() - l.numberBox.toAlignedRect()).isEmpty());
    h.game().publish();
    settle();
    QCOMPARE(s.takePainted(), QRegion());
    QVERIFY(onScreenAsPainted(s));

    // A meaning and a banner, each in its own place.
    const_cast<Game::Display &>(h.game().display()).meaning = QStringLiteral("i piedi");
    h.game().publish();
    settle();
    QCOMPARE(s.takePainted(), QRegion(l.meaning.toAlignedRect()));
    s.setBanner(QStringLiteral("AMBO!"));
    s.setPrizeLadder({QStringLiteral("Ambo 1 euro"), QStringLiteral("Terno 2 euro")});
    settle();
    QCOMPARE(s.takePainted(), QRegion(l.extras.toAlignedRect()));
    QVERIFY(onScreenAsPainted(s));
    s.setBanner(QString());
    s.setPrizeLadder({});
    settle();
    QVERIFY(onScreenAsPainted(s));

    // In the ordered list a draw repaints the new place and the one before it.
    s.setListShown(true);
    settle();
    s.takePainted();
    h.random.replay(picksFor({70}, h.pool()));
    h.clock.onPump = [&](FakeClock::Point p) {
        settle();
        const QRegion painted = s.takePainted();
        if (!(painted - lines - areaOf({l.places[6], l.places[7]})).isEmpty())
            faults << QStringLiteral("list");
        if (p == FakeClock::Point::Wait && h.drawn().size() == 8 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_sospendi");
    h.clock.onPump = nullptr;
    QCOMPARE(faults, QStringList());
    QCOMPARE(s.drawnInOrder(), QList<int>({12, 5, 80, 33, 47, 61, 9, 70}));
    settle();
    QVERIFY(onScreenAsPainted(s));

    // A new game empties every place, and the board comes back whole.
    h.click("cmd_nuovo");
    settle();
    QVERIFY(onScreenAsPainted(s));
    s.setListShown(false);
    settle();
    QVERIFY(onScreenAsPainted(s));
}

void TestAudience::themeAndListKeys()
{
    Harness h;
    AudienceController c(*h.form, h.game());
    drawAndPause(h, {40, 41});
    c.open();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    AudienceScreen &s = *c.screen();
    QCOMPARE(s.theme(), AudienceScreen::Theme::Dark);
    QTest::keyClick(h.form, Qt::Key_T);
    QCOMPARE(s.theme(), AudienceScreen::Theme::Light);
    QTest::keyClick(h.form, Qt::Key_T);
    QCOMPARE(s.theme(), AudienceScreen::Theme::HighContrast);
    QTest::keyClick(h.form, Qt::Key_T);
    QCOMPARE(s.theme(), AudienceScreen::Theme::Dark);
    QTest::keyClick(h.form, Qt::Key_L);
    QVERIFY(s.listShown());
    QTest::keyClick(h.form, Qt::Key_L);
    QVERIFY(!s.listShown());

    // Typed into a box the letters stay the box's.
    h.click("cmd_ripeti");
    QLineEdit *box = h.form->txt_ultimi;
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("tl"));
    QCOMPARE(s.theme(), AudienceScreen::Theme::Dark);
    QVERIFY(!s.listShown());

    // Closed, the screen takes no key.
    c.close();
    h.form->setFocus();
    QTest::keyClick(h.form, Qt::Key_T);
    QCOMPARE(s.theme(), AudienceScreen::Theme::Dark);
}

void TestAudience::besideTheCaller_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("caller");
    QTest::addColumn<int>("leastWidth");
    const QRect hd(0, 0, 1920, 1040), uhd(0, 0, 3840, 2120);
    QTest::newRow("caller left") << hd << QRect(0, 0, 814, 620) << 1000;
    QTest::newRow("caller right") << hd << QRect(1106, 100, 814, 620) << 1000;
    QTest::newRow("caller wide on top") << hd << QRect(200, 0, 1500, 500) << 800;
    QTest::newRow("caller in the middle") << hd << QRect(553, 210, 814, 620) << 500;
    QTest::newRow("4k caller left") << uhd << QRect(40, 40, 814, 620) << 2800;
    QTest::newRow("second screen at an offset") << hd.translated(1920, 0) << QRect(1920, 0, 814, 620) << 1000;
    QTest::newRow("caller fills the screen") << hd << hd << 0;
}

void TestAudience::besideTheCaller()
{
    QFETCH(QRect, available);
    QFETCH(QRect, caller);
    QFETCH(int, leastWidth);
    const QMargins frame(2, 30, 2, 2);
    const QRect r = AudienceController::besideRect(available, caller, frame);
    if (leastWidth == 0) {
        QVERIFY(r.isNull());
        return;
    }
    const QRect framed = r.marginsAdded(frame);
    QVERIFY2(available.contains(framed),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
    QVERIFY(!framed.intersects(caller));
    QVERIFY2(r.width() >= leastWidth, qPrintable(QString::number(r.width())));
    QVERIFY(std::abs(r.width() * 9 - r.height() * 16) <= 16);
}

void TestAudience::placementInChildProcesses_data()
{
    QTest::addColumn<QJsonArray>("screens");
    QTest::addColumn<QString>("function");
    QTest::newRow("one screen") << QJsonArray{screenAt("portatile", 0, 1920, 1080)}
                                << QStringLiteral("windowBesideTheCallerOnOneScreen");
    QTest::newRow("two screens") << QJsonArray{screenAt("banco", 0, 1280, 1024),
                                               screenAt("tv", 1280, 1920, 1080)}
                                 << QStringLiteral("fullScreenOnTheOtherScreen");
}

void TestAudience::placementInChildProcesses()
{
    QFETCH(QJsonArray, screens);
    QFETCH(QString, function);
    const QString fault = runWithScreens(screens, function.toLatin1().constData());
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestAudience::windowBesideTheCallerOnOneScreen()
{
    if (!inChildWith(1)) QSKIP("runs with one screen, from placementInChildProcesses");
    Harness h;
    AudienceController c(*h.form, h.game());
    QScreen *only = QGuiApplication::primaryScreen();
    h.form->move(only->availableGeometry().topLeft());
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    c.open();
    AudienceScreen &s = *c.screen();
    QVERIFY(!s.isFullScreen());
    const QRect windowed = s.geometry();
    QVERIFY(only->availableGeometry().contains(windowed));
    QVERIFY(!s.frameGeometry().intersects(h.form->frameGeometry()));
    QVERIFY2(windowed.width() >= 1000, qPrintable(QString::number(windowed.width())));
    QVERIFY(s.minimumWidth() < s.maximumWidth() && s.minimumHeight() < s.maximumHeight());

    // F11 and back; a double click the same; Esc out of full screen, then closed.
    QTest::keyClick(h.form, Qt::Key_F11);
    QTRY_VERIFY(s.isFullScreen());
    QTRY_COMPARE(s.geometry(), only->geometry());
    QCOMPARE(QApplication::activeWindow(), h.form);
    QTest::keyClick(h.form, Qt::Key_F11);
    QTRY_VERIFY(!s.isFullScreen());
    QTRY_COMPARE(s.geometry(), windowed);
    QTest::mouseDClick(&s, Qt::LeftButton, {}, QPoint(40, 40));
    QTRY_VERIFY(s.isFullScreen());
    QTest::keyClick(h.form, Qt::Key_Escape);
    QTRY_VERIFY(!s.isFullScreen());
    QVERIFY(c.isOpen());
    QTRY_COMPARE(s.geometry(), windowed);
    QTest::keyClick(h.form, Qt::Key_Escape);
    QVERIFY(!c.isOpen());

    // Moved and resized by hand and reopened: where it was left; with the caller moved over it, beside again.
    c.open();
    s.setGeometry(windowed.adjusted(20, 30, -40, -20));
    const QRect moved = s.geometry();
    c.close();
    c.open();
    QCOMPARE(s.geometry(), moved);
    c.close();
    h.form->move(only->availableGeometry().right() - h.form->frameGeometry().width(), 0);
    c.open();
    QVERIFY(!s.frameGeometry().intersects(h.form->frameGeometry()));
    QVERIFY(s.geometry().right() < h.form->geometry().left());
}

void TestAudience::fullScreenOnTheOtherScreen()
{
    if (!inChildWith(2)) QSKIP("runs with two screens, from placementInChildProcesses");
    const QList<QScreen *> screens = QGuiApplication::screens();
    Harness h;
    AudienceController c(*h.form, h.game());
    h.form->setScreen(screens[0]);
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    c.open();
    QTRY_VERIFY(c.screen()->isFullScreen());
    QCOMPARE(c.screen()->screen(), screens[1]);
    QTRY_COMPARE(c.screen()->geometry(), screens[1]->geometry());
    // Esc: a window on the room's display first, then closed.
    QTest::keyClick(h.form, Qt::Key_Escape);
    QTRY_VERIFY(!c.screen()->isFullScreen());
    QVERIFY(c.isOpen());
    QVERIFY(screens[1]->geometry().contains(c.screen()->geometry()));
    QVERIFY(c.screen()->geometry() != screens[1]->geometry());
    QTest::keyClick(h.form, Qt::Key_F11);
    QTRY_COMPARE(c.screen()->geometry(), screens[1]->geometry());
    c.toggle();
    QVERIFY(!c.isOpen());

    // With the caller on the second screen, the first one is the room's.
    h.form->setScreen(screens[1]);
    c.toggle();
    QCOMPARE(c.screen()->screen(), screens[0]);
    QTRY_COMPARE(c.screen()->geometry(), screens[0]->geometry());
}

void TestAudience::aClaimVerdictIsABannerForAWhile()
{
    // A verdict given before the screen opens is still shown when it opens, then goes by itself.
    Harness h;
    AudienceController c(*h.form, h.game());
    c.showBanner(QStringLiteral("AMBO VALIDO"), 300);
    c.open();
    QCOMPARE(c.screen()->banner(), QStringLiteral("AMBO VALIDO"));
    QTRY_COMPARE_WITH_TIMEOUT(c.screen()->banner(), QString(), 3000);
}

QTEST_MAIN(TestAudience)
#include "test_audience.moc"
