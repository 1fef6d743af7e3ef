#include "announce/module1.h"

#include <QStringList>

void Module1::suona_risorsa(SoundPort &sound, const QString &nome, const QString &tipo)
{
    sound.play(nome, tipo);
}

QStringList chiavi_numero(std::int16_t numero)
{
    if (numero < 20) return {QStringLiteral("va") + QString::number(numero)};
    const int t = (numero / 10) * 10;
    const int u = numero - t;
    QStringList chiavi{QStringLiteral("vale") + QString::number(t)};
    if (u != 0) chiavi << QStringLiteral("va") + QString::number(u);
    return chiavi;
}
