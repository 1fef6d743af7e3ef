// Replaced by the dealer.
