#pragma once
// The real clock and message boxes.

#include "game/ports.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <array>

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

// One dialog at a time. While it lives and its dialog is on screen, the user reaches that dialog
// alone, with the windows it opens and any popup: every other window of the program (the caller's,
// the audience screen, a dialog under it) takes no click, key, wheel, drop or typed text, and no
// shortcut or accelerator of theirs fires, application-wide ones included. Gates nest: the newest
// one whose dialog is on screen decides. A close request is no input and still reaches every window.
class DialogGate : public QObject
{
public:
    explicit DialogGate(QWidget *dialog, QObject *parent = nullptr);
    ~DialogGate() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isOpen() const;
    // Whether `target` (a widget, a window or a shortcut) stands outside the dialog.
    bool isOutside(QObject *target) const;
    QPointer<QWidget> m_dialog;
};

// Shows `dialog` as a modal dialog would be, but made modal by hand with a DialogGate, so that a
// close request still reaches the caller's window and the program can end with a dialog open (a
// dialog Qt makes modal would swallow that close). Returns when the dialog is finished (its result)
// or the application quits (QDialog::Rejected).
int execKeepingClose(QDialog &dialog);
// The same for a dialog left open while the program goes on: its gate holds while the dialog is on
// screen, and goes with the dialog.
void showKeepingClose(QDialog &dialog);

// A button's accelerator (Alt and its underlined letter) clicks it at once, instead of Qt's press
// shown for 100 ms with the click at its end: keys typed after the accelerator, or held while a clip
// plays and given back in one burst, are then handled after its click, in the order they were typed.
// Installed once for the application; does nothing without one.
void clickAcceleratorsAtOnce();

// The keys that answer a question of the program, as the About box lists them.
struct AnswerKey {
    Qt::Key key;
    const char *what;
};
const std::array<AnswerKey, 2> &answerKeys();

// A question with the buttons "Sì" and "No" over `parent`, "No" the default and Esc meaning No,
// modal by hand; true for "Sì". An empty title shows the application's title.
bool askKeepingClose(const QString &text, const QString &title, QWidget *parent, bool yesByDefault = false);

// A "Chiudi" button (cmd_chiudi) at the foot of `dialog`, that rejects it; it is never the default.
QPushButton *addCloseButton(QDialog &dialog, QLayout &layout);

// The PDF file for a print run, asked in a file dialog that keeps no history, with a question
// before an existing file is replaced; empty when the user gave up.
QString choosePdfFile(QWidget *window);

// Qt's own dialogs keep no settings: the user's settings scope points where nothing can be written.
void keepNoSettings();

class QtDialogs : public DialogPort
{
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(const QString &text, const QString &title, Icon icon) override;
    bool ask(const QString &text, const QString &title, bool yesByDefault = false) override;
    int choose(const QString &text, const QString &title, const QStringList &buttons, int defaultIndex,
               int escapeIndex) override;

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
