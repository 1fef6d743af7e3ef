#include "announce/input_hold.h"

#include <QCoreApplication>
#include <QEvent>

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        return true;
    default:
        return false;
    }
}

UserInputHold::UserInputHold()
{
    if (QCoreApplication *app = QCoreApplication::instance()) app->installEventFilter(this);
}

UserInputHold::~UserInputHold()
{
    if (QCoreApplication *app = QCoreApplication::instance()) app->removeEventFilter(this);
    if (QCoreApplication::closingDown()) return;
    for (Held &h : m_held)
        if (h.receiver) QCoreApplication::postEvent(h.receiver, h.event.release());
}

bool UserInputHold::eventFilter(QObject *watched, QEvent *event)
{
    // Input reaches a widget through its window first: holding it there keeps it whole (grabs,
    // focus, the widget under the mouse are settled when it is handled). A shortcut is matched
    // before its key reaches any window, so it is held on its own.
    const bool hold =
        (watched->isWindowType() && isUserInput(event->type())) || event->type() == QEvent::Shortcut;
    if (!hold) return false;
    m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}
