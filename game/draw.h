#pragma once
// The pure pieces of one turn of the draw: the pick, the removal from the pool, the counter line.

#include "game/game_state.h"
#include <QString>

// floor(r * n) + 1 for 0 <= r < 1, kept within 1..n whatever rounding does.
int pesca_indice(double r, int n);

// Removes entry `indice` from the live part (1..quanti) of the pool, keeping the order of the
// others; the entry beyond the new count keeps a stale copy.
void togli_dal_mucchio(Lista90 &numeri_da_estrarre, int indice, int quanti);

// "Numeri estratti    <i>      e da estrarre   <totale - i>"
QString riga_contatore(int i, int totale_numeri);
