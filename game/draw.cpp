#include "game/draw.h"

QString riga_contatore(int i, int totale_numeri)
{
    return QStringLiteral("Numeri estratti    ") + QString::number(i) +
           QStringLiteral("      e da estrarre   ") + QString::number(totale_numeri - i);
}

QString blankBigNumber()
{
    return QString(7, QLatin1Char(' '));
}

QString blankCounterLine()
{
    return QString(8, QLatin1Char(' '));
}
