#pragma once
// Holds the user's input back while a clip plays, the way a synchronous play must, without holding
// back a request to close the window.
//
// A local event loop run with ExcludeUserInputEvents would do the first, but the X11 platform
// counts the window manager's close request as input too, so a close waited behind every clip and
// every click queued during it. Instead, the loop runs normally and this filter takes the input
// meant for the application's windows (mouse, wheel, keys, touch, and the shortcuts they trigger)
// out of the way, then posts it again, in its order, when the hold ends.

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include <QEvent>

// The mouse, the wheel, the keys and touch: what a user does to a window.
bool isUserInput(QEvent::Type type);

class UserInputHold : public QObject
{
public:
    // Starts holding; does nothing without an application.
    UserInputHold();
    // Posts the held input again, unless the application is closing down.
    ~UserInputHold() override;
    UserInputHold(const UserInputHold &) = delete;
    UserInputHold &operator=(const UserInputHold &) = delete;

    // Drops what was held: nothing is posted again.
    void drop() { m_held.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    std::vector<Held> m_held;
};
