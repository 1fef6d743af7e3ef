#include "claims/prize_desk.h"

#include "game/game.h"

#include <algorithm>

namespace
{

// "12ª": the ordinal of a draw as the window writes it.
QString nth(int draw)
{
    return QString::number(draw) + QStringLiteral("ª");
}

// "cartella 7KQ3M-4 X", "cartelle A, B e altre 3".
QString cardList(const QStringList &codes, int shown = 3)
{
    QString text = (codes.size() == 1 ? QStringLiteral("cartella ") : QStringLiteral("cartelle ")) +
                   codes.mid(0, shown).join(QStringLiteral(", "));
    if (codes.size() > shown) text += QStringLiteral(" e altre %1").arg(codes.size() - shown);
    return text;
}

QString cardList(const QList<CardCode> &codes)
{
    QStringList names;
    for (const CardCode &code : codes)
        names << formatCardCode(code);
    return cardList(names);
}

PrizeMoments momentsOf(const std::array<PrizeMoment, 6> &moments)
{
    PrizeMoments at{};
    for (std::size_t p = 0; p < at.size(); ++p)
        at[p] = moments[p].ordinal;
    return at;
}

} // namespace

PrizeDesk::PrizeDesk(Game &game, CardsInPlay &inPlay, QObject *parent)
    : QObject(parent), m_game(game), m_inPlay(inPlay)
{
    // Each card is built from its code as it is printed, not at the next number.
    inPlay.setOnAdded([this](const CardCode &) { syncCards(); });
    connect(&game, &Game::numberDrawn, this, [this](int number, int ordinal) {
        syncCards();
        if (m_watch.drawOrder().size() == ordinal - 1)
            m_watch.numberDrawn(number);
        else
            m_watch.restart(m_game.drawnNumbers());
        look();
        emit changed();
    });
    connect(&game, &Game::newGameStarted, this, [this] {
        // The first draw of the evening starts with a reset too: a game counts once a number is out.
        if (m_watch.drawOrder().isEmpty()) return;
        ++m_gameNumber;
        m_ladder.reset();
        m_watch.restart({});
        m_ignored.clear();
        m_sighting.reset();
        log(0, QStringLiteral("Nuova tombola: si gioca per l'AMBO"));
        emit changed();
    });
    connect(&game, &Game::numberTakenBack, this, [this](int number) {
        const QList<int> order = m_game.drawnNumbers();
        const qsizetype before = m_ladder.wins().size();
        m_ladder.takeBack(int(order.size()));
        m_watch.restart(order);
        m_ignored.clear();
        if (m_ladder.wins().size() != before)
            log(int(order.size()),
                QStringLiteral("Tolto il %1: annullate le vincite che lo usavano").arg(number));
        look();
        emit changed();
    });
}

void PrizeDesk::syncCards()
{
    const QList<CardCode> &codes = m_inPlay.codes();
    for (qsizetype k = m_watch.size(); k < codes.size(); ++k)
        m_watch.addCard(codes[k], carta_da_codice(codes[k].series, codes[k].place, codes[k].dealer));
}

const WinnerWatch &PrizeDesk::watch()
{
    syncCards();
    return m_watch;
}

void PrizeDesk::log(int draw, const QString &text)
{
    m_events << Event{m_gameNumber, draw, text};
}

void PrizeDesk::look()
{
    const std::optional<Sighting> before = m_sighting;
    m_sighting.reset();
    const Prize open = m_ladder.playingFor();
    if (open == Prize::None) return;
    Sighting seen{open, 0, {}};
    for (const qsizetype i : m_watch.holding(open)) {
        const WinnerWatch::Watched &w = m_watch.card(i);
        if (m_ignored.contains(qMakePair(open, w.code))) continue;
        const int draw = w.moments[std::size_t(open)].ordinal;
        if (seen.draw != 0 && draw > seen.draw) continue;
        if (draw < seen.draw) seen.codes.clear();
        seen.draw = draw;
        seen.codes << w.code;
    }
    if (seen.codes.isEmpty()) return;
    m_sighting = seen;
    if (m_sighting != before)
        log(int(m_watch.drawOrder().size()), QStringLiteral("Vincita trovata: ") + sightingText());
    if (m_announceAtOnce) confirmAs(Confirmation::WatchAlone);
}

void PrizeDesk::confirm()
{
    confirmAs(Confirmation::Watch);
    emit changed();
}

void PrizeDesk::confirmAs(Confirmation how)
{
    if (!m_sighting) return;
    const Sighting seen = *m_sighting;
    for (const CardCode &code : seen.codes) {
        for (qsizetype i = 0; i < m_watch.size(); ++i) {
            const WinnerWatch::Watched &w = m_watch.card(i);
            if (w.code == code) m_ladder.award(w.best, momentsOf(w.moments), how, formatCardCode(code));
        }
    }
    const QString who = cardList(seen.codes);
    log(int(m_watch.drawOrder().size()),
        prizeWord(seen.prize) + QLatin1Char(' ') + agreeing(seen.prize, QStringLiteral("vinto")) +
            QStringLiteral(" alla ") + nth(seen.draw) + QStringLiteral(" estrazione: ") + who +
            QStringLiteral(" (") + confirmationWords(how) + QLatin1Char(')'));
    emit prizeWon(prizeWord(seen.prize) + QStringLiteral("! ") + who);
    look();
}

void PrizeDesk::ignore()
{
    if (!m_sighting) return;
    for (const CardCode &code : std::as_const(m_sighting->codes))
        m_ignored << qMakePair(m_sighting->prize, code);
    log(int(m_watch.drawOrder().size()), QStringLiteral("Ignorata: ") + sightingText());
    look();
    emit changed();
}

void PrizeDesk::setAnnounceAtOnce(bool on)
{
    if (on == m_announceAtOnce) return;
    m_announceAtOnce = on;
    if (on) {
        look();
        emit changed();
    }
}

QString awardSentence(const Award &award, bool card)
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
        return prize + QStringLiteral(" e' gia' ") + agreeing(award.prize, QStringLiteral("stato")) +
               QLatin1Char(' ') + agreeing(award.prize, QStringLiteral("vinto")) + QStringLiteral(" alla ") +
               at + QStringLiteral(": nessun premio");
    case Award::AlreadyCounted:
        return prize + QStringLiteral(" e' gia' ") + agreeing(award.prize, QStringLiteral("assegnato")) +
               (card ? QStringLiteral(" a questa cartella") : QStringLiteral(" a questa richiesta"));
    case Award::NoPrize:
        break;
    }
    return QStringLiteral("nessun premio");
}

Award PrizeDesk::claimFromPanel(int prizeIndex, const QStringList &numbers)
{
    const QList<int> order = m_game.drawnNumbers();
    QList<int> ordinals, values;
    for (const QString &text : numbers) {
        const qsizetype at = order.indexOf(text.toInt());
        if (at >= 0) ordinals << int(at + 1);
        values << text.toInt();
    }
    std::sort(ordinals.begin(), ordinals.end());
    std::sort(values.begin(), values.end());
    // The k-th number to come out completed the prize of k numbers.
    PrizeMoments at{};
    for (qsizetype k = 1; k < ordinals.size() && k <= 4; ++k)
        at[std::size_t(k)] = ordinals[k];
    QStringList shown;
    for (const int v : std::as_const(values))
        shown << QString::number(v);
    const QString who = QStringLiteral("numeri ") + shown.join(QLatin1Char(' '));
    const Prize claimed = prizeIndex >= 0 && prizeIndex < 4 ? Prize(prizeIndex + 1) : Prize::None;
    const Award award = m_ladder.award(ordinals.size() == numbers.size() ? claimed : Prize::None, at,
                                       Confirmation::Claim, who);
    log(int(order.size()),
        QStringLiteral("Richiesta, ") + who + QStringLiteral(": ") + awardSentence(award, false));
    look();
    emit changed();
    return award;
}

Award PrizeDesk::claimByCard(const CardCode &code, const CardResult &result)
{
    const QString who = formatCardCode(code);
    const Award award = m_inPlay.contains(code) ? m_ladder.award(result.best, momentsOf(result.moments),
                                                                 Confirmation::CardCode, who)
                                                : Award{};
    log(int(m_game.drawnNumbers().size()), QStringLiteral("Controllo della cartella ") + who +
                                               QStringLiteral(": ") + awardSentence(award, true));
    if (award.isWin()) emit prizeWon(prizeWord(award.prize) + QStringLiteral("! cartella ") + who);
    look();
    emit changed();
    return award;
}

QString PrizeDesk::playingForText() const
{
    const Prize open = m_ladder.playingFor();
    if (open == Prize::None) return QStringLiteral("Premi tutti vinti");
    return QStringLiteral("Si gioca per: ") + prizeWord(open);
}

QStringList PrizeDesk::winLines() const
{
    QStringList lines;
    for (const PrizeLadder::Won &won : m_ladder.won()) {
        QStringList winners;
        for (const PrizeWin &w : won.winners)
            winners << w.who + QStringLiteral(" (") + confirmationWords(w.how) + QLatin1Char(')');
        lines << prizeWord(won.prize) + QStringLiteral(" alla ") + nth(won.draw) +
                     QStringLiteral(" estrazione: ") + winners.join(QStringLiteral("; "));
    }
    return lines;
}

QStringList PrizeDesk::audienceLines() const
{
    // Short, to be read from the back of the room: "AMBO alla 6ª: 7KQ3M-4 X, 0D8B2-F K".
    QStringList lines{playingForText()};
    for (const PrizeLadder::Won &won : m_ladder.won()) {
        QStringList cards;
        const int winners = int(won.winners.size());
        for (const PrizeWin &w : won.winners)
            if (w.how != Confirmation::Claim) cards << w.who;
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
    const QString prize = prizeWord(m_sighting->prize) + QStringLiteral(" alla ") + nth(m_sighting->draw) +
                          QStringLiteral(" estrazione");
    if (!lines) return prize + QStringLiteral(": ") + cardList(m_sighting->codes);
    QStringList codes;
    for (const CardCode &code : m_sighting->codes)
        codes << formatCardCode(code)
                     .replace(QLatin1Char(' '), QChar(0xA0))
                     .replace(QLatin1Char('-'), QChar(0x2011));
    return prize + QLatin1Char('\n') + cardList(codes, 2);
}
