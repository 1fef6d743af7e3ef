// The committee's facts as the evening's record keeps them: the sealed draws, the cards declared
// void, the prizes handed over.

#include "evening/evening_record.h"

#include "cards/print_run.h"
#include "claims/prize_desk.h"
#include "evening/card_selection.h"
#include "game/draw_seal.h"
#include "game/game.h"

void EveningRecord::sealed(const QByteArray &secret)
{
    if (!m_following) return;
    EveningEvent e;
    e.kind = EveningEvent::Kind::Sealed;
    e.at = QDateTime::currentDateTime();
    e.seal = StoredSeal{m_desk.gameNumber(), secret, e.at, {}};
    add(e);
    m_desk.note(QStringLiteral("Sigillo dell'estrazione: %1 (il segreto sarà svelato a fine tombola)")
                    .arg(seal::sealOf(secret)));
}

void EveningRecord::reveal(bool all)
{
    if (!m_following) return;
    const int current = m_desk.gameNumber();
    const QList<StoredSeal> seals = evening().seals;
    for (StoredSeal s : seals) {
        if (s.isRevealed() || (!all && s.game == current)) continue;
        s.revealed = QDateTime::currentDateTime();
        EveningEvent e;
        e.kind = EveningEvent::Kind::Sealed;
        e.at = s.revealed;
        e.seal = s;
        add(e);
        m_desk.note(QStringLiteral("Tombola n. %1, segreto dell'estrazione: %2 (sigillo %3)")
                        .arg(s.game)
                        .arg(seal::secretText(s.secret), seal::sealOf(s.secret)));
    }
}

void EveningRecord::revealLeftOpen(const StoredEvening &old)
{
    for (StoredSeal s : old.seals) {
        if (s.isRevealed()) continue;
        s.revealed = old.lastEventAt();
        m_store.setSeal(old.id, s);
    }
}

bool EveningRecord::voidCards(const QString &what, QString *why)
{
    if (!m_game.drawnNumbers().isEmpty()) {
        if (why)
            *why =
                QStringLiteral("Le cartelle invendute si annullano prima del primo numero di una tombola.");
        return false;
    }
    const auto cards = selectCards(evening(), what, why);
    if (!cards) return false;
    const StoredVoid v{QDateTime::currentDateTime(), m_desk.gameNumber(), what.simplified(), *cards};
    // Kept before the cards leave play.
    EveningEvent e;
    e.kind = EveningEvent::Kind::Voided;
    e.at = v.at;
    e.voided = v;
    add(e);
    for (const StoredRun &run : evening().runs)
        for (const CardInPlay &card : run.cards)
            if (cards->contains(card.number)) m_printRun.cardsInPlay().setVoid(card);
    m_desk.cardsVoided();
    m_desk.note(QStringLiteral("Cartelle invendute annullate (%1): %2").arg(cards->size()).arg(v.what));
    return true;
}

bool EveningRecord::deliver(int game, int index, const QString &to)
{
    const StoredGame *g = evening().findGame(game);
    if (!g || index < 0 || index >= g->wins.size()) return false;
    const StoredDelivery d{game, index, to.simplified(), QDateTime::currentDateTime()};
    const PrizeWin w = g->wins[index];
    EveningEvent e;
    e.kind = EveningEvent::Kind::Delivered;
    e.at = d.at;
    e.delivery = d;
    add(e);
    m_desk.note(QStringLiteral("Premio consegnato: %1 della tombola n. %2 (%3) a %4")
                    .arg(prizeWord(w.prize))
                    .arg(game)
                    .arg(w.name(), d.to.isEmpty() ? QStringLiteral("chi lo ha vinto") : d.to));
    return true;
}
