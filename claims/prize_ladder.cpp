#include "claims/prize_ladder.h"

#include "announce/prizes.h"

#include <algorithm>

Prize PrizeLadder::playingFor() const
{
    for (const Prize p : ladderOrder)
        if (wonAt(p) == 0) return p;
    return Prize::None;
}

int PrizeLadder::wonAt(Prize prize) const
{
    for (const PrizeWin &w : m_wins)
        if (w.prize == prize) return w.draw;
    return 0;
}

Award PrizeLadder::award(Prize claimed, const PrizeMoments &at, Confirmation how, const QString &who)
{
    if (claimed == Prize::None) return {Award::NoPrize, Prize::None, 0};
    const int last = at[std::size_t(claimed)];
    Award result{Award::AlreadyWon, claimed, wonAt(claimed)};
    bool counted = false;
    // Each prize up to the claimed one: won if open, shared if won on the same number.
    for (const Prize p : ladderOrder) {
        if (p > claimed) break;
        const int draw = at[std::size_t(p)] > 0 ? at[std::size_t(p)] : last;
        const int won = wonAt(p);
        if (won == 0) {
            m_wins << PrizeWin{p, draw, how, who, false};
            result = {Award::Won, p, draw};
            continue;
        }
        const bool already = std::any_of(m_wins.cbegin(), m_wins.cend(),
                                         [&](const PrizeWin &w) { return w.prize == p && w.who == who; });
        if (already) {
            counted = counted || p == claimed;
            continue;
        }
        if (draw != won) continue;
        m_wins << PrizeWin{p, won, how, who, true};
        if (result.kind != Award::Won) result = {Award::Shared, p, won};
    }
    if (result.kind == Award::AlreadyWon && counted) result.kind = Award::AlreadyCounted;
    return result;
}

void PrizeLadder::takeBack(int drawn)
{
    // Shared winners completed on the same number: they go together.
    m_wins.removeIf([drawn](const PrizeWin &w) { return w.draw > drawn; });
}

QString prizeWord(Prize prize)
{
    if (prize == Prize::Tombola) return QStringLiteral("TOMBOLA");
    if (prize == Prize::None) return QString();
    return QString::fromLatin1(prizes[std::size_t(prize) - 1].word).toUpper();
}

QString prizeWithArticle(Prize prize)
{
    switch (prize) {
    case Prize::Ambo:
        return QStringLiteral("l'AMBO");
    case Prize::Tombola:
        return QStringLiteral("la TOMBOLA");
    case Prize::Cinquina:
        return QStringLiteral("la CINQUINA");
    case Prize::None:
        return QString();
    default:
        return QStringLiteral("il ") + prizeWord(prize);
    }
}

QString agreeing(Prize prize, const QString &masculine)
{
    const bool feminine = prize == Prize::Cinquina || prize == Prize::Tombola;
    return feminine && masculine.endsWith(QLatin1Char('o')) ? masculine.chopped(1) + QLatin1Char('a')
                                                            : masculine;
}
