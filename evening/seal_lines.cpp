#include "evening/seal_lines.h"

#include "game/draw_seal.h"

QStringList revealedSeals(const StoredEvening &e)
{
    QStringList out;
    for (const StoredSeal &s : e.seals)
        if (s.isRevealed())
            out << QStringLiteral("Tombola n. %1: sigillo %2, segreto %3")
                       .arg(s.game)
                       .arg(seal::sealOf(s.secret), seal::secretText(s.secret));
    return out;
}
