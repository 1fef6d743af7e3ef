#pragma once
// A fresh window with fake ports for every test, and helpers to reach its controls by name.

#include "fakes/fake_ports.h"
#include "fakes/fake_random.h"
#include "fakes/picks.h"
#include "fakes/state_fault.h"
#include "ui/caller.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <memory>

// Until nothing the last keys and clicks set off is still to come: no button held down by its
// accelerator (Qt's own click a moment after the key, the program's at once), and what was posted
// meanwhile handled. False when a button stayed down.
inline bool settleInput(int timeoutMs = 10000)
{
    const bool released = QTest::qWaitFor(
        [] {
            for (QWidget *w : QApplication::allWidgets())
                if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isDown()) return false;
            return true;
        },
        timeoutMs);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return released;
}

struct Harness {
    FakeSound sound;
    FakeClock clock;
    FakeRandom random;
    FakeDialogs dialogs;
    FakePrinter printer;
    std::unique_ptr<Caller> caller;
    Form1 *form = nullptr;

    explicit Harness(std::uint32_t seed = 1, bool load = true) : random(seed)
    {
        sound.clock = &clock;
        caller = std::make_unique<Caller>(Ports{sound, clock, random, dialogs}, printer);
        // The draw's numbers come from the fake RandomPort, unsealed, unless a test seals them.
        caller->game.setSecretSource(nullptr);
        form = &caller->form;
        if (load) form->Form_Load();
    }

    Game &game() { return caller->game; }
    const GameState &state() const { return caller->game.state(); }
    // The hidden right-button gesture: the draw stops at its next check and no caption changes.
    void stopQuietly() { caller->game.bigNumberGesture(2, 0.0f); }
    QString label2Tag() const { return form->tag(Control::Label2); }

    template <typename T = QWidget> T *control(const QString &name)
    {
        T *w = form->findChild<T *>(name);
        if (!w) qFatal("no control named %s", qPrintable(name));
        return w;
    }

    void click(const QString &name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    void clickIfEnabled(const QString &name)
    {
        auto *b = control<QPushButton>(name);
        if (b->isEnabled() && b->isVisible()) QTest::mouseClick(b, Qt::LeftButton);
    }

    // A mouse move over the big number with the given buttons held, at x pixels from its left.
    void gesture(Qt::MouseButtons buttons, double xPixels)
    {
        QLabel *l = control<QLabel>(QStringLiteral("Label1"));
        const QPointF pos(xPixels, 20);
        QMouseEvent move(QEvent::MouseMove, pos, l->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(l, &move);
    }

    // The live part of the pool, in its order.
    QList<int> pool() const
    {
        QList<int> out;
        for (int j = 1; j <= state().quanti_da_estrarre; ++j)
            out << state().numeri_da_estrarre(j).toInt();
        return out;
    }

    // Draws `numbers` in that order (starting the game, or resuming it) and pauses after the last.
    void drawAndPause(const QList<int> &numbers);

    QString text(const QString &name) { return control<QLabel>(name)->text(); }

    // The numbers drawn so far in this game, in draw order.
    QStringList drawn() const
    {
        QStringList out;
        for (int j = 1; j <= 90 - state().quanti_da_estrarre; ++j)
            out << state().numeri_estratti(j);
        return out;
    }

    // Empty when the game state and the board agree; otherwise what is wrong.
    QString invariantFault() const
    {
        return stateFault(state(), [this](int n) {
            const QLabel *cell = form->LBL_TAB[std::size_t(n - 1)];
            return CellLook{cell->text(), Form1::backColor(cell) == QColor(192, 255, 255)};
        });
    }
};

inline void Harness::drawAndPause(const QList<int> &numbers)
{
    random.replay(picksFor(numbers, state().quanti_da_estrarre < 90 ? pool() : QList<int>{}));
    const int target = int(drawn().size() + numbers.size());
    clock.onPump = [this, target](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && drawn().size() == target && !state().sospeso)
            click("cmd_sospendi");
    };
    click(form->cmd_estrai->isEnabled() ? "cmd_estrai" : "cmd_sospendi");
    // A draw that stopped by itself for a winner is resumed, as a caller would after a look.
    while (drawn().size() < target && state().sospeso && !game().isClosed() &&
           form->cmd_sospendi->text() == QStringLiteral("&Riprendi"))
        click("cmd_sospendi");
    clock.onPump = nullptr;
}
