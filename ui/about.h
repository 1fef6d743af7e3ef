#pragma once
// The About box, on F1: the version, the program's licence, where the sound clips come from, and
// every key of the window, of its questions and of the audience screen.

#include <QString>

class Form1;
class QWidget;

// The keys, read from `window` as it stands: its shortcuts with what they do, the accelerators of
// its buttons from their captions' underlined letters, then the keys of the questions and of the
// audience screen. Rich text.
QString keysText(const QWidget &window);
// The text of the box (rich text), with the version from QCoreApplication::applicationVersion() and
// the keys of `window`.
QString aboutText(const QWidget &window);
// Makes F1 in the window show the box over it.
void installAboutBox(Form1 &form);
