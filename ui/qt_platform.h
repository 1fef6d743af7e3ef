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

// Holds back the mouse and the keys meant for one window.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget *window) : m_window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};

class QtDialogs : public DialogPort
{
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(const QString &text, const QString &title, Icon icon) override;

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
