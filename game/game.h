#pragma once
// The game: the draw cycle and the controls that start, pause, resume, pace, reset and end it. It
// owns the game state and acts on the caller's window only through GameView.
//
// Everything runs on one thread. The draw is one long call that lets other events in only at its
// pump points; the other handlers steer it through `sospeso` and `nuova_partita`. Observers learn
// what happened from the signals and the read-only state, never from the window.

#include "game/game_log.h"
#include "game/game_state.h"
#include "game/game_view.h"
#include "game/ports.h"

#include <QByteArray>
#include <QFlags>
#include <QList>
#include <QObject>
#include <algorithm>
#include <array>
#include <functional>
#include <utility>

// How the drawn number is written in words: the four option buttons of the window.
enum class WritingMode { Escludi, Maiuscolo, Minuscolo, Corsivo };

class Game : public QObject
{
    Q_OBJECT

public:
    // What the big display, the counter line and the words show, as the game last set them.
    struct Display {
        QString number;
        QString counter;
        QString words;
        // The traditional meaning of the number shown, when the caller wants it shown; else empty.
        QString meaning;
        bool repeatOn = false; // the big display is red: the last numbers are being repeated
        bool operator==(const Display &) const = default;
    };

    // What changed since the previous publish(), so that an observer redoes only that.
    enum class Change {
        Displayed = 0x1, // display()
        Numbers = 0x2,   // drawnNumbers(): a number drawn or taken back, a new game
        Pause = 0x4,     // isPaused()
        Controls = 0x8,  // a control set through view(): a caption, enabled, shown, a colour, a face
    };
    Q_DECLARE_FLAGS(Changes, Change)
    Q_FLAG(Changes)

    Game(GameView &view, Ports ports, QObject *parent = nullptr);
    ~Game() override;

    const GameState &state() const { return m_state; }
    const Display &display() const { return m_display; }
    // The numbers of the current game, in draw order.
    QList<int> drawnNumbers() const;
    bool isDrawing() const { return m_drawDepth > 0; }
    bool isClosed() const { return m_closed; }
    // The draw is stopped in the middle of a game (by the pause or the hidden gesture).
    bool isPaused() const;

    // The window's handlers for the game.
    void load();     // Form_Load
    void activate(); // Form_Activate
    void close();    // Form_Unload
    void draw();     // cmd_estrai_Click
    void newGame();  // the new-game reset
    // cmd_nuovo_Click: in the middle of a game, with numbers drawn and not all of them, the reset
    // first asks whether to throw the game away; one click must not lose an evening's game.
    void newGameAsked();
    void pauseOrResume(); // cmd_sospendi_Click
    // Asked before a stopped draw goes on (Riprendi, the hidden gesture): false keeps it stopped.
    // The prize desk asks the caller about a winner still waiting.
    void setResumeCheck(std::function<bool()> check) { m_mayResume = std::move(check); }
    // Whether the game is over though numbers are left (every prize won): a new game then loses
    // nothing and is not asked about. The prize desk knows.
    void setGameOverCheck(std::function<bool()> over) { m_isOver = std::move(over); }
    // A winner among tonight's cards: a random draw stops before its next number, as a pause does
    // ("&Riprendi"). Nothing happens when no random draw runs.
    void stopForWinner();
    // The pause before the next number lasts at least `seconds`, for the room to read a banner.
    void holdBeforeNextNumber(double seconds) { m_hold = std::max(m_hold, seconds); }
    void speedChanged();                        // HScroll1_Change
    void bigNumberGesture(int button, float x); // Label1_MouseMove, x in twips
    void wordsExcluded();                       // Opt_escludi_Click
    // The option button of the words that is on; the draw reads it for every number.
    void setWritingMode(WritingMode mode) { m_writing = mode; }
    WritingMode writingMode() const { return m_writing; }
    // La smorfia: the meaning shown under the words, and also said after the number.
    void setMeaningShown(bool on);
    void setMeaningSaid(bool on) { m_sayMeaning = on; }

    // What the claim check writes of the record: the prize under check, a prize's count set to
    // the numbers its claim holds, and a confirmed number counted by the fanfare (Avviso).
    void choosePrize(int index);
    void setClaimCount(int indice, int count);
    void Avviso(std::int16_t indice);
    // The fields of the record a print run writes.
    PrintRecord printRecord() { return {m_state.num_cartelle, m_state.conta_cartelle}; }

    // The basket: the caller draws by hand and enters each number; it takes the same turn as a
    // random one. The mode changes only while no draw runs; false when refused.
    bool isBasketMode() const { return m_basket; }
    bool setBasketMode(bool on);
    // A number out of the bag, typed or clicked; a bad one is refused with a message. True when
    // it took its turn.
    bool enterNumber(const QString &text);
    bool enterNumber(int number);
    // Puts the last entered number back in the pool after a question; true when it was taken back.
    bool takeBackAsked();

    // A resumed evening: the game ready, its numbers `drawn` out in their order and the draw stopped
    // after them, as a pause leaves it; `basket` the mode they came in. `started`: numbers were
    // drawn this evening before, so the card panel has gone.
    // `secret`: the game's sealed draw, when its seal was shown; its next numbers follow from it.
    void resume(const QList<int> &drawn, bool basket, bool started, const QByteArray &secret = {});

    // The sealed draw: where the secret of each game drawn at random comes from (the system's
    // generator unless set), fixed at the game's first random number. Without a source the random
    // draw takes its numbers from the RandomPort, unsealed.
    void setSecretSource(std::function<QByteArray()> source) { m_secretSource = std::move(source); }
    // The seal of the game under way ("3f2a 9c01 77de 0b45"), empty before its first random number.
    QString seal() const;

    // The waits the rules share. Each first lets observers see what changed.
    void pump();
    void waitUntil(double deadline);
    // Waits until the clock passes the start plus `seconds()`, read afresh on every pass; returns
    // early when the program closes.
    void waitFor(const std::function<double()> &seconds);
    // Speaks a number, pumping after a two-clip number; a missing clip throws ClipMissing.
    void speak(int numero);
    void playQuietly(const QString &key);
    // The meaning of `number` under its words while it is to be shown, else nothing; then spoken,
    // when it is also to be said.
    void showMeaning(int number);
    void sayMeaning(int number);

    // The big display as the repeat sets it.
    void showNumber(const QString &text);
    void showRepeatColour(bool on);
    void showWords(const QString &text);
    // A repeated number is on the big display.
    void announceRepeated(int number);
    // Tells observers what the window shows anew since the previous call: changed() and updated(),
    // and nothing at all when nothing has changed.
    void publish();

    Ports &ports() { return m_ports; }
    GameView &view() { return m_view; }

signals:
    // A number was picked and put in the history, and is about to be shown: the evening's record
    // keeps it now. `byHand`: it came from the basket.
    void numberChosen(int number, int ordinal, bool byHand);
    // A number was drawn, shown, lit and spoken is about to follow; `ordinal` counts from 1.
    void numberDrawn(int number, int ordinal);
    // The draw stopped; the next number to draw is `position` (1 after a new game).
    void stopped(int position);
    // The basket's last number went back to the pool; `ordinal` was its place in the history.
    void numberTakenBack(int number, int ordinal);
    void newGameStarted();
    // The game's secret is fixed, before its first random number: the evening's record keeps it
    // (and reveals it at the game's end); everyone else shows only its seal().
    void sealed(const QByteArray &secret);
    // The basket mode was switched on or off.
    void basketModeChanged(bool on);
    // A resumed evening's game is back.
    void resumed();
    // The 90th number is out: the big display reads "Fine".
    void gameEnded();
    // The repeat shows `number` on the red display.
    void repeatShowing(int number);
    // What an observer shows has changed (the display, the numbers drawn, the pause, a caption):
    // emitted by publish(), before a pump or a wait and when a handler has done its part, and only
    // when something changed since the previous one. changed() comes first and says what.
    void changed(Game::Changes what);
    void updated();
    void closed();
    // The card panel gave way to the game, for good: the first number of the program's life.
    void cardPanelClosed();
    // The last clip could not be played (false), or one has played again (true).
    void soundAvailabilityChanged(bool available);

private:
    // The game's sound port: every play, the game's own and the rules', tells the game how it went.
    class WatchedSound : public SoundPort
    {
    public:
        WatchedSound(SoundPort &inner, Game &game) : m_inner(inner), m_game(game) {}
        void play(const QString &nome, const QString &tipo) override;
        void shutdown() override { m_inner.shutdown(); }
        bool lastPlayFailed() const override { return m_inner.lastPlayFailed(); }

    private:
        SoundPort &m_inner;
        Game &m_game;
    };
    void soundPlayed();

    // The window as the game and the rules set it: notes that a control was set, for publish().
    class WatchedView : public GameView
    {
    public:
        explicit WatchedView(GameView &inner) : m_inner(inner) {}
        void setCaption(ControlId c, const QString &text) override;
        QString caption(ControlId c) const override { return m_inner.caption(c); }
        void setEnabled(ControlId c, bool on) override;
        void setVisible(ControlId c, bool on) override;
        bool isVisible(ControlId c) const override { return m_inner.isVisible(c); }
        void setLocked(ControlId c, bool on) override;
        bool isLocked(ControlId c) const override { return m_inner.isLocked(c); }
        void setBackColor(ControlId c, Rgb colour) override;
        void setFace(ControlId c, const QString &family) override;
        void setBorder(ControlId c) override;
        void setChecked(ControlId c, bool on) override;
        bool isChecked(ControlId c) const override { return m_inner.isChecked(c); }
        void setValue(ControlId c, int value) override;
        int value(ControlId c) const override { return m_inner.value(c); }
        void setTag(ControlId c, const QString &tag) override { m_inner.setTag(c, tag); }
        QString tag(ControlId c) const override { return m_inner.tag(c); }
        void setFocus(ControlId c, Focus how) override { m_inner.setFocus(c, how); }
        void showWindow() override;
        void clearSurface() override;
        // A control was set since the last call.
        bool takeTouched() { return std::exchange(m_touched, false); }

    private:
        GameView &m_inner;
        bool m_touched = true;
    };
    // What changed since the previous call; remembers what observers have now been told.
    Changes takeChanges();

    template <typename Step> void step(Step &&f);
    void runDraw();
    // The random pick of the `ordinal`-th number among the `left` ones: keyed by the secret once sealed.
    int randomPick(int ordinal, int left);
    // The controls a game in play enables, whoever draws its numbers.
    void showPlaying();
    // The steps of one turn shared by the random draw and the basket: `pick` chooses the pool index
    // among the `n` left. Returns the number drawn.
    int playTurn(int i, const std::function<int(int n)> &pick, QString &direttiva);
    void showBasketControls();
    // "Fine" on the big display once every number is out.
    void finish();
    bool stopAtTop(int i);
    void pause();
    bool stopInPause(int i);
    void writeInWords(int n, QString &direttiva);
    void warnAboutScriptFace();
    void setLabel(Control c, const QString &text);

    WatchedView m_watchedView;
    GameView &m_view;
    WatchedSound m_sound;
    Ports m_ports;
    bool m_soundFailed = false;
    GameState m_state;
    Display m_display;
    int m_drawDepth = 0;
    bool m_restartAfterStop = false;
    bool m_activated = false;
    bool m_closed = false;
    bool m_basket = false;
    bool m_cardPanelClosed = false;
    double m_hold = 0;
    std::function<bool()> m_mayResume;
    std::function<bool()> m_isOver;
    std::function<QByteArray()> m_secretSource;
    QByteArray m_secret; // the game's sealed draw; empty while not sealed
    WritingMode m_writing = WritingMode::Maiuscolo;
    bool m_showMeaning = false;
    bool m_sayMeaning = false;
    // What observers were last told.
    Display m_publishedDisplay;
    int m_publishedCount = -1;
    std::array<QString, 90> m_publishedNumbers;
    bool m_publishedPause = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Game::Changes)

template <typename Step> void Game::step(Step &&f)
{
    // Any failure in a step of the draw warns about the script face and the draw goes on with the
    // following step.
    try {
        f();
    } catch (const std::exception &e) {
        qCWarning(lcGame) << "a step of the draw failed and was passed over:" << e.what();
        if (!m_closed) warnAboutScriptFace();
    }
}
