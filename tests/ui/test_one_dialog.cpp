// One dialog at a time: while a question, a message or a dialog of the program is on screen,
// nothing else in the program asks or acts, whatever the caller presses or clicks on the windows
// around it (the window's keys, its accelerators and buttons, the audience screen's keys), and a
// question answered "No" leaves the game as it was. Real message boxes over the real window; keys
// and clicks come through the window system's way in, as a caller's would.

#include "form_harness.h"

#include "ui/about.h"
#include "ui/audience_controller.h"
#include "ui/audience_screen.h"
#include "ui/qt_platform.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>

namespace
{

// The caller's window wired as the program wires it, with the real message boxes.
struct Program {
    FakeSound sound;
    FakeClock clock;
    FakeRandom random{1};
    QtDialogs dialogs;
    FakePrinter printer;
    Caller caller{Ports{sound, clock, random, dialogs}, printer};
    AudienceController audience{caller.form, caller.game};
    Form1 &form = caller.form;
    Game &game = caller.game;

    Program()
    {
        sound.clock = &clock;
        dialogs.setParent(&form);
        installAboutBox(form);
        QObject::connect(&form, &Form1::audienceScreenRequested, &audience, &AudienceController::toggle);
        form.Form_Load();
        audience.open();
    }

    // What the game and the windows around it hold: the same before and after means nothing acted.
    QString snapshot() const
    {
        const GameState &s = game.state();
        QStringList drawn, pool;
        for (int j = 1; j <= s.drawnCount(); ++j)
            drawn << s.numeri_estratti(j);
        for (int j = 1; j <= s.quanti_da_estrarre; ++j)
            pool << s.numeri_da_estrarre(j);
        const AudienceScreen *room = audience.screen();
        return QStringList(
                   {QStringLiteral("drawn ") + drawn.join(QLatin1Char(' ')),
                    QStringLiteral("pool ") + pool.join(QLatin1Char(' ')),
                    QStringLiteral("stopped %1, next %2").arg(int(s.sospeso)).arg(s.prossima_estrazione),
                    QStringLiteral("basket %1").arg(int(game.isBasketMode())), form.Label1->text(),
                    form.cmd_sospendi->text(), form.txt_panariello->text(),
                    QStringLiteral("room %1, theme %2, list %3, full %4")
                        .arg(int(audience.isOpen()))
                        .arg(int(room->theme()))
                        .arg(int(room->listShown()))
                        .arg(int(room->isFullScreen()))})
            .join(QStringLiteral("; "));
    }

    // The window in front with the keyboard, as after a click on it.
    bool bringForward()
    {
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form);
    }
    void click(QWidget *w)
    {
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, w->mapTo(&form, w->rect().center()));
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(form.windowHandle(), k, mods); }

    // Draws `numbers` and pauses after the last, with "&Riprendi" on the pause button.
    void drawAndPause(const QList<int> &numbers)
    {
        random.replay(picksFor(numbers));
        clock.onPump = [this, n = numbers.size()](FakeClock::Point p) {
            if (p == FakeClock::Point::Wait && game.state().drawnCount() == n && !game.state().sospeso)
                game.pauseOrResume();
        };
        form.cmd_estrai_Click();
        clock.onPump = nullptr;
    }
};

QList<QDialog *> dialogsOnScreen()
{
    QList<QDialog *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible()) out << d;
    return out;
}

// Everything a caller could hit: F5 with the dialog in front, then, with the caller's window
// brought forward, every key, accelerator and button the program answers, the board, the basket's
// box, and the audience screen's keys and double click.
void hitEverything(Program &p, QDialog *dialog)
{
    QTest::keyClick(dialog->windowHandle(), Qt::Key_F5);
    p.bringForward();
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Z, Qt::ControlModifier},
                                                              {Qt::Key_F1, {}},
                                                              {Qt::Key_F5, {}},
                                                              {Qt::Key_F6, {}},
                                                              {Qt::Key_T, {}},
                                                              {Qt::Key_L, {}},
                                                              {Qt::Key_F11, {}},
                                                              {Qt::Key_N, Qt::AltModifier},
                                                              {Qt::Key_O, Qt::AltModifier},
                                                              {Qt::Key_E, Qt::AltModifier},
                                                              {Qt::Key_P, Qt::AltModifier},
                                                              {Qt::Key_Z, Qt::AltModifier},
                                                              {Qt::Key_M, Qt::AltModifier},
                                                              {Qt::Key_Escape, {}}};
    for (const auto &[k, mods] : keys)
        p.key(k, mods);
    p.form.txt_panariello->setFocus(Qt::OtherFocusReason);
    for (const Qt::Key k : {Qt::Key_4, Qt::Key_1, Qt::Key_Return})
        p.key(k);
    for (QWidget *w : std::initializer_list<QWidget *>{p.form.cmd_togli, p.form.cmd_nuovo, p.form.cmd_estrai,
                                                       p.form.cmd_sospendi, p.form.chk_panariello,
                                                       p.form.LBL_TAB[40], p.form.cmd_audience})
        if (w->isVisible()) p.click(w);
    QWindow *room = p.audience.screen()->windowHandle();
    QTest::mouseDClick(room, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::keyClick(room, Qt::Key_T);
    if (!settleInput()) qWarning("a button stayed down");
}

// Has `open` bring up a first dialog, hits everything while it is on screen, then answers it with
// Esc ("No" to a question). Returns the most dialogs seen on screen at once; any further one is
// answered at once, so that a fault shows as a count rather than as a hang. `during` gets the
// program's snapshot taken while the first dialog was still open.
int besiege(Program &p, const std::function<void()> &open, QString &during)
{
    QPointer<QDialog> first;
    int most = 0;
    bool answered = false;
    QTimer janitor;
    janitor.setInterval(5);
    QObject::connect(&janitor, &QTimer::timeout, [&] {
        const QList<QDialog *> shown = dialogsOnScreen();
        most = std::max(most, int(shown.size()));
        if (first)
            for (QDialog *d : shown)
                if (d != first) d->reject();
    });
    QTimer attack;
    attack.setInterval(10);
    QObject::connect(&attack, &QTimer::timeout, [&] {
        const QList<QDialog *> shown = dialogsOnScreen();
        if (shown.isEmpty()) return;
        attack.stop();
        first = shown.first();
        hitEverything(p, first);
        most = std::max(most, int(dialogsOnScreen().size()));
        during = p.snapshot();
        // The caller clicks the dialog and presses Esc.
        if (first) {
            first->activateWindow();
            // Not qWaitForWindowActive(): a dialog counts as active while its parent window is.
            if (!QTest::qWaitFor([&] { return QApplication::activeWindow() == first; }))
                qWarning("the dialog did not come forward");
            QTest::keyClick(first->windowHandle(), Qt::Key_Escape);
        }
        answered = true;
    });
    janitor.start();
    attack.start();
    open();
    if (!QTest::qWaitFor([&] { return answered; }, 10000)) return -1;
    // The first one gone, and what its answer set off handled: anything that asks now shows.
    if (!QTest::qWaitFor([&] { return !first || !first->isVisible(); }, 10000) || !settleInput()) return -1;
    most = std::max(most, int(dialogsOnScreen().size()));
    return most;
}

enum class First { TakeBackByCtrlZ, TakeBackByButton, NewGameByAltN, AboutByF1, ListByF6, ModeRefusedByAltZ };

} // namespace

Q_DECLARE_METATYPE(First)

class TestOneDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nothingElseAsksOrActsWhileADialogIsOpen_data();
    void nothingElseAsksOrActsWhileADialogIsOpen();
    void replacingAFileIsAskedByTheProgram();
};

void TestOneDialog::initTestCase()
{
    // The file dialog would write its history into the user's settings.
    keepNoSettings();
}

void TestOneDialog::nothingElseAsksOrActsWhileADialogIsOpen_data()
{
    QTest::addColumn<First>("first");
    QTest::newRow("take-back question by Ctrl+Z") << First::TakeBackByCtrlZ;
    QTest::newRow("take-back question by its button") << First::TakeBackByButton;
    QTest::newRow("new-game question by Alt+N") << First::NewGameByAltN;
    QTest::newRow("About box by F1") << First::AboutByF1;
    QTest::newRow("list of the evening by F6") << First::ListByF6;
    QTest::newRow("basket refused during a draw, by Alt+Z") << First::ModeRefusedByAltZ;
}

void TestOneDialog::nothingElseAsksOrActsWhileADialogIsOpen()
{
    QFETCH(First, first);
    Program p;
    const bool basket = first == First::TakeBackByCtrlZ || first == First::TakeBackByButton;
    if (basket) {
        QVERIFY(p.game.setBasketMode(true));
        QVERIFY(p.game.enterNumber(23));
        QVERIFY(p.game.enterNumber(7));
    } else if (first != First::ModeRefusedByAltZ) {
        p.drawAndPause({12, 34, 56});
        QCOMPARE(p.game.state().drawnCount(), 3);
    }
    QVERIFY(p.bringForward());

    QString before, during;
    std::function<void()> open;
    switch (first) {
    case First::TakeBackByCtrlZ:
        open = [&] { p.key(Qt::Key_Z, Qt::ControlModifier); };
        break;
    case First::TakeBackByButton:
        open = [&] { p.click(p.form.cmd_togli); };
        break;
    case First::NewGameByAltN:
        open = [&] {
            p.key(Qt::Key_N, Qt::AltModifier);
            QVERIFY(settleInput());
        };
        break;
    case First::AboutByF1:
        open = [&] { p.key(Qt::Key_F1); };
        break;
    case First::ListByF6:
        open = [&] { p.key(Qt::Key_F6); };
        break;
    case First::ModeRefusedByAltZ:
        // Inside the draw, after its second number: the message stops it where it stands.
        open = [&] {
            p.random.replay(picksFor({40, 41, 42}));
            bool asked = false;
            p.clock.onPump = [&](FakeClock::Point point) {
                const int d = p.game.state().drawnCount();
                if (point != FakeClock::Point::Wait) return;
                if (d == 2 && !asked) {
                    asked = true;
                    before = p.snapshot();
                    p.key(Qt::Key_Z, Qt::AltModifier);
                    QVERIFY(settleInput());
                } else if (d == 3 && !p.game.state().sospeso) {
                    p.game.pauseOrResume();
                }
            };
            p.form.cmd_estrai_Click();
            p.clock.onPump = nullptr;
        };
        break;
    }
    if (first != First::ModeRefusedByAltZ) before = p.snapshot();

    QCOMPARE(besiege(p, open, during), 1);
    QCOMPARE(during, before);
    switch (first) {
    case First::ModeRefusedByAltZ:
        QVERIFY(!p.game.isBasketMode());
        QCOMPARE(p.game.state().drawnCount(), 3);
        QVERIFY(!p.form.chk_panariello->isChecked());
        break;
    case First::ListByF6:
        QTRY_VERIFY(!p.caller.prizePanel.listDialog());
        QCOMPARE(p.snapshot(), before);
        break;
    default:
        // Answered "No", or closed: the game as it was.
        QCOMPARE(p.snapshot(), before);
    }
}

void TestOneDialog::replacingAFileIsAskedByTheProgram()
{
    // The file dialog asks before replacing a file in a modal box of its own, which would swallow a
    // close of the window: the question is the program's, and its "No" goes back to the file dialog.
    Program p;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("serata.pdf"));
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();

    QStringList seen;
    bool modal = false;
    bool busy = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        modal = modal || QApplication::activeModalWidget();
        const QList<QDialog *> shown = dialogsOnScreen();
        if (busy || shown.isEmpty()) return;
        busy = true;
        QDialog *d = shown.first();
        if (auto *files = qobject_cast<QFileDialog *>(d)) {
            seen << QStringLiteral("file dialog");
            files->selectFile(path);
        } else if (auto *box = qobject_cast<QMessageBox *>(d)) {
            seen << box->text();
        }
        // Answered from the event loop, as a click would be.
        QTimer::singleShot(0, d, [&, d] {
            busy = false;
            // Through QDialog, where accept() is public: the file dialog's own runs.
            if (qobject_cast<QFileDialog *>(d)) d->accept();
            if (auto *box = qobject_cast<QMessageBox *>(d))
                box->button(seen.size() == 2 ? QMessageBox::No : QMessageBox::Yes)->click();
        });
    });
    poll.start();
    QCOMPARE(choosePdfFile(&p.form), path);
    const QString question = QStringLiteral("Il file serata.pdf esiste già. Sostituirlo?");
    QCOMPARE(seen, QStringList({"file dialog", question, "file dialog", question}));
    QVERIFY(!modal);
}

QTEST_MAIN(TestOneDialog)
#include "test_one_dialog.moc"
