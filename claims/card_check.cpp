#include "claims/card_check.h"

#include "announce/words.h"
#include "cards/cards_in_play.h"
#include "claims/prize_desk.h"

namespace
{

// The prize's word as the result line shows it.
QString bestWord(Prize p)
{
    if (p == Prize::None) return QStringLiteral("nessun premio");
    if (p == Prize::Tombola) return QStringLiteral("TOMBOLA!");
    return QLatin1String(prizeInfo(p).word);
}

QString rowLine(int row, int out)
{
    const QString start = QStringLiteral("riga %1: ").arg(row);
    if (out == 0) return start + QStringLiteral("nessun numero uscito");
    if (out == 1) return start + QStringLiteral("1 numero uscito");
    return start + QStringLiteral("%1 numeri usciti").arg(out);
}

} // namespace

bool checkCard(const QString &typed, const QList<int> &drawn, const CardsInPlay *inPlay, PrizeDesk *desk,
               CardCheckResult *found, QString *why)
{
    CardCheckResult out;
    const CodeReading reading = parseCardCode(typed);
    QString unread;
    switch (reading.error) {
    case CodeError::WrongForm:
        unread = QStringLiteral("Codice non valido: servono 5 simboli della serie, il posto nella serie e "
                                "il simbolo di controllo, come in %1.")
                     .arg(exampleCardCode());
        break;
    case CodeError::PlaceOutOfSet:
        unread = QStringLiteral("Il posto nella serie, il simbolo dopo il trattino, va da 1 a 6, o da A a F "
                                "in una serie completa.");
        break;
    case CodeError::WrongCheck:
        unread = QStringLiteral("Il codice non torna: un simbolo è sbagliato o due sono scambiati. "
                                "Ricopialo dalla cartella.");
        break;
    case CodeError::None:
        break;
    }
    if (!unread.isEmpty()) {
        if (why) *why = unread;
        return false;
    }

    const CardCode code = reading.code;
    out.code = code;
    out.card = carta_da_codice(code.series, code.place, code.dealer);
    out.result = evaluateCard(out.card, drawn);
    const QString title = code.dealer == CardDealer::FullSeries
                              ? QStringLiteral("Cartella %1 della serie completa %2, dopo %3")
                              : QStringLiteral("Cartella %1 della serie %2, dopo %3");
    const QString after = drawn.size() == 1 ? QStringLiteral("1 numero estratto")
                                            : QStringLiteral("%1 numeri estratti").arg(drawn.size());
    out.title = title.arg(code.place).arg(formatCardCode(code).left(5), after);
    for (int r = 0; r < Cartella::righe; ++r)
        out.rowLines[std::size_t(r)] = rowLine(r + 1, out.result.outPerRow[std::size_t(r)]);
    out.best = bestWord(out.result.best);
    for (const Prize prize : ladderOrder) {
        const PrizeMoment &m = out.result.moment(prize);
        if (m.ordinal == 0) continue;
        out.moments << QStringLiteral("%1 alla %2ª estrazione (%3)")
                           .arg(QLatin1String(prizeInfo(prize).word))
                           .arg(m.ordinal)
                           .arg(numberWithArticle(m.number));
    }
    // A card nobody got tonight shows what it would hold, and wins nothing; one printed after this
    // game's first number plays from the next game.
    const bool printed = !inPlay || inPlay->contains(code);
    const bool plays = printed && (!desk || desk->playsThisGame(code));
    if (!printed && inPlay->isVoid(code))
        out.notice =
            QStringLiteral("cartella invenduta, annullata prima dell'estrazione: non partecipa al gioco");
    else if (!printed)
        out.notice = QStringLiteral("cartella non stampata stasera: non partecipa al gioco");
    else if (!plays)
        out.notice = QStringLiteral("cartella stampata durante questa tombola: gioca dalla prossima");
    // A card that plays is put to the ladder: a prize in play is won, one won on the same number
    // shared, one won earlier is not cheered.
    out.fanfare = plays && out.result.best == Prize::Tombola ? Prize::Tombola : Prize::None;
    if (plays && desk) {
        const Award award = desk->claimByCard(code, out.result);
        out.fanfare = award.isWin() ? award.prize : Prize::None;
        if (award.kind != Award::NoPrize) {
            out.verdict = desk->sentence(award, true) + QLatin1Char('.');
            out.verdict[0] = out.verdict[0].toUpper();
        }
    }
    if (found) *found = std::move(out);
    return true;
}
