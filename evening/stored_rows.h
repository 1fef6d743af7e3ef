#pragma once
// How the store writes a card, a code, a list of numbers and a time as text, and reads them back:
// each reading refuses what this program could not have written.

#include "cards/card_code.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace rows
{
QString timeText(const QDateTime &at);
std::optional<QDateTime> parseTime(const QString &text);

// The 27 cells row by row, 0 for an empty one: "3,0,0,...".
QString cellsText(const Cartella &card);
// A card as a dealer can deal it: each number in its column, a row of at most 5, at most 15, none
// twice.
std::optional<Cartella> parseCells(const QString &text);

QString codeText(const CardCode &code);
std::optional<CardCode> parseCode(const QString &text);

// Numbers 1 to 90, ascending, none twice: "12 34".
QString numbersText(const QList<int> &numbers);
std::optional<QList<int>> parseNumbers(const QString &text);
} // namespace rows
