#pragma once
// The counter line of the draw.

#include <QString>

// "Numeri estratti    <i>      e da estrarre   <totale - i>"
QString riga_contatore(int i, int totale_numeri);

// What the big number and the counter line show after a new game: seven and eight blanks.
QString blankBigNumber();
QString blankCounterLine();
