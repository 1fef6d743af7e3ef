#pragma once
// The audience screen's window on the displays, and its keys.

#include <QList>
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

class AudienceScreen;
class Form1;
class Game;
class QKeySequence;
class QScreen;
class QShortcut;
class QTimer;

// Opens and closes the audience screen of one caller's window. With a second display it goes full
// screen there; with one, a window of its own beside the caller's, never over it. F11 or a double
// click toggles full screen on the display it stands on; Esc leaves full screen, then closes; T
// changes the theme and L shows the numbers in their order. It closes with the caller's window.
class AudienceController : public QObject
{
    Q_OBJECT

public:
    AudienceController(Form1 &form, const Game &game);
    ~AudienceController() override;

    void toggle();
    void open();
    void close();
    bool isOpen() const;
    void toggleFullScreen();
    // Esc: out of full screen first, then closed.
    void leaveFullScreenOrClose();
    AudienceScreen *screen() const { return m_screen.get(); }
    // A banner for the room, "AMBO VALIDO" and the like, for `ms` milliseconds; shown also if the
    // screen opens meanwhile.
    void showBanner(const QString &text, int ms = 6000);
    // The ladder of prizes for the room: what is played for and the prizes won; kept for a screen
    // opened later.
    void setPrizeLadder(const QStringList &lines);
    // The tombola's winners over the board until the next game (AudienceScreen::setTombola).
    void setTombola(const QString &winners);

    // The screen's keys, each with what it does; they work while the screen is open.
    struct Key {
        Qt::Key key;
        const char *what;
        void (AudienceController::*action)();
    };
    static const std::array<Key, 4> &keys();

    // Where the screen goes: the first screen that is not the caller's, or none with one screen.
    static QScreen *targetScreen(const QWidget &form);
    // The largest 16:9 window beside `caller` within `available`, never over it; `frame` is the
    // window manager's border around a window. Null when no room is left beside the caller.
    static QRect besideRect(const QRect &available, const QRect &caller, const QMargins &frame);

signals:
    // The screen's window exists, from its first opening on, for whatever else the room should see.
    void screenCreated(AudienceScreen *screen);
    // It was shown or hidden, or went in or out of full screen.
    void stateChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateKeys();
    void placeWindowed();
    QShortcut *addKey(const QKeySequence &key, void (AudienceController::*action)());
    void nextTheme();
    void toggleList();

    Form1 &m_form;
    const Game &m_game;
    std::unique_ptr<AudienceScreen> m_screen;
    QPointer<QWidget> m_activeBefore;
    QList<QPointer<QShortcut>> m_keys;
    QRect m_windowed; // the last window geometry with one display, for F11 back out of full screen
    QString m_banner;
    QStringList m_ladder;
    QString m_tombola;
    QTimer *m_bannerTimer = nullptr;
};
