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

// The whole number a claim box's text stands for: digits with at most one decimal point, the whole
// text ("5", "05", "5.", "5.0" are 5); nullopt for anything else, a fraction (".5", "5.5") or a
// text that only begins with a number ("5/").
std::optional<int> claimBoxNumber(const QString &text);

// The value rounded to the nearest whole number, halves to the even neighbour; nullopt when the
// result does not fit a 16-bit signed integer (or is not a number).
std::optional<std::int16_t> intero_16(double valore);

// What typing may put into each box, Backspace and Enter aside: the key filters and the checks of
// pasted text share these.
// A claim box: "." and "/" as well as the digits (46 to 57).
constexpr bool claimBoxTakes(char16_t c)
{
    return c >= 46 && c <= 57;
}
// The repeat box: anything printable but ":" to "y" (58 to 121).
constexpr bool repeatBoxTakes(char16_t c)
{
    return c >= 32 && !(c >= 58 && c <= 121);
}
// The card count box: "/" and the digits (47 to 57).
constexpr bool cardCountBoxTakes(char16_t c)
{
    return c >= 47 && c <= 57;
}
