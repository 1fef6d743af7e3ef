#include "evening/verbale.h"

#include "cards/print_run.h"
#include "evening/verbale_parts.h"

#include <QLocale>
#include <QStringList>

namespace
{
using namespace verbale;

QString runLine(int index, const StoredRun &run)
{
    // A card dealt to a player's phone is a run of its own, named after the phone.
    const bool phone = isPhoneDestination(run.destination);
    const QString where =
        phone ? (run.cards.size() == 1 ? QStringLiteral("data al %1") : QStringLiteral("date al %1"))
                    .arg(esc(run.destination))
        : run.toPdf
            ? QStringLiteral("salvate nel file «%1»").arg(esc(run.destination))
            : (run.destination.isEmpty() ? QStringLiteral("stampate")
                                         : QStringLiteral("stampate su «%1»").arg(esc(run.destination)));
    // Kept as dealt, before the printer or the file had anything of it: one that failed stays,
    // with no card in play.
    if (run.cards.isEmpty())
        return QStringLiteral("<b>Stampa %1</b>, alle %2: %3, nessuna cartella in gioco.")
            .arg(index)
            .arg(clock(run.at), run.toPdf
                                    ? QStringLiteral("non salvata nel file «%1»").arg(esc(run.destination))
                                    : QStringLiteral("non arrivata alla stampante"));
    const int first = run.cards.isEmpty() ? 0 : run.cards.first().number;
    const int last = run.cards.isEmpty() ? 0 : run.cards.last().number;
    QString line =
        QStringLiteral("<b>%9 %1</b>, alle %2: %3 %4 (numeri da %5 a %6), %7%8.")
            .arg(index)
            .arg(clock(run.at))
            .arg(run.cards.size())
            .arg(run.cards.size() == 1 ? QStringLiteral("cartella") : QStringLiteral("cartelle"))
            .arg(first)
            .arg(last)
            .arg(where,
                 run.dealer == CardDealer::FullSeries ? QStringLiteral(", in serie complete") : QString(),
                 phone ? QStringLiteral("Consegna") : QStringLiteral("Stampa"));
    if (run.stopped)
        line += QStringLiteral(" <i>Stampa fermata: sono in gioco solo le cartelle elencate.</i>");
    if (run.game > 1 || run.drawn > 0)
        line +=
            QStringLiteral(" %3 durante la tombola n. %1%2.")
                .arg(run.game)
                .arg(
                    run.drawn > 0
                        ? QStringLiteral(", dopo %1 numeri: in gioco dalla tombola successiva").arg(run.drawn)
                        : QString())
                .arg(phone ? (run.cards.size() == 1 ? QStringLiteral("Data") : QStringLiteral("Date"))
                           : QStringLiteral("Stampata"));
    return line;
}

QString planText(const PrizePlan &plan)
{
    QString text;
    switch (plan.pot) {
    case PrizePlan::Pot::Takings:
        text = QStringLiteral("Montepremi: l'incasso delle cartelle in gioco, a %1 la cartella")
                   .arg(money(plan.cardPrice));
        if (plan.organiserPercent > 0)
            text += QStringLiteral(", meno il %1% all'organizzatore").arg(plan.organiserPercent);
        break;
    case PrizePlan::Pot::Fixed:
        text = QStringLiteral("Montepremi fisso di %1 per tombola").arg(money(plan.fixedPot));
        break;
    case PrizePlan::Pot::FixedPrizes:
        text = QStringLiteral("Premi di valore fisso");
        break;
    }
    QStringList parts;
    for (const Prize p : plan.prizes())
        parts << (plan.pot == PrizePlan::Pot::FixedPrizes
                      ? QStringLiteral("%1 %2").arg(prizeWord(p), money(plan.values[std::size_t(p)]))
                      : QStringLiteral("%1 %2%").arg(prizeWord(p)).arg(plan.shares[std::size_t(p)]));
    return QStringLiteral(
               "%1; %2. I centesimi che avanzano dalle quote vanno all'ultimo premio; quelli di un "
               "premio diviso vanno, uno ciascuno, ai primi vincitori confermati.")
        .arg(text, parts.join(QStringLiteral(", ")));
}

// What a game paid out in all, by its winners' parts.
qint64 paidIn(const StoredGame &game, const PrizePlan &plan, int cards)
{
    if (!plan.inUse()) return 0;
    const Payout pay = payout(plan, cards);
    qint64 paid = 0;
    for (const Prize p : plan.prizes()) {
        int count = 0;
        for (const PrizeWin &w : game.wins)
            count += w.prize == p ? 1 : 0;
        if (count > 0) paid += pay.prize[std::size_t(p)];
    }
    return paid;
}

bool tombolaWon(const StoredGame &game)
{
    return std::any_of(game.wins.cbegin(), game.wins.cend(),
                       [](const PrizeWin &w) { return w.prize == Prize::Tombola; });
}

void gameSection(Blocks &b, const StoredEvening &e, const StoredGame &game, bool last)
{
    const int cards = cardsPlaying(e, game.number);
    b.heading(QStringLiteral("Tombola n. %1, iniziata alle %2").arg(game.number).arg(clock(game.started)));
    b.paragraph(QStringLiteral("Numeri estratti, nell'ordine (%1):").arg(game.numbers.size()));
    QStringList cells;
    for (const StoredNumber &n : game.numbers)
        cells << QStringLiteral("%1ª: <b>%2</b> %3%4")
                     .arg(n.ordinal)
                     .arg(n.number)
                     .arg(clock(n.at), n.byHand ? QStringLiteral(" (panariello)") : QString());
    b.grid(cells, 5);
    sealParagraph(b, e, game);
    if (!game.takenBack.isEmpty()) {
        QStringList back;
        for (const StoredNumber &n : game.takenBack)
            back << QStringLiteral("%1 (era la %2ª, tolto alle %3)")
                        .arg(n.number)
                        .arg(n.ordinal)
                        .arg(clock(n.at));
        b.paragraph(
            QStringLiteral("Numeri rimessi nel panariello: %1.").arg(back.join(QStringLiteral("; "))));
    }
    const Payout pay = payout(e.plan, cards);
    if (e.plan.inUse())
        b.paragraph(
            QStringLiteral("Cartelle in gioco in questa tombola: %1; incasso %2, all'organizzatore %3, "
                           "montepremi %4.")
                .arg(cards)
                .arg(money(pay.takings), money(pay.organiser), money(pay.pot)));
    else
        b.paragraph(QStringLiteral("Cartelle in gioco in questa tombola: %1.").arg(cards));
    QList<QStringList> rows;
    for (const Prize p : e.plan.prizes()) {
        QStringList winners;
        int draw = 0, count = 0;
        for (const PrizeWin &w : game.wins)
            count += w.prize == p ? 1 : 0;
        const QList<qint64> parts = split(pay.prize[std::size_t(p)], count);
        for (const PrizeWin &w : game.wins) {
            if (w.prize != p) continue;
            draw = w.draw;
            winners << code(w.name()) + QStringLiteral(" (") + esc(confirmationWords(w.how)) +
                           (e.plan.inUse() ? QStringLiteral(", ") + money(parts.value(winners.size()))
                                           : QString()) +
                           QLatin1Char(')');
        }
        const int number = draw > 0 && draw <= game.numbers.size() ? game.numbers[draw - 1].number : 0;
        rows << QStringList{prizeWord(p),
                            draw > 0 ? QStringLiteral("%1ª estrazione (il %2)").arg(draw).arg(number)
                                     : QStringLiteral("non assegnato"),
                            winners.join(QStringLiteral("<br>"))};
    }
    b.paragraph(QStringLiteral("<b>Premi</b>:"));
    b.table({18, 27, 55},
            {QStringLiteral("Premio"), QStringLiteral("Estrazione"), QStringLiteral("Vincitori e conferma")},
            rows);
    // A game that ended without its tombola: either given up for the next, or still under way.
    if (!tombolaWon(game) && game.numbers.size() < 90)
        b.paragraph(
            last && !e.ended.isValid()
                ? QStringLiteral("<i>Tombola in corso: %1 numeri estratti finora.</i>")
                      .arg(game.numbers.size())
                : QStringLiteral("<b>Tombola lasciata a metà</b> dopo %1 numeri: i premi non assegnati "
                                 "non sono stati vinti.")
                      .arg(game.numbers.size()));
    QStringList refused;
    for (const PrizeDesk::Event &ev : e.log)
        if (ev.game == game.number && ev.refused)
            refused
                << QStringLiteral("%1, %2ª estrazione: %3").arg(clock(ev.at)).arg(ev.draw).arg(esc(ev.text));
    b.paragraph(QStringLiteral("<b>Richieste non accolte</b>: %1")
                    .arg(refused.isEmpty() ? QStringLiteral("nessuna.")
                                           : QStringLiteral("<br>") + refused.join(QStringLiteral("<br>"))));
}

void totals(Blocks &b, const StoredEvening &e)
{
    int printed = 0, toPhones = 0;
    for (const StoredRun &r : e.runs)
        (isPhoneDestination(r.destination) ? toPhones : printed) += int(r.cards.size());
    b.heading(QStringLiteral("Riepilogo della serata"));
    b.paragraph(QStringLiteral("Cartelle stampate: %1; date ai telefoni: %2; tombole giocate: %3.")
                    .arg(printed)
                    .arg(toPhones)
                    .arg(e.games.size()));
    QList<QStringList> rows;
    qint64 takings = 0, paid = 0, organiser = 0;
    for (const StoredGame &g : e.games) {
        const int cards = cardsPlaying(e, g.number);
        const Payout pay = payout(e.plan, cards);
        const qint64 out = paidIn(g, e.plan, cards);
        takings += e.plan.inUse() ? pay.takings : 0;
        organiser += e.plan.inUse() ? pay.organiser : 0;
        paid += out;
        rows << QStringList{QString::number(g.number), QString::number(cards),
                            e.plan.inUse() ? money(pay.takings) : QStringLiteral("-"),
                            e.plan.inUse() ? money(out) : QStringLiteral("-"),
                            tombolaWon(g) ? QStringLiteral("sì") : QStringLiteral("no")};
    }
    if (!e.plan.inUse() && !rows.isEmpty())
        b.paragraph(QStringLiteral("Nessun montepremi: la serata non ha incassi né premi in denaro."));
    rows << QStringList{
        QStringLiteral("<b>Totale</b>"), QString(),
        e.plan.inUse() ? QStringLiteral("<b>%1</b>").arg(money(takings)) : QStringLiteral("-"),
        e.plan.inUse() ? QStringLiteral("<b>%1</b>").arg(money(paid)) : QStringLiteral("-"), QString()};
    b.table({16, 22, 22, 22, 18},
            {QStringLiteral("Tombola"), QStringLiteral("Cartelle in gioco"), QStringLiteral("Incasso"),
             QStringLiteral("Premi pagati"), QStringLiteral("Tombola vinta")},
            rows);
    if (e.plan.inUse() && organiser > 0)
        b.paragraph(QStringLiteral("All'organizzatore: %1.").arg(money(organiser)));
}

} // namespace

QList<VerbaleBlock> verbaleBlocks(const StoredEvening &e, const ClubInfo &club, const VerbaleSigners &signers)
{
    const auto filled = [](const QString &text) {
        return text.trimmed().isEmpty() ? QStringLiteral("______________________________")
                                        : esc(text.trimmed());
    };
    Blocks b;
    b.heading(QStringLiteral("Verbale della tombola"), 2);
    if (!club.name.isEmpty() || !club.contact.isEmpty())
        b.paragraph(QStringLiteral("<b>%1</b>%2")
                        .arg(esc(club.name),
                             club.contact.isEmpty() ? QString() : QStringLiteral(" – ") + esc(club.contact)));
    b.paragraph(QStringLiteral("Data: %1")
                    .arg(italian().toString(e.started.date(), QStringLiteral("dddd d MMMM yyyy"))));
    b.paragraph(QStringLiteral("Luogo: %1").arg(filled(signers.place)));
    b.paragraph(QStringLiteral("Organizzatore: %1").arg(filled(signers.organiser)));
    b.paragraph(
        QStringLiteral("Funzionario presente, delegato dal sindaco: %1").arg(filled(signers.delegate)));
    b.paragraph(QStringLiteral("Inizio della serata: %1 &nbsp;&nbsp; Fine: %2")
                    .arg(clock(e.started),
                         e.ended.isValid() ? clock(e.ended) : QStringLiteral("serata non ancora chiusa")));
    QStringList breaks;
    for (const PrizeDesk::Event &ev : e.log)
        if (ev.text.startsWith(QLatin1String("Serata ripresa")))
            breaks << QStringLiteral("durante la tombola n. %1: %2").arg(ev.game).arg(esc(ev.text.toLower()));
    if (!breaks.isEmpty())
        b.paragraph(QStringLiteral("<b>La serata è stata interrotta e ripresa</b> (il programma chiuso o "
                                   "mancata la corrente): %1.")
                        .arg(breaks.join(QStringLiteral("; "))));
    registerSection(b, e);
    b.heading(QStringLiteral("Cartelle in gioco: %1").arg(e.cardCount()));
    if (e.runs.isEmpty()) b.paragraph(QStringLiteral("Nessuna cartella stampata."));
    for (qsizetype k = 0; k < e.runs.size(); ++k) {
        b.paragraph(runLine(int(k) + 1, e.runs[k]));
        QStringList cells;
        for (const CardInPlay &c : e.runs[k].cards)
            cells << QStringLiteral("%1. %2").arg(c.number).arg(code(formatCardCode(c.code)));
        b.grid(cells, 5);
    }
    voidedSection(b, e);
    if (e.games.isEmpty()) b.heading(QStringLiteral("Nessuna tombola giocata"));
    if (e.plan.inUse()) {
        b.heading(QStringLiteral("Premi"));
        b.paragraph(planText(e.plan));
    }
    for (qsizetype k = 0; k < e.games.size(); ++k)
        gameSection(b, e, e.games[k], k + 1 == e.games.size());
    deliveriesSection(b, e);
    totals(b, e);
    QList<VerbaleBlock> out = b.take();
    out << VerbaleBlock{
        QStringLiteral("<br><br><table width=\"100%\"><tr><td>L'organizzatore%1<br><br>"
                       "______________________________</td><td>Il funzionario presente%2<br><br>"
                       "______________________________</td></tr></table>")
            .arg(signers.organiser.trimmed().isEmpty()
                     ? QString()
                     : QStringLiteral(", ") + esc(signers.organiser.trimmed()),
                 signers.delegate.trimmed().isEmpty()
                     ? QString()
                     : QStringLiteral(", ") + esc(signers.delegate.trimmed())),
        {},
        {},
        {},
        false};
    return out;
}

QString VerbaleBlock::rowHtml(bool head) const
{
    const QStringList &texts = head ? header : cells;
    QString row;
    for (qsizetype c = 0; c < texts.size(); ++c)
        row += QStringLiteral("<%1 width=\"%2%\"%3>%4</%1>")
                   .arg(head ? QStringLiteral("th") : QStringLiteral("td"))
                   .arg(columns.value(c, 100 / int(texts.size())))
                   .arg(head ? QStringLiteral(" align=\"left\"") : QString(), texts[c]);
    return QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" border=\"1\" width=\"100%\"><tr>") +
           row + QStringLiteral("</tr></table>");
}

QString verbaleHtml(const StoredEvening &e, const ClubInfo &club, const VerbaleSigners &signers)
{
    QString html = QStringLiteral("<html><body style=\"font-size: 9pt\">");
    const QList<VerbaleBlock> blocks = verbaleBlocks(e, club, signers);
    for (qsizetype k = 0; k < blocks.size(); ++k) {
        const VerbaleBlock &b = blocks[k];
        // A table's header before its first row.
        if (b.isRow() && !b.header.isEmpty() && (k == 0 || blocks[k - 1].header != b.header))
            html += b.rowHtml(true);
        html += b.isRow() ? b.rowHtml() : b.html;
    }
    return html + QStringLiteral("</body></html>");
}

QString verbaleFileName(const StoredEvening &e)
{
    return QStringLiteral("verbale-tombola-%1.pdf").arg(e.started.date().toString(Qt::ISODate));
}
