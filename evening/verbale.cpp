#include "evening/verbale.h"

#include "cards/print_run.h"

#include <QLocale>
#include <QStringList>

namespace
{

const QLocale &italian()
{
    static const QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString clock(const QDateTime &at)
{
    return italian().toString(at.time(), QStringLiteral("HH:mm:ss"));
}

QString section(const QString &title)
{
    return QStringLiteral("<h3>%1</h3>").arg(esc(title));
}

// A table of `cells`, `columns` to a row.
QString grid(const QStringList &cells, int columns)
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\" border=\"1\" width=\"100%\">");
    for (qsizetype i = 0; i < cells.size(); i += columns) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < columns; ++c)
            html += QStringLiteral("<td>%1</td>").arg(i + c < cells.size() ? cells[i + c] : QString());
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

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
    const int first = run.cards.isEmpty() ? 0 : run.cards.first().number;
    const int last = run.cards.isEmpty() ? 0 : run.cards.last().number;
    QString line =
        QStringLiteral("<p><b>%9 %1</b>, alle %2: %3 %4 (numeri da %5 a %6), %7%8.</p>")
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
        line += QStringLiteral("<p><i>Stampa fermata: sono in gioco solo le cartelle elencate.</i></p>");
    if (run.game > 1 || run.drawn > 0)
        line +=
            QStringLiteral("<p>%3 durante la tombola n. %1%2.</p>")
                .arg(run.game)
                .arg(
                    run.drawn > 0
                        ? QStringLiteral(", dopo %1 numeri: in gioco dalla tombola successiva").arg(run.drawn)
                        : QString())
                .arg(phone ? (run.cards.size() == 1 ? QStringLiteral("Data") : QStringLiteral("Date"))
                           : QStringLiteral("Stampata"));
    QStringList cells;
    for (const CardInPlay &c : run.cards)
        cells << QStringLiteral("%1. %2").arg(c.number).arg(esc(formatCardCode(c.code)));
    return line + grid(cells, 5);
}

// The cards that played game `game`: printed before its first number.
int cardsPlaying(const StoredEvening &e, int game)
{
    int n = 0;
    for (const StoredRun &r : e.runs)
        if (r.game < game || (r.game == game && r.drawn == 0)) n += int(r.cards.size());
    return n;
}

QString planSection(const PrizePlan &plan)
{
    QString text;
    switch (plan.pot) {
    case PrizePlan::Pot::Takings:
        text = QStringLiteral("Montepremi: l'incasso delle cartelle in gioco, a %1 la cartella")
                   .arg(euro(plan.cardPrice));
        if (plan.organiserPercent > 0)
            text += QStringLiteral(", meno il %1% all'organizzatore").arg(plan.organiserPercent);
        break;
    case PrizePlan::Pot::Fixed:
        text = QStringLiteral("Montepremi fisso di %1 per tombola").arg(euro(plan.fixedPot));
        break;
    case PrizePlan::Pot::FixedPrizes:
        text = QStringLiteral("Premi di valore fisso");
        break;
    }
    QStringList parts;
    for (const Prize p : plan.prizes())
        parts << (plan.pot == PrizePlan::Pot::FixedPrizes
                      ? QStringLiteral("%1 %2").arg(prizeWord(p), euro(plan.values[std::size_t(p)]))
                      : QStringLiteral("%1 %2%").arg(prizeWord(p)).arg(plan.shares[std::size_t(p)]));
    return QStringLiteral("<p>%1; %2. I centesimi che avanzano dalle quote vanno all'ultimo premio; quelli "
                          "di un premio diviso vanno, uno ciascuno, ai primi vincitori confermati.</p>")
        .arg(esc(text), esc(parts.join(QStringLiteral(", "))));
}

QString gameSection(const StoredGame &game, const QList<PrizeDesk::Event> &log, const PrizePlan &plan,
                    int cards)
{
    QString html =
        section(QStringLiteral("Tombola n. %1, iniziata alle %2").arg(game.number).arg(clock(game.started)));
    html += QStringLiteral("<p>Numeri estratti, nell'ordine (%1):</p>").arg(game.numbers.size());
    QStringList cells;
    for (const StoredNumber &n : game.numbers)
        cells << QStringLiteral("%1ª: <b>%2</b> %3%4")
                     .arg(n.ordinal)
                     .arg(n.number)
                     .arg(clock(n.at), n.byHand ? QStringLiteral(" (panariello)") : QString());
    html += grid(cells, 5);
    if (!game.takenBack.isEmpty()) {
        QStringList back;
        for (const StoredNumber &n : game.takenBack)
            back << QStringLiteral("%1 (era la %2ª, tolto alle %3)")
                        .arg(n.number)
                        .arg(n.ordinal)
                        .arg(clock(n.at));
        html +=
            QStringLiteral("<p>Numeri rimessi nel panariello: %1.</p>").arg(back.join(QStringLiteral("; ")));
    }
    const Payout pay = payout(plan, cards);
    if (plan.inUse())
        html +=
            QStringLiteral("<p>Cartelle in gioco in questa tombola: %1; incasso %2, all'organizzatore %3, "
                           "montepremi %4.</p>")
                .arg(cards)
                .arg(euro(pay.takings), euro(pay.organiser), euro(pay.pot));
    html += QStringLiteral("<p><b>Premi</b>:</p>");
    QStringList rows;
    for (const Prize p : plan.prizes()) {
        QStringList winners;
        int draw = 0, count = 0;
        for (const PrizeWin &w : game.wins)
            count += w.prize == p ? 1 : 0;
        const QList<qint64> parts = split(pay.prize[std::size_t(p)], count);
        for (const PrizeWin &w : game.wins) {
            if (w.prize != p) continue;
            draw = w.draw;
            winners << esc(w.name()) + QStringLiteral(" (") + esc(confirmationWords(w.how)) +
                           (plan.inUse() ? QStringLiteral(", ") + euro(parts.value(winners.size()))
                                         : QString()) +
                           QLatin1Char(')');
        }
        const int number = draw > 0 && draw <= game.numbers.size() ? game.numbers[draw - 1].number : 0;
        rows << QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>")
                    .arg(prizeWord(p),
                         draw > 0 ? QStringLiteral("%1ª estrazione (il %2)").arg(draw).arg(number)
                                  : QStringLiteral("non assegnato"),
                         winners.join(QStringLiteral("<br>")));
    }
    html += QStringLiteral(
                "<table cellspacing=\"0\" cellpadding=\"2\" border=\"1\" width=\"100%\"><tr><th>Premio</th>"
                "<th>Estrazione</th><th>Vincitori e conferma</th></tr>") +
            rows.join(QString()) + QStringLiteral("</table>");
    QStringList refused;
    for (const PrizeDesk::Event &e : log)
        if (e.game == game.number && e.refused)
            refused << QStringLiteral("%1, %2ª estrazione: %3").arg(clock(e.at)).arg(e.draw).arg(esc(e.text));
    html += QStringLiteral("<p><b>Richieste non accolte</b>: %1</p>")
                .arg(refused.isEmpty() ? QStringLiteral("nessuna.")
                                       : QStringLiteral("<br>") + refused.join(QStringLiteral("<br>")));
    return html;
}

} // namespace

QString verbaleHtml(const StoredEvening &e)
{
    QString html = QStringLiteral("<html><body style=\"font-size: 9pt\"><h2>Verbale della tombola</h2>");
    html += QStringLiteral("<p>Data: %1</p>")
                .arg(italian().toString(e.started.date(), QStringLiteral("dddd d MMMM yyyy")));
    html += QStringLiteral("<p>Luogo: ______________________________________________</p>");
    html += QStringLiteral("<p>Inizio della serata: %1 &nbsp;&nbsp; Fine: %2</p>")
                .arg(clock(e.started),
                     e.ended.isValid() ? clock(e.ended) : QStringLiteral("serata non ancora chiusa"));
    html += section(QStringLiteral("Cartelle in gioco: %1").arg(e.cardCount()));
    if (e.runs.isEmpty()) html += QStringLiteral("<p>Nessuna cartella stampata.</p>");
    for (qsizetype k = 0; k < e.runs.size(); ++k)
        html += runLine(int(k) + 1, e.runs[k]);
    if (e.games.isEmpty()) html += section(QStringLiteral("Nessuna tombola giocata"));
    if (e.plan.inUse()) html += section(QStringLiteral("Premi")) + planSection(e.plan);
    for (const StoredGame &g : e.games)
        html += gameSection(g, e.log, e.plan, cardsPlaying(e, g.number));
    html += QStringLiteral(
        "<br><br><table width=\"100%\"><tr><td>L'organizzatore<br><br>______________________________</td>"
        "<td>Il funzionario presente<br><br>______________________________</td></tr></table>");
    return html + QStringLiteral("</body></html>");
}

QString verbaleFileName(const StoredEvening &e)
{
    return QStringLiteral("verbale-tombola-%1.pdf").arg(e.started.date().toString(Qt::ISODate));
}
