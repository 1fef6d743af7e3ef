#pragma once
// The evening's sealed draws as the room reads them once each game is over.

#include "evening/stored_evening.h"

#include <QStringList>

// "Tombola n. 1: sigillo 3f2a 9c01 77de 0b45, segreto 0a1b...": one line per game whose secret is
// revealed, in the order of the games; a game under way has none.
QStringList revealedSeals(const StoredEvening &evening);
