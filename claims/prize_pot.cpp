#include "claims/prize_pot.h"

#include <QLocale>

bool PrizePlan::inUse() const
{
    switch (pot) {
    case Pot::Takings:
        return cardPrice > 0;
    case Pot::Fixed:
        return fixedPot > 0;
    case Pot::FixedPrizes:
        for (const qint64 v : values)
            if (v > 0) return true;
        return false;
    }
    return false;
}

QList<Prize> PrizePlan::prizes() const
{
    QList<Prize> out(ladderOrder.begin(), ladderOrder.end());
    if (tombolino) out << Prize::Tombolino;
    return out;
}

Payout payout(const PrizePlan &plan, int cards)
{
    Payout out;
    out.takings = plan.cardPrice * qint64(std::max(cards, 0));
    if (plan.pot == PrizePlan::Pot::FixedPrizes) {
        for (const Prize p : plan.prizes()) {
            out.prize[std::size_t(p)] = std::max<qint64>(0, plan.values[std::size_t(p)]);
            out.pot += out.prize[std::size_t(p)];
        }
        return out;
    }
    if (plan.pot == PrizePlan::Pot::Fixed) {
        out.pot = std::max<qint64>(0, plan.fixedPot);
    } else {
        out.organiser = out.takings * std::clamp(plan.organiserPercent, 0, 100) / 100;
        out.pot = out.takings - out.organiser;
    }
    const QList<Prize> prizes = plan.prizes();
    qint64 given = 0;
    for (const Prize p : prizes) {
        const qint64 share = std::clamp<qint64>(plan.shares[std::size_t(p)], 0, 100);
        out.prize[std::size_t(p)] = out.pot * share / 100;
        given += out.prize[std::size_t(p)];
    }
    // The cents the percentages leave go to the last prize, when the shares add up to the whole.
    qint64 total = 0;
    for (const Prize p : prizes)
        total += std::clamp<qint64>(plan.shares[std::size_t(p)], 0, 100);
    if (total == 100 && !prizes.isEmpty()) out.prize[std::size_t(prizes.last())] += out.pot - given;
    return out;
}

QList<qint64> split(qint64 cents, int winners)
{
    QList<qint64> parts;
    if (winners < 1) return parts;
    const qint64 each = cents / winners, left = cents % winners;
    for (int k = 0; k < winners; ++k)
        parts << each + (k < left ? 1 : 0);
    return parts;
}

QString euro(qint64 cents)
{
    static const QLocale italian(QLocale::Italian, QLocale::Italy);
    const qint64 whole = cents / 100, part = cents % 100;
    return (cents < 0 ? QStringLiteral("-") : QString()) + italian.toString(std::abs(whole)) +
           QLatin1Char(',') + QStringLiteral("%1").arg(std::abs(part), 2, 10, QLatin1Char('0')) +
           QStringLiteral(" €");
}

QStringList planWarnings(const PrizePlan &plan, int cards)
{
    QStringList out;
    if (plan.pot != PrizePlan::Pot::FixedPrizes) {
        qint64 total = 0;
        for (const Prize p : plan.prizes())
            total += plan.shares[std::size_t(p)];
        if (total != 100)
            out << QStringLiteral("Le quote dei premi sommano al %1%: devono fare il 100%.").arg(total);
    }
    const Payout pay = payout(plan, cards);
    if (plan.cap > 0 && pay.pot > plan.cap)
        out << QStringLiteral("Con %1 cartelle i premi valgono %2, più del limite di %3 per una tombola.")
                   .arg(cards)
                   .arg(euro(pay.pot), euro(plan.cap));
    return out;
}

QString PrizePlan::toText() const
{
    QStringList parts{QString::number(cardPrice),      QString::number(int(pot)),
                      QString::number(fixedPot),       QString::number(organiserPercent),
                      QString::number(int(tombolino)), QString::number(cap)};
    for (const qint64 s : shares)
        parts << QString::number(s);
    for (const qint64 v : values)
        parts << QString::number(v);
    return parts.join(QLatin1Char(' '));
}

std::optional<PrizePlan> PrizePlan::fromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() != 6 + 7 + 7) return std::nullopt;
    QList<qint64> n;
    for (const QString &p : parts) {
        bool ok = false;
        const qint64 v = p.toLongLong(&ok);
        if (!ok || v < 0 || v > 100000000000LL) return std::nullopt;
        n << v;
    }
    PrizePlan plan;
    if (n[1] > 2 || n[3] > 100 || n[4] > 1) return std::nullopt;
    plan.cardPrice = n[0];
    plan.pot = Pot(n[1]);
    plan.fixedPot = n[2];
    plan.organiserPercent = int(n[3]);
    plan.tombolino = n[4] == 1;
    plan.cap = n[5];
    for (int k = 0; k < 7; ++k) {
        if (n[6 + k] > 100) return std::nullopt;
        plan.shares[std::size_t(k)] = n[6 + k];
        plan.values[std::size_t(k)] = n[13 + k];
    }
    return plan;
}
