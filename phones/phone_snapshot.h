#pragma once
// The state a phone shows, read from the game and the prize desk in one place: what a new phone
// gets whole, and what each change is compared with to send only a number when that is all.

#include "phones/phone_protocol.h"

class Game;
class PrizeDesk;

// `cardsPerPhone`: how many cards the caller deals to a phone that asks; 0 for none.
PhoneState phoneSnapshot(const Game &game, const PrizeDesk &desk, int cardsPerPhone);
