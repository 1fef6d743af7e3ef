#pragma once
// The platform enters the game through these few interfaces. main.cpp builds the real ones (a
// monotonic clock, QMessageBox, the generator, the sound server); the tests build recording fakes.

#include "announce/sound_port.h"

#include <QString>
#include <QStringList>

enum class Icon { None, Question, Information, Critical };

class ClockPort
{
public:
    virtual ~ClockPort() = default;
    // Monotonic seconds from an arbitrary origin.
    virtual double now() = 0;
    // Handles the events already queued, once, and returns.
    virtual void pump() = 0;
    // Handles events as they come and returns after the first batch, or once `deadline` (in now()
    // seconds) has passed, whichever is first. Never busy-waits.
    virtual void waitUntil(double deadline) = 0;
};

class RandomPort
{
public:
    virtual ~RandomPort() = default;
    // Uniform r with 0 <= r < 1.
    virtual double next() = 0;
    // Mixes the time of day into the generator's state; two reseeds in the same clock tick still
    // give different sequences.
    virtual void reseed() = 0;
};

class DialogPort
{
public:
    virtual ~DialogPort() = default;
    // A modal message with one OK button; an empty title shows the application's title.
    virtual void message(const QString &text, const QString &title, Icon icon) = 0;
    // A modal question with the buttons "Si" and "No", "No" the default unless `yesByDefault`, and
    // Esc meaning No; true for "Si". An empty title shows the application's title.
    virtual bool ask(const QString &text, const QString &title, bool yesByDefault = false) = 0;
    // A modal question with a button for each of `buttons` (an "&" marks a button's key), the one of
    // `defaultIndex` the default and the one of `escapeIndex` what Esc and closing the question
    // mean; returns the index of the button chosen.
    virtual int choose(const QString &text, const QString &title, const QStringList &buttons,
                       int defaultIndex, int escapeIndex) = 0;
};

struct Ports {
    SoundPort &sound;
    ClockPort &clock;
    RandomPort &random;
    DialogPort &dialogs;
};
