#pragma once
// `tombola --verifica SEGRETO [MANO]`: the draw of a sealed game, in order, from its revealed secret,
// for anyone to check a recorded game against it. MANO lists the numbers that came from the basket,
// as "ordinale:numero" apart by commas ("12:7,13:45"). Needs no display.

#include <QStringList>

// Prints to standard output (or the reason to standard error); returns the program's exit code.
int runVerifica(const QStringList &args);
