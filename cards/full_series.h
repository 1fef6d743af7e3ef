#pragma once
// The full-series dealer: six cards of fifteen numbers, five to a row, that together hold every
// number from 1 to 90 once. Pure: no widgets, no printer.

#include "cards/dealer.h"
#include <array>
#include <functional>

// Which dealer made a card: the greedy pass of genera_cartella, or a full series.
enum class CardDealer { Classic, FullSeries };

using CardSet = std::array<Cartella, 6>;

// A full series from `nextUnit`, a uniform source of 0 <= r < 1. Each card holds 15 numbers, 5 to
// a row, each in its decade column (colonna_di), columns sorted downwards; the six together hold
// 1..90 once. The numbers go to the cards as uniformly random blocks of fifteen from a shuffle
// drawn like genera_tombola's, redrawn while a card would need four in a column; each card's rows
// are then picked uniformly among the layouts its column counts allow. Both steps treat every card
// and every row alike, so no place or row is favoured.
CardSet dealFullSeries(const std::function<double()> &nextUnit);
