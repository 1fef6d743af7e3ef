#pragma once
// The numeric reading of a typed text, shared by the claim check, the repeat and the card count.
//
// Blanks, tabs and line feeds are skipped wherever they stand; then an optional sign, digits with
// an optional decimal point and fraction are read up to the first character that cannot continue
// the number. An empty or non-numeric text reads 0.

#include <QString>
#include <cstdint>
#include <optional>

double valore_numerico(const QString &testo);

// The value rounded to the nearest whole number, halves to the even neighbour; nullopt when the
// result does not fit a 16-bit signed integer (or is not a number).
std::optional<std::int16_t> intero_16(double valore);
