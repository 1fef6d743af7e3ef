#pragma once
// The game and its rules on a recording fake of the window, with fake ports: no widget and no
// display. Each helper does what the window's handler for the same click or key does.

#include "cards/card_code.h"
#include "cards/print_run.h"
#include "claims/claim_check.h"
#include "claims/repeat.h"
#include "claims/typed_number.h"
#include "fakes/fake_ports.h"
#include "fakes/fake_random.h"
#include "fakes/fake_view.h"
#include "fakes/picks.h"
#include "fakes/state_fault.h"
#include "game/game.h"

#include <QStringList>
#include <QVector>
#include <utility>

struct GameHarness {
    FakeSound sound;
    FakeClock clock;
    FakeRandom random;
    FakeDialogs dialogs;
    FakePrinter printer;
    FakeView view;
    Game game;
    ClaimCheck claims;
    Repeat repeat;
    PrintRun printRun;

    explicit GameHarness(std::uint32_t seed = 1, bool load = true)
        : random(seed), game(view, Ports{sound, clock, random, dialogs}), claims(game), repeat(game),
          printRun(printer, [&r = random] { return newSeries(static_cast<RandomPort &>(r)); })
    {
        sound.clock = &clock;
        // The tests steer the draw's numbers through the fake RandomPort: unsealed unless a test
        // gives the game a source of secrets.
        game.setSecretSource(nullptr);
        view.onValueChanged = [this] { game.speedChanged(); };
        // As the window's option buttons and boxes tell the game.
        view.onChecked = [this](Control c, bool on) {
            switch (c) {
            case Control::Opt_escludi:
                if (on) game.setWritingMode(WritingMode::Escludi);
                break;
            case Control::Opt_maiuscolo:
                if (on) game.setWritingMode(WritingMode::Maiuscolo);
                break;
            case Control::Opt_minuscolo:
                if (on) game.setWritingMode(WritingMode::Minuscolo);
                break;
            case Control::Opt_script:
                if (on) game.setWritingMode(WritingMode::Corsivo);
                break;
            case Control::smorfiaBox:
                game.setMeaningShown(on);
                break;
            case Control::sayMeaningBox:
                game.setMeaningSaid(on);
                break;
            default:
                break;
            }
        };
        // As the window's focus filter: nothing is checked once the program is closing.
        view.onBoxLeft = [this](int box) {
            if (!game.isClosed()) claims.boxLeft(box);
        };
        if (load) game.load();
    }

    const GameState &state() const { return game.state(); }
    QString caption(ControlId c) const { return view.caption(c); }
    QString label2Tag() const { return view.tag(Control::Label2); }

    // A click on a button; like a mouse click, it does nothing on a disabled or hidden button.
    bool click(Control c)
    {
        if (!view.isEnabled(c) || !view.isVisible(c)) return false;
        switch (c) {
        case Control::cmd_estrai:
            game.draw();
            break;
        case Control::cmd_nuovo:
            game.newGameAsked();
            break;
        case Control::cmd_sospendi:
            game.pauseOrResume();
            break;
        case Control::cmd_verifica:
            claims.panelToggled();
            break;
        case Control::cmd_ripeti:
            repeat.ripetiClicked();
            break;
        case Control::cmd_togli:
            game.takeBackAsked();
            break;
        default:
            qFatal("no click handler for control %d", int(c));
        }
        return true;
    }

    // A click on an option button of the words: it checks it, and Escludi has its own handler.
    void chooseWriting(Control option)
    {
        view.setChecked(option, true);
        if (option == Control::Opt_escludi) game.wordsExcluded();
    }

    // The hidden right-button gesture: the draw stops at its next check and no caption changes.
    void stopQuietly() { game.bigNumberGesture(2, 0.0f); }

    // A user moving the focus to `c` (a click or a tab): the box left is checked.
    void moveFocus(ControlId c) { view.setFocus(c, GameView::Focus::MoveOn); }
    // The claim box with the focus, or -1.
    int focusedBox() const
    {
        return view.focus && view.focus->control == Control::Text1 ? view.focus->index : -1;
    }

    // A click on a prize button of the open claim panel: the button takes the focus first.
    bool clickPrize(int prize)
    {
        if (!view.isVisible(Control::fra_controlli)) return false;
        moveFocus(Control::fra_controlli);
        claims.prizePicked(prize);
        return true;
    }

    // Typing into claim box `box`: each key passes its filter, then a read-only box takes no text.
    void type(int box, const QString &text)
    {
        const ControlId c(Control::Text1, box);
        for (const QChar ch : text) {
            auto key = static_cast<std::int16_t>(ch.unicode());
            claims.keyPressed(box, key);
            if (key != 0 && !view.isLocked(c)) {
                view.setCaption(c, view.caption(c) + QChar(key));
                claims.boxEdited(box); // as the window reports an edit
            }
        }
    }
    // Empties a claim box as backspace would.
    void erase(int box)
    {
        view.setCaption(ControlId(Control::Text1, box), QString());
        claims.boxEdited(box);
    }
    void enter(int box)
    {
        std::int16_t key = 13;
        claims.keyPressed(box, key);
    }

    // Typing into the repeat box, and Enter there.
    void typeInRepeatBox(const QString &text)
    {
        for (const QChar ch : text) {
            auto key = static_cast<std::int16_t>(ch.unicode());
            repeat.keyPressed(key);
            if (key != 0)
                view.setCaption(Control::txt_ultimi, view.caption(Control::txt_ultimi) + QChar(key));
        }
    }
    void enterInRepeatBox()
    {
        std::int16_t key = 13;
        repeat.keyPressed(key);
    }

    // The card panel's "OK" (or "..." with `toPdf`) with `count` in its box.
    std::optional<Notice> printCards(const QString &count, bool toPdf = false,
                                     const std::function<QString()> &chooseFile = {})
    {
        return printRun.print(valore_numerico(count), toPdf, game.isDrawing(), CardDealer::Classic, record(),
                              chooseFile);
    }
    // Enter in the count box: its own refusal, or the run as "OK" would start it.
    std::optional<Notice> enterCount(const QString &count)
    {
        if (auto refusal = printRun.checkOnEnter(valore_numerico(count), record())) return refusal;
        return printCards(count);
    }
    PrintRecord record() { return game.printRecord(); }

    // The live part of the pool, in its order.
    QList<int> pool() const
    {
        QList<int> out;
        for (int j = 1; j <= state().quanti_da_estrarre; ++j)
            out << state().numeri_da_estrarre(j).toInt();
        return out;
    }

    // The numbers drawn so far in this game, in draw order.
    QStringList drawn() const
    {
        QStringList out;
        for (int j = 1; j <= 90 - state().quanti_da_estrarre; ++j)
            out << state().numeri_estratti(j);
        return out;
    }

    // Draws `numbers` in that order (starting the game, or resuming it) and pauses after the last.
    // The random draw never goes on while a winner of the watch waits for the caller: from a stop
    // for a winner (or when one waits already) the rest come from the basket, as a caller who leaves
    // the winner waiting would enter them, and the winner still waits.
    void drawAndPause(const QList<int> &numbers)
    {
        random.replay(picksFor(numbers, state().quanti_da_estrarre < 90 ? pool() : QList<int>{}));
        const int start = int(drawn().size());
        const int target = int(start + numbers.size());
        clock.onPump = [this, target](FakeClock::Point p) {
            if (p == FakeClock::Point::Wait && drawn().size() == target && !state().sospeso)
                click(Control::cmd_sospendi);
        };
        // Asked about a waiting winner before the draw goes on: the last answer, staying stopped.
        auto answer = std::exchange(dialogs.choice, [](const QString &, const QStringList &buttons) {
            return int(buttons.size()) - 1;
        });
        click(view.isEnabled(Control::cmd_estrai) ? Control::cmd_estrai : Control::cmd_sospendi);
        dialogs.choice = std::move(answer);
        clock.onPump = nullptr;
        if (drawn().size() >= target || game.isClosed()) return;
        random.forgetReplay();
        const bool basket = game.isBasketMode();
        game.setBasketMode(true);
        for (qsizetype k = drawn().size() - start; k < numbers.size(); ++k)
            game.enterNumber(numbers[k]);
        game.setBasketMode(basket);
    }

    // Draws `count` more numbers of whatever the generator gives (a sealed game's) and pauses.
    void drawCountAndPause(int count)
    {
        const int target = int(drawn().size()) + count;
        clock.onPump = [this, target](FakeClock::Point p) {
            if (p == FakeClock::Point::Wait && drawn().size() == target && !state().sospeso)
                click(Control::cmd_sospendi);
        };
        click(view.isEnabled(Control::cmd_estrai) ? Control::cmd_estrai : Control::cmd_sospendi);
        clock.onPump = nullptr;
    }

    // Empty when the game state and the board agree; otherwise what is wrong.
    QString invariantFault() const
    {
        return stateFault(state(), [this](int n) {
            const FakeView::Cell &cell = view.cell(ControlId(Control::LBL_TAB, n - 1));
            return CellLook{cell.caption, cell.back == Palette::lightCyan};
        });
    }
};
