#include "announce/fanfare.h"

#include "announce/module1.h"
#include "announce/prizes.h"

void Avviso(std::int16_t indice, PrizeCounts &counts, SoundPort &sound)
{
    if (indice < 0 || indice > 3) return;
    std::int16_t *const contatori[4] = {&counts.conta_ambo, &counts.conta_terno, &counts.conta_quaterno,
                                        &counts.conta_cinquina};
    std::int16_t &conta = *contatori[indice];
    ++conta;
    const PrizeInfo &premio = prizes[std::size_t(indice)];
    if (conta == premio.boxes) {
        playIfPresent(sound, QLatin1String(premio.word));
        playIfPresent(sound, QStringLiteral("applausi"));
        conta = 0;
    }
}
