#include "ui/qt_platform.h"

#include "ui/form1.h"

#include <QCoreApplication>
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
    box.exec();
}
