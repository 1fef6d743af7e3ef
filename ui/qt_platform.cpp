#include "ui/qt_platform.h"

#include "ui/form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cmath>

QtClock::QtClock()
{
    m_timer.start();
}

double QtClock::now()
{
    return double(m_timer.nsecsElapsed()) * 1e-9;
}

void QtClock::pump()
{
    QCoreApplication::processEvents();
}

void QtClock::waitUntil(double deadline)
{
    const double left = deadline - now();
    if (left <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // Sleep in the event loop: an event or the deadline's timer wakes it.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(int(std::ceil(left * 1000.0)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtDialogs::message(const QString &text, const QString &title, Icon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None:
        break;
    case Icon::Question:
        boxIcon = QMessageBox::Question;
        break;
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title.isEmpty() ? Form1::titoloApplicazione() : title, text, QMessageBox::Ok,
                    m_parent);
    // Modal by hand: the window's input is held back while the box is up, but a close request
    // still reaches the window, so the caller can end the program with a message open. A box that
    // Qt makes modal would swallow that close.
    box.setWindowModality(Qt::NonModal);
    InputBlocker blocker(m_parent);
    qApp->installEventFilter(&blocker);
    QEventLoop loop;
    QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    box.raise();
    box.activateWindow();
    loop.exec();
    qApp->removeEventFilter(&blocker);
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto *w = qobject_cast<QWidget *>(watched);
        return m_window && w && w->window() == m_window;
    }
    default:
        return false;
    }
}
