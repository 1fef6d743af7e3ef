#pragma once
// The About box, on F1: the version, the program's licence and where the sound clips come from.

#include <QString>

class Form1;

// The text of the box (rich text), with the version from QCoreApplication::applicationVersion().
QString aboutText();
// Makes F1 in the window show the box over it.
void installAboutBox(Form1 &form);
