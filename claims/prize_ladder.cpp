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
    {Confirmation::Phone, "chiamata dal telefono del giocatore", "telefono"},
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

QString Claimant::name() const
{
    if (card) return formatCardCode(*card);
    QStringList shown;
    for (const int n : numbers)
        shown << QString::number(n);
    return QStringLiteral("numeri ") + shown.join(QLatin1Char(' '));
}

PrizeMoments heldFrom(const std::array<PrizeMoment, 6> &moments)
{
    PrizeMoments at{};
    int from = 0;
    for (int p = int(Prize::Tombola); p >= int(Prize::Ambo); --p) {
        const int own = moments[std::size_t(p)].ordinal;
        if (own > 0 && (from == 0 || own < from)) from = own;
        at[std::size_t(p)] = from;
    }
    at[std::size_t(Prize::Tombolino)] = moments[std::size_t(Prize::Tombola)].ordinal;
    return at;
}

QList<Prize> PrizeLadder::steps() const
{
    QList<Prize> out(ladderOrder.begin(), ladderOrder.end());
    if (m_tombolino) out << Prize::Tombolino;
    return out;
}

QList<PrizeLadder::Won> PrizeLadder::won() const
{
    QList<Won> out;
    for (const Prize p : steps()) {
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
    for (const Prize p : steps())
        if (wonAt(p) == 0) return p;
    return Prize::None;
}

int PrizeLadder::wonAt(Prize prize) const
{
    for (const PrizeWin &w : m_wins)
        if (w.prize == prize) return w.draw;
    return 0;
}

Award PrizeLadder::award(Prize claimed, const PrizeMoments &at, const Claimant &who, const Cards &cards)
{
    if (claimed == Prize::None) return {Award::NoPrize, Prize::None, 0};
    const int last = at[std::size_t(claimed)];
    if (last == 0) return {Award::NoPrize, Prize::None, 0};
    Award result{Award::AlreadyWon, claimed, wonAt(claimed)};
    bool counted = false;
    bool hasTombola = false;
    for (const Prize p : steps()) {
        if (p > claimed) break;
        // The tombolino is a second tombola: not for a claimant that holds the first.
        if (p == Prize::Tombolino && hasTombola) break;
        // A lower prize with no moment of its own is held from the claimed one's.
        const int draw = at[std::size_t(p)] > 0 ? at[std::size_t(p)] : last;
        // Passed over for a prize, a card still plays for the others.
        if (cards.passedOver && cards.passedOver(p)) {
            if (p == claimed && !result.isWin()) result = {Award::PassedOver, p, draw};
            continue;
        }
        const int won = wonAt(p);
        if (won == 0) {
            // Open: it is this claimant's only if no card in play completed it before.
            const int first = cards.firstCompletion ? cards.firstCompletion(p) : 0;
            if (first > 0 && first < draw) {
                if (!result.isWin()) result = {Award::Earlier, p, draw, first};
                break;
            }
            m_wins << PrizeWin{p, draw, who.how, who, false};
            result = {Award::Won, p, draw};
            hasTombola = hasTombola || p == Prize::Tombola;
            continue;
        }
        // Won: the same claimant is counted once; another shares it only on the same number.
        bool same = false;
        for (PrizeWin &w : m_wins) {
            if (w.prize != p) continue;
            const Match m = cards.match ? cards.match(w) : Match::Other;
            if (m == Match::Other) continue;
            same = true;
            if (m == Match::Replaces) w.who = who;
        }
        if (same) {
            counted = counted || p == claimed;
            hasTombola = hasTombola || p == Prize::Tombola;
            continue;
        }
        if (draw != won) continue;
        m_wins << PrizeWin{p, won, who.how, who, true};
        hasTombola = hasTombola || p == Prize::Tombola;
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
