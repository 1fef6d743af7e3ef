#pragma once
// The random texts that let phones in: the local network's token (26 symbols, 130 bits) and the
// evening's id far away (16 symbols, 80 bits). Symbols of the card codes' alphabet: nothing to
// escape in a URL, no letter that reads as a digit, and in capitals the whole address fits the QR
// code's compact alphanumeric mode.

#include <QByteArray>

// `symbols` symbols in capitals, 5 random bits each from the system's generator.
QByteArray randomToken(int symbols);
