#include "claims/prize_ladder.h"

#include <algorithm>

namespace
{
struct ConfirmationInfo {
    Confirmation how;
    const char *words;
    const char *word;
};
constexpr ConfirmationInfo kConfirmations[] = {
    {Confirmation::Claim, "richiesta verificata", "richiesta"},
    {Confirmation::CardCode, "cartella controllata per codice", "per codice"},
    {Confirmation::Watch, "trovata dal controllo, confermata", "confermata"},
    {Confirmation::WatchAlone, "trovata dal controllo, annunciata subito", "automatica"},
};
const ConfirmationInfo &info(Confirmation how)
{
    for (const ConfirmationInfo &c : kConfirmations)
        if (c.how == how) return c;
    return kConfirmations[0];
}
} // namespace

QString confirmationWords(Confirmation how)
{
    return QString::fromUtf8(info(how).words);
}

QString confirmationWord(Confirmation how)
{
    return QString::fromUtf8(info(how).word);
}

QList<PrizeLadder::Won> PrizeLadder::won() const
{
    QList<Won> out;
    for (const Prize p : ladderOrder) {
        Won w{p, 0, {}};
        for (const PrizeWin &win : m_wins) {
            if (win.prize != p) continue;
            if (w.winners.isEmpty()) w.draw = win.draw;
            w.winners << win;
        }
        if (!w.winners.isEmpty()) out << w;
    }
    return out;
}

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
