#pragma once
// The verbale of an evening: a report in Italian for the organiser and, for an association's
// tombola, the official present. Date, place to fill, start and end, the cards in play run by run,
// each game's numbers in draw order with their times, the prizes with their draw, winners and how
// they were confirmed, the claims refused, the numbers taken back, and lines to sign. As HTML that
// a text document can lay out and print.

#include "evening/stored_evening.h"

#include <QString>

QString verbaleHtml(const StoredEvening &evening);

// "verbale-2026-12-09.pdf": the file name offered when it is saved.
QString verbaleFileName(const StoredEvening &evening);
