#pragma once
// Accessible names and descriptions for the controls of the window, and the announcement of each
// drawn number to assistive technology (screen readers).

#include <QString>

class ClaimCheck;
class Form1;
class Game;

// A caption as a screen reader should say it: without the '&' accelerator marks ("&&" is a
// literal '&') and with runs of spaces folded into one.
QString withoutAccelerators(const QString &caption);

// Names and describes every button, label, text box, option, frame and scroll bar of the window
// once, and then keeps in step with it only what the game says changed (a caption, the numbers drawn,
// the big display) and what a widget says of itself (a new tool tip, a new control); a new number in
// the big display is announced as "Estratto il numero N", and the verdict of a complete claim
// ("AMBO VALIDO") as it appears. Each number drawn, and each one the repeat says again, is told to
// screen readers by a notification ("Estratto il numero N", "Ripetuto il numero N") that shows
// once for it: what Orca reads wherever the focus is.
void applyAccessibility(Form1 &form, const Game &game, const ClaimCheck &claims);
