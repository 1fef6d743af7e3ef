#include "game/game_state.h"

void riempi_numeri(Lista90 &lista)
{
    for (int j = 1; j <= 90; ++j)
        lista(j) = QString::number(j);
}
