// The verbale's parts for the committee: the register of the cards, the cards declared void, each
// game's sealed draw and the prizes handed over.

#include "cards/print_run.h"
#include "evening/verbale_parts.h"
#include "game/draw_seal.h"

#include <QSet>
#include <algorithm>

namespace verbale
{

int cardsPlaying(const StoredEvening &e, int game)
{
    int n = 0;
    for (const StoredRun &r : e.runs)
        if (r.game < game || (r.game == game && r.drawn == 0))
            for (const CardInPlay &c : r.cards)
                n += e.isVoid(c.number, game) ? 0 : 1;
    return n;
}

void registerSection(Blocks &b, const StoredEvening &e)
{
    b.heading(QStringLiteral("Registro delle cartelle"));
    if (e.runs.isEmpty()) {
        b.paragraph(QStringLiteral("Nessuna cartella messa in gioco."));
        return;
    }
    const bool priced = e.plan.inUse() && e.plan.pot == PrizePlan::Pot::Takings;
    QList<QStringList> rows;
    int allCards = 0, allVoid = 0;
    for (qsizetype k = 0; k < e.runs.size(); ++k) {
        const StoredRun &r = e.runs[k];
        if (r.cards.isEmpty()) continue;
        QSet<quint32> series;
        int voided = 0;
        for (const CardInPlay &c : r.cards) {
            series.insert(c.code.series);
            voided += e.isVoid(c.number) ? 1 : 0;
        }
        const int sold = int(r.cards.size()) - voided;
        allCards += int(r.cards.size());
        allVoid += voided;
        rows << QStringList{
            QString::number(k + 1),
            QStringLiteral("da %1 a %2").arg(r.cards.first().number).arg(r.cards.last().number),
            QStringLiteral("%1<br>%2 … %3")
                .arg(series.size() == 1 ? QStringLiteral("1 serie")
                                        : QStringLiteral("%1 serie").arg(series.size()))
                .arg(code(formatCardCode(r.cards.first().code)), code(formatCardCode(r.cards.last().code))),
            QString::number(r.cards.size()),
            QString::number(voided),
            QString::number(sold),
            priced ? money(qint64(sold) * e.plan.cardPrice) : QStringLiteral("-")};
    }
    const int sold = allCards - allVoid;
    rows << QStringList{QStringLiteral("<b>Totale</b>"),
                        QString(),
                        QString(),
                        QStringLiteral("<b>%1</b>").arg(allCards),
                        QStringLiteral("<b>%1</b>").arg(allVoid),
                        QStringLiteral("<b>%1</b>").arg(sold),
                        priced ? QStringLiteral("<b>%1</b>").arg(money(qint64(sold) * e.plan.cardPrice))
                               : QStringLiteral("-")};
    b.table({9, 15, 30, 11, 11, 11, 13},
            {QStringLiteral("Stampa"), QStringLiteral("Numeri"), QStringLiteral("Serie, prima e ultima"),
             QStringLiteral("Cartelle"), QStringLiteral("Annullate"), QStringLiteral("Vendute"),
             QStringLiteral("Incasso")},
            rows);
}

void voidedSection(Blocks &b, const StoredEvening &e)
{
    if (e.voided.isEmpty()) return;
    b.heading(QStringLiteral("Cartelle invendute annullate"));
    for (const StoredVoid &v : e.voided) {
        QStringList cards;
        for (const StoredRun &r : e.runs)
            for (const CardInPlay &c : r.cards)
                if (v.cards.contains(c.number))
                    cards << QStringLiteral("%1. %2").arg(c.number).arg(code(formatCardCode(c.code)));
        b.paragraph(QStringLiteral("Alle %1, prima della tombola n. %2 («%3»): %4 %5, fuori gioco per il "
                                   "resto della serata.")
                        .arg(clock(v.at))
                        .arg(v.game)
                        .arg(esc(v.what))
                        .arg(v.cards.size())
                        .arg(v.cards.size() == 1 ? QStringLiteral("cartella") : QStringLiteral("cartelle")));
        b.grid(cards, 5);
    }
}

void sealParagraph(Blocks &b, const StoredEvening &e, const StoredGame &game)
{
    const StoredSeal *s = e.findSeal(game.number);
    if (!s) {
        const bool allByHand = std::all_of(game.numbers.cbegin(), game.numbers.cend(),
                                           [](const StoredNumber &n) { return n.byHand; });
        if (!game.numbers.isEmpty())
            b.paragraph(allByHand ? QStringLiteral("Estrazione senza sigillo: i numeri sono stati estratti a "
                                                   "mano dal panariello.")
                                  : QStringLiteral("Estrazione senza sigillo."));
        return;
    }
    QString text =
        QStringLiteral("<b>Sigillo dell'estrazione</b>: %1, mostrato alle %2 prima del primo numero.")
            .arg(seal::sealOf(s->secret), clock(s->at));
    // The secret only once the game is over: before then it would tell the numbers to come.
    if (s->isRevealed())
        text += QStringLiteral(
                    " <b>Segreto</b> (svelato alle %1): <span style=\"font-family: monospace\">%2</span>. "
                    "Con «tombola --verifica» il segreto ridà i numeri estratti a caso, "
                    "nell'ordine; quelli segnati «panariello» sono stati estratti a mano.")
                    .arg(clock(s->revealed), seal::secretText(s->secret));
    else
        text += QStringLiteral(" Il segreto sarà svelato a fine tombola.");
    b.paragraph(text);
}

void deliveriesSection(Blocks &b, const StoredEvening &e)
{
    QList<QStringList> rows;
    for (const PrizeToDeliver &p : prizesToDeliver(e))
        rows << QStringList{
            QString::number(p.game), prizeWord(p.prize), code(p.card),
            p.delivered ? esc(p.delivered->to) : QStringLiteral("<i>da consegnare</i>"),
            p.delivered ? italian().toString(p.delivered->at, QStringLiteral("d/M/yyyy HH:mm")) : QString()};
    if (rows.isEmpty()) return;
    b.heading(QStringLiteral("Consegna dei premi"));
    b.table({12, 16, 22, 30, 20},
            {QStringLiteral("Tombola"), QStringLiteral("Premio"), QStringLiteral("Cartella"),
             QStringLiteral("Consegnato a"), QStringLiteral("Quando")},
            rows);
}

} // namespace verbale

QList<PrizeToDeliver> prizesToDeliver(const StoredEvening &e)
{
    QList<PrizeToDeliver> out;
    for (const StoredGame &g : e.games) {
        const Payout pay = payout(e.plan, verbale::cardsPlaying(e, g.number));
        for (qsizetype k = 0; k < g.wins.size(); ++k) {
            const PrizeWin &w = g.wins[k];
            // Each winner's part, in the order the winners of that prize were confirmed.
            int count = 0, before = 0;
            for (qsizetype j = 0; j < g.wins.size(); ++j)
                if (g.wins[j].prize == w.prize) {
                    ++count;
                    before += j < k ? 1 : 0;
                }
            const qint64 amount =
                e.plan.inUse() ? split(pay.prize[std::size_t(w.prize)], count).value(before) : -1;
            out << PrizeToDeliver{g.number, int(k), w.prize,
                                  w.name(), amount, e.findDelivery(g.number, int(k))};
        }
    }
    return out;
}

QList<VerbaleBlock> deliveryBlocks(const StoredEvening &e, const ClubInfo &club)
{
    using namespace verbale;
    Blocks b;
    b.heading(QStringLiteral("Consegna dei premi"), 2);
    if (!club.name.isEmpty()) b.paragraph(QStringLiteral("<b>%1</b>").arg(esc(club.name)));
    b.paragraph(
        QStringLiteral("Tombola della serata di %1, iniziata alle %2. I vincitori sottoscritti "
                       "dichiarano di aver ricevuto il premio indicato.")
            .arg(italian().toString(e.started.date(), QStringLiteral("dddd d MMMM yyyy")), clock(e.started)));
    QList<QStringList> rows;
    for (const PrizeToDeliver &p : prizesToDeliver(e))
        rows << QStringList{QString::number(p.game),
                            prizeWord(p.prize),
                            code(p.card),
                            p.amount >= 0 ? money(p.amount) : QStringLiteral("-"),
                            p.delivered && !p.delivered->to.isEmpty()
                                ? esc(p.delivered->to) + QStringLiteral("<br><br>")
                                : QStringLiteral("<br><br>"),
                            QStringLiteral("<br><br>______________________")};
    if (rows.isEmpty()) b.paragraph(QStringLiteral("Nessun premio vinto."));
    b.table({9, 14, 20, 13, 22, 22},
            {QStringLiteral("Tombola"), QStringLiteral("Premio"), QStringLiteral("Cartella"),
             QStringLiteral("Importo"), QStringLiteral("Vincitore (nome e cognome)"),
             QStringLiteral("Firma")},
            rows);
    b.paragraph(QStringLiteral("<br>Data della consegna: ____________ &nbsp;&nbsp; L'organizzatore: "
                               "______________________________"));
    return b.take();
}

QString deliveryFileName(const StoredEvening &e)
{
    return QStringLiteral("consegna-premi-%1.pdf").arg(e.started.date().toString(Qt::ISODate));
}
