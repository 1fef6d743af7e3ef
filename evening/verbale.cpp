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

QString gameSection(const StoredGame &game, const QList<PrizeDesk::Event> &log)
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
    html += QStringLiteral("<p><b>Premi</b>:</p>");
    QStringList rows;
    for (const Prize p : ladderOrder) {
        QStringList winners;
        int draw = 0;
        for (const PrizeWin &w : game.wins) {
            if (w.prize != p) continue;
            draw = w.draw;
            winners << esc(w.name()) + QStringLiteral(" (") + esc(confirmationWords(w.how)) +
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
    for (const StoredGame &g : e.games)
        html += gameSection(g, e.log);
    html += QStringLiteral(
        "<br><br><table width=\"100%\"><tr><td>L'organizzatore<br><br>______________________________</td>"
        "<td>Il funzionario presente<br><br>______________________________</td></tr></table>");
    return html + QStringLiteral("</body></html>");
}

QString verbaleFileName(const StoredEvening &e)
{
    return QStringLiteral("verbale-tombola-%1.pdf").arg(e.started.date().toString(Qt::ISODate));
}
