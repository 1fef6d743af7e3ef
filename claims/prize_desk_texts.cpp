// What the prize desk says: its verdicts, the prize in play and what it is worth, the wins.
#include "claims/draw_words.h"
#include "claims/prize_desk.h"

QString PrizeDesk::sentence(const Award &award, bool card) const
{
    const QString prize = prizeWithArticle(award.prize);
    const QString at = nth(award.draw) + QStringLiteral(" estrazione");
    switch (award.kind) {
    case Award::Won:
        return QStringLiteral("vince ") + prize + QStringLiteral(" alla ") + at;
    case Award::Shared:
        return QStringLiteral("divide ") + prize + QStringLiteral(" della ") + at +
               QStringLiteral(": stesso numero, premio condiviso");
    case Award::AlreadyWon:
        return prize + QStringLiteral(" è già ") + agreeing(award.prize, QStringLiteral("stato")) +
               QLatin1Char(' ') + agreeing(award.prize, QStringLiteral("vinto")) + QStringLiteral(" alla ") +
               at + QStringLiteral(": nessun premio");
    case Award::AlreadyCounted:
        return prize + QStringLiteral(" è già ") + agreeing(award.prize, QStringLiteral("assegnato")) +
               (card ? QStringLiteral(" a questa cartella") : QStringLiteral(" a questi numeri"));
    case Award::Earlier: {
        const QList<CardCode> first = holdersAt(award.prize, award.earlier);
        const QString who = cardList(first);
        return (first.size() == 1 ? QStringLiteral("la ") : QStringLiteral("le ")) + who +
               (first.size() == 1 ? QStringLiteral(" aveva ") : QStringLiteral(" avevano ")) + prize +
               QStringLiteral(" alla ") + nth(award.earlier) +
               (card ? QStringLiteral(", prima di questa (")
                     : QStringLiteral(", prima di questa richiesta (")) +
               nth(award.draw) + QStringLiteral("): confermala o ignorala, poi ricontrolla");
    }
    case Award::PassedOver: {
        const int won = m_ladder.wonAt(award.prize);
        QString text = prize + QStringLiteral(" di questa cartella (") + at + QStringLiteral(") è ") +
                       agreeing(award.prize, QStringLiteral("stato")) + QLatin1Char(' ') +
                       agreeing(award.prize, QStringLiteral("ignorato"));
        if (won > 0)
            text += QStringLiteral(" ed è ") + agreeing(award.prize, QStringLiteral("andato")) +
                    QStringLiteral(" al vincitore della ") + nth(won);
        return text + QStringLiteral(": nessun premio");
    }
    case Award::Waiting:
        return prize + QStringLiteral(" alla ") + at + QStringLiteral(" aspetta la conferma del banco");
    case Award::NoPrize:
        break;
    }
    return QStringLiteral("nessun premio");
}

QString PrizeDesk::playingForText() const
{
    const Prize open = m_ladder.playingFor();
    if (open == Prize::None) return QStringLiteral("Premi tutti vinti");
    // A prize worth nothing (no plan, or no card in play yet) shows no amount.
    if (!m_plan.inUse() || prizeValue(open) == 0) return QStringLiteral("Si gioca per: ") + prizeWord(open);
    return QStringLiteral("Si gioca per ") + prizeWithArticle(open) + QStringLiteral(": ") +
           euro(prizeValue(open));
}

Payout PrizeDesk::payout() const
{
    return ::payout(m_plan, int(m_watch.size()));
}

qint64 PrizeDesk::prizeValue(Prize prize) const
{
    return prize == Prize::None ? 0 : payout().prize[std::size_t(prize)];
}

QList<qint64> PrizeDesk::amounts(Prize prize) const
{
    int winners = 0;
    for (const PrizeWin &w : m_ladder.wins())
        winners += w.prize == prize ? 1 : 0;
    return split(prizeValue(prize), winners);
}

QString PrizeDesk::amountEach(Prize prize) const
{
    if (!m_plan.inUse()) return QString();
    const QList<qint64> parts = amounts(prize);
    if (parts.isEmpty() || parts.last() == 0) return QString();
    if (parts.size() == 1) return QStringLiteral(": ") + euro(parts.first());
    return QStringLiteral(": ") + euro(parts.last()) + QStringLiteral(" a testa");
}

void PrizeDesk::setPlan(const PrizePlan &plan)
{
    if (plan == m_plan) return;
    m_plan = plan;
    m_ladder.setTombolino(plan.tombolino);
    emit optionsChanged();
    look(false);
    emit changed();
}

QStringList PrizeDesk::winLines() const
{
    QStringList lines;
    for (const PrizeLadder::Won &won : m_ladder.won()) {
        QStringList winners;
        const QList<qint64> parts = amounts(won.prize);
        for (qsizetype k = 0; k < won.winners.size(); ++k) {
            const PrizeWin &w = won.winners[k];
            winners << w.name() + QStringLiteral(" (") + confirmationWords(w.how) +
                           (m_plan.inUse() ? QStringLiteral(", ") + euro(parts.value(k)) : QString()) +
                           QLatin1Char(')');
        }
        lines << prizeWord(won.prize) + QStringLiteral(" alla ") + nth(won.draw) +
                     QStringLiteral(" estrazione: ") + winners.join(QStringLiteral("; "));
    }
    return lines;
}

QStringList PrizeDesk::audienceLines() const
{
    // Short, to be read from the back of the room: "AMBO alla 6ª: 7KQ3M-4 Y, 0D8B2-F C".
    QStringList lines{playingForText()};
    if (m_sighting && !m_announceAtOnce)
        lines << QStringLiteral("Vincita da verificare: ") + prizeWord(m_sighting->prize);
    for (const PrizeLadder::Won &won : m_ladder.won()) {
        QStringList cards;
        const int winners = int(won.winners.size());
        for (const PrizeWin &w : won.winners)
            if (w.who.card) cards << unbroken(w.name());
        QString line = prizeWord(won.prize) + QStringLiteral(" alla ") + nth(won.draw);
        if (cards.isEmpty()) {
            line += winners > 1 ? QStringLiteral(" estrazione (%1 vincitori)").arg(winners)
                                : QStringLiteral(" estrazione");
        } else {
            line += QStringLiteral(": ") + cards.mid(0, 2).join(QStringLiteral(", "));
            if (winners > 2)
                line += QStringLiteral(" e altri %1").arg(winners - 2);
            else if (winners > cards.size())
                line += QStringLiteral(" e un altro");
        }
        lines << line;
    }
    return lines;
}

QString PrizeDesk::sightingText(bool lines) const
{
    if (!m_sighting) return QString();
    const QString prize =
        prizeWord(m_sighting->prize) +
        (m_sighting->shares ? QStringLiteral(" della ") : QStringLiteral(" alla ")) + nth(m_sighting->draw) +
        (m_sighting->shares ? QStringLiteral(", da dividere") : QStringLiteral(" estrazione"));
    if (!lines) return prize + QStringLiteral(": ") + cardList(m_sighting->codes);
    QStringList codes;
    for (const CardCode &code : m_sighting->codes)
        codes << unbroken(formatCardCode(code));
    return prize + QLatin1Char('\n') + cardList(codes, 2);
}
