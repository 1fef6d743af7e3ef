#pragma once
// The real clock and message boxes.

#include "game/ports.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QtClock : public ClockPort
{
public:
    QtClock();
    double now() override;
    void pump() override;
    void waitUntil(double deadline) override;

private:
    QElapsedTimer m_timer;
};

class QDialog;
class QLayout;
class QPushButton;

// Holds back the mouse and the keys meant for one window, from its construction to its end.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget *window, QObject *parent = nullptr);
    ~InputBlocker() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};

// Shows `dialog` over `window` as a modal dialog would be, but made modal by hand: the window's
// input is held back while it is up, yet a close request still reaches the window, so the caller
// can end the program with a dialog open (a dialog Qt makes modal would swallow that close).
// Returns when the dialog is finished (its result) or the application quits (QDialog::Rejected).
int execKeepingClose(QDialog &dialog, QWidget *window);
// The same for a dialog left open while the program goes on: its window is blocked until the
// dialog is closed or destroyed.
void showKeepingClose(QDialog &dialog, QWidget *window);

// A "Chiudi" button (cmd_chiudi) at the foot of `dialog`, that rejects it; it is never the default.
QPushButton *addCloseButton(QDialog &dialog, QLayout &layout);

// The PDF file for a print run, asked in a file dialog that keeps no history; empty when the user
// gave up.
QString choosePdfFile(QWidget *window);

// Qt's own dialogs keep no settings: the user's settings scope points where nothing can be written.
void keepNoSettings();

class QtDialogs : public DialogPort
{
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(const QString &text, const QString &title, Icon icon) override;
    bool ask(const QString &text, const QString &title) override;

private:
    QPointer<QWidget> m_parent;
};

// Used where the machine has no such device.
class SilentSound : public SoundPort
{
public:
    void play(const QString &, const QString &) override {}
    void shutdown() override {}
};
