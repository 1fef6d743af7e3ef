#include "game/draw.h"

#include <algorithm>
#include <cmath>

int pesca_indice(double r, int n)
{
    if (n < 1) throw std::out_of_range("nessun numero da estrarre");
    const int k = static_cast<int>(std::floor(r * n)) + 1;
    return std::clamp(k, 1, n);
}

void togli_dal_mucchio(Lista90 &numeri_da_estrarre, int indice, int quanti)
{
    for (int j = indice; j <= quanti - 1; ++j)
        numeri_da_estrarre(j) = numeri_da_estrarre(j + 1);
}

QString riga_contatore(int i, int totale_numeri)
{
    return QStringLiteral("Numeri estratti    ") + QString::number(i) +
           QStringLiteral("      e da estrarre   ") + QString::number(totale_numeri - i);
}
