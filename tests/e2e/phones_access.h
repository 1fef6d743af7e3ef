#pragma once
// The phones' page as a blind or elderly player meets it, in Chromium at a phone's size against the
// real program: axe-core finds no WCAG 2.1 A/AA or 2.2 AA fault in any look or moment of the game,
// the board tells drawn from not drawn by more than colour, the live region tells each number once
// and in the program's order with the pause, a win being checked and a prize won, and the "Voce"
// switch plays each number's clip, none before the switch is touched and none for a number the
// page caught up with after it slept.

#include <QUrl>

namespace e2e
{
class Browser;
// Returns the driver's exit status: 0 when every check held.
int accessChecks(Browser &browser, const QUrl &address);
} // namespace e2e
