#pragma once
// Which of the evening's cards a text names, as the caller writes it when declaring unsold cards
// void: items apart by commas, semicolons or lines, each a range of the evening's numbering
// ("da 801 a 900"), one number ("805"), a card's code ("7KQ3M-4 Y") or a whole run ("stampa 3",
// "consegna 4", counted as the verbale counts them).

#include "evening/stored_evening.h"

#include <QList>
#include <QString>
#include <optional>

// The numbers of the cards named, ascending, none twice and none void already; nothing, with `why`
// in Italian, when an item names no card of the evening or nothing new is left.
std::optional<QList<int>> selectCards(const StoredEvening &evening, const QString &text, QString *why);
