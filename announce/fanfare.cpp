#include "announce/fanfare.h"

#include "announce/speech.h"

#include <stdexcept>

std::int16_t &PrizeCounts::count(int indice)
{
    switch (indice) {
    case 0:
        return conta_ambo;
    case 1:
        return conta_terno;
    case 2:
        return conta_quaterno;
    case 3:
        return conta_cinquina;
    }
    throw std::out_of_range("premio fuori da 0..3");
}

void Avviso(std::int16_t indice, PrizeCounts &counts, SoundPort &sound)
{
    if (indice < 0 || indice >= claimPrizes) return;
    std::int16_t &conta = counts.count(indice);
    ++conta;
    if (conta == claimPrizeInfo(indice).boxes) {
        playFanfare(claimPrize(indice), sound);
        conta = 0;
    }
}

void playFanfare(Prize prize, SoundPort &sound)
{
    if (prize == Prize::None) return;
    playIfPresent(sound, QLatin1String(prizeInfo(prize).word));
    playIfPresent(sound, QStringLiteral("applausi"));
}
