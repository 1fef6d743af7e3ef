#include "ui/qt_platform.h"

#include "announce/input_hold.h"
#include "ui/form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
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
    QMessageBox box(boxIcon, title.isEmpty() ? Form1::applicationTitle() : title, text, QMessageBox::Ok,
                    m_parent);
    execKeepingClose(box, m_parent);
}

bool QtDialogs::ask(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? Form1::applicationTitle() : title, text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Si"));
    box.button(QMessageBox::No)->setText(QStringLiteral("No"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    execKeepingClose(box, m_parent);
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

int execKeepingClose(QDialog &dialog, QWidget *window)
{
    InputBlocker blocker(window);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    dialog.setWindowModality(Qt::NonModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    // Returns at once when the application is already quitting.
    loop.exec();
    return dialog.result();
}

void showKeepingClose(QDialog &dialog, QWidget *window)
{
    new InputBlocker(window, &dialog);
    dialog.setWindowModality(Qt::NonModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

QPushButton *addCloseButton(QDialog &dialog, QLayout &layout)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("Chiudi"));
    close->setObjectName(QStringLiteral("cmd_chiudi"));
    close->setAutoDefault(false);
    layout.addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return close;
}

QString choosePdfFile(QWidget *window)
{
    QFileDialog dialog(window, QStringLiteral("Salva le cartelle in PDF"), QString(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(QStringLiteral("cartelle-tombola.pdf"));
    if (execKeepingClose(dialog, window) != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void keepNoSettings()
{
    // The file dialog saves its history of folders when it closes, whatever it is told; a folder
    // under /dev/null can never be made, so that save writes nothing, anywhere.
    const QString nowhere = QStringLiteral("/dev/null/tombola");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
}

InputBlocker::InputBlocker(QWidget *window, QObject *parent) : QObject(parent), m_window(window)
{
    qApp->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    if (qApp) qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type t = event->type();
    switch (t) {
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
        break;
    default:
        if (!isUserInput(t)) return false;
    }
    auto *w = qobject_cast<QWidget *>(watched);
    return m_window && w && w->window() == m_window;
}
