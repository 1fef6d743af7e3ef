#pragma once
// The platform enters the program through these few interfaces. main.cpp builds the real ones
// (Qt Multimedia, a monotonic clock, QMessageBox, QPrinter); the tests build recording fakes.

#include <QString>
#include <memory>
#include <stdexcept>

enum class Icon { None, Question, Information, Critical };

// A clip key that names no clip. Raised by SoundPort::play to its caller.
class ClipMissing : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class SoundPort
{
public:
    virtual ~SoundPort() = default;
    // Plays the clip `nome` of type `tipo` (case ignored in both) to its end, then returns.
    // Throws ClipMissing when there is no such clip. With no output, a lost device or a clip that
    // is not a playable WAVE it returns quietly, at once or as soon as the fault shows.
    virtual void play(const QString &nome, const QString &tipo) = 0;
    // Cuts the clip under way and turns every later play into a no-op: the program is closing.
    virtual void shutdown() = 0;
};

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
};

// The printer operations a card sheet needs, in twips from the top-left corner of the printable
// area. Pen widths are in printer dots, font sizes in points.
class CardCanvas
{
public:
    virtual ~CardCanvas() = default;
    virtual void setFontSize(double points) = 0;
    virtual void setPenWidth(int dots) = 0;
    virtual void moveTo(double x, double y) = 0;
    // Prints `text` with its top-left corner at the current position, then moves to the next line.
    virtual void printLine(const QString &text) = 0;
    virtual void line(double x1, double y1, double x2, double y2) = 0;
    virtual void rectangle(double x1, double y1, double x2, double y2) = 0;
    // False when the device refused.
    virtual bool newPage() = 0;
    // Ends the document and hands it to the printer; false when that failed.
    virtual bool endDoc() = 0;
};

class PrinterPort
{
public:
    virtual ~PrinterPort() = default;
    // Opens a document on the default printer. Null, with `why` in Italian, when there is no
    // default printer or it cannot start the document.
    virtual std::unique_ptr<CardCanvas> open(const QString &docName, QString *why) = 0;
    // The same cards into a PDF file of the user's choice.
    virtual std::unique_ptr<CardCanvas> openPdf(const QString &fileName, QString *why) = 0;
};

struct Ports {
    SoundPort &sound;
    ClockPort &clock;
    RandomPort &random;
    DialogPort &dialogs;
    PrinterPort &printer;
};
