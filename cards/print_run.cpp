#include "cards/print_run.h"

#include "cards/card_sheet.h"

#include <QDate>
#include <QLocale>
#include <cmath>

PrintRun::PrintRun(PrinterPort &printer, std::function<quint32()> newSeries, QObject *parent)
    : QObject(parent), m_printer(printer), m_newSeries(std::move(newSeries))
{
}

bool PrintRun::countValid(double value)
{
    // A pasted fraction at or below one half would round to no card at all.
    return value > 0.5 && value <= 30;
}

namespace
{
std::int16_t rounded(double value)
{
    return std::int16_t(std::nearbyint(value)); // halves to the even neighbour
}

// "serie 4ZPTK", "serie 4ZPTK, 7KQ3M e altre 3".
QString seriesOf(const QList<CardInPlay> &cards)
{
    QStringList series;
    for (const CardInPlay &c : cards) {
        const QString s = formatCardCode(c.code).left(5);
        if (!series.contains(s)) series << s;
    }
    QString text = QStringLiteral("serie ") + series.mid(0, 2).join(QStringLiteral(", "));
    if (series.size() > 2) text += QStringLiteral(" e altre %1").arg(series.size() - 2);
    return text;
}
} // namespace

std::optional<Notice> PrintRun::checkOnEnter(double value, PrintRecord record) const
{
    if (!countValid(value))
        return Notice{QStringLiteral("digitare non piu di 30 "), QString(), Notice::Kind::Question};
    record.num_cartelle = rounded(value);
    return std::nullopt;
}

std::optional<Notice> PrintRun::print(double value, bool toPdf, bool drawing, CardDealer dealer,
                                      PrintRecord record, const std::function<QString()> &chooseFile)
{
    record.conta_cartelle = -1;
    if (!countValid(value))
        return Notice{QStringLiteral("valore invalido  ( digitare da 1 a 30 cartelle ) "), QString(),
                      Notice::Kind::Plain};
    record.num_cartelle = rounded(value);
    // A message box of a run, or a second click behind it, starts no second run.
    if (m_printing || drawing) return std::nullopt;
    return run(record.num_cartelle, toPdf, dealer, record, chooseFile, {});
}

namespace
{
// ", di cui una con 13 numeri": the dealer of sets of six may leave the last card of a set short,
// and a short card makes its tombola with fewer numbers than the others.
QString shortCardsNote(const QList<CardInPlay> &cards)
{
    QList<int> sizes;
    for (const CardInPlay &c : cards) {
        int numbers = 0;
        for (int r = 1; r <= Cartella::righe; ++r)
            for (int col = 1; col <= Cartella::colonne; ++col)
                numbers += c.card.cella(r, col).isEmpty() ? 0 : 1;
        if (numbers < 15) sizes << numbers;
    }
    if (sizes.isEmpty()) return {};
    if (sizes.size() == 1) return QStringLiteral(", di cui una con %1 numeri").arg(sizes.first());
    return QStringLiteral(", di cui %1 con meno di 15 numeri").arg(sizes.size());
}
} // namespace

std::optional<Notice> PrintRun::printMany(int count, bool toPdf, bool drawing, CardDealer dealer,
                                          PrintRecord record, const std::function<QString()> &chooseFile,
                                          const std::function<bool(int done)> &progress)
{
    if (count < 1 || count > kMostCards)
        return Notice{QStringLiteral("Si possono stampare da 1 a %1 cartelle alla volta.").arg(kMostCards),
                      QString(), Notice::Kind::Question};
    if (m_printing || drawing) return std::nullopt;
    return run(count, toPdf, dealer, record, chooseFile, progress);
}

std::optional<Notice> PrintRun::run(int count, bool toPdf, CardDealer dealer, PrintRecord record,
                                    const std::function<QString()> &chooseFile,
                                    const std::function<bool(int done)> &progress)
{
    m_printing = true;
    QString why;
    std::unique_ptr<CardCanvas> canvas;
    QString file;
    if (toPdf) {
        file = chooseFile ? chooseFile() : QString();
        if (file.isEmpty()) {
            m_printing = false;
            return std::nullopt;
        }
    } else {
        // A document for the printer is made in memory: nothing leaves before its end.
        canvas = m_printer.open(m_documentName, &why);
        if (!canvas) {
            m_printing = false;
            return Notice{why, QStringLiteral("Stampa delle cartelle"), Notice::Kind::Error};
        }
    }
    // The program speaks Italian whatever the system's language: "10/12/26".
    const QString oggi =
        QLocale(QLocale::Italian, QLocale::Italy).toString(QDate::currentDate(), QLocale::ShortFormat);
    SheetRun sheets;
    sheets.count = count;
    sheets.firstNumber = m_inPlay.nextNumber();
    sheets.dealer = dealer;
    sheets.nextSeries = m_newSeries;
    sheets.progress = progress;
    sheets.largePrint = m_largePrint;
    const QList<DealtCard> dealt = dealSheets(sheets, m_pool);
    PrintedRun printed{
        QDateTime::currentDateTime(), toPdf ? file : canvas->destination(), toPdf, dealer, {}, false};
    for (const DealtCard &card : dealt)
        printed.cards << CardInPlay{card.code, sheets.firstNumber + int(printed.cards.size()), card.card};
    // Whoever keeps the evening has the cards before the first byte of the file or the job: no
    // card reaches paper without being kept.
    emit runDealt(printed);
    if (toPdf) canvas = m_printer.openPdf(file, &why);
    const int done = canvas ? printDealt(sheets, dealt, record.conta_cartelle, *canvas, oggi, &why) : 0;
    if (done > 0) {
        why.clear();
        printed.cards = printed.cards.mid(0, done);
        printed.stopped = done < count;
        for (const CardInPlay &card : std::as_const(printed.cards))
            m_inPlay.add(card);
        const QString cards =
            done == 1 ? QStringLiteral("1 cartella") : QStringLiteral("%1 cartelle").arg(done);
        m_summary = (toPdf ? (done == 1 ? QStringLiteral("Salvata ") : QStringLiteral("Salvate "))
                           : (done == 1 ? QStringLiteral("Stampata ") : QStringLiteral("Stampate "))) +
                    cards + QStringLiteral(", ") + seriesOf(printed.cards) + shortCardsNote(printed.cards);
        emit runPrinted(printed);
    } else {
        if (why.isEmpty()) why = QStringLiteral("La stampa delle cartelle non è riuscita.");
        printed.cards.clear();
        printed.stopped = true;
        emit runFailed(printed);
    }
    m_printing = false;
    if (why.isEmpty()) return std::nullopt;
    return Notice{why, QStringLiteral("Stampa delle cartelle"), Notice::Kind::Error};
}

QString phoneDestination(const QString &phone, const QString &address)
{
    return QStringLiteral("telefono ") + phone +
           (address.isEmpty() ? QString() : QStringLiteral(" da ") + address);
}

PhoneHolder phoneOf(const QString &destination)
{
    if (!isPhoneDestination(destination)) return {};
    const QStringList words = destination.split(QLatin1Char(' '));
    return PhoneHolder{words.value(1),
                       words.size() == 4 && words[2] == QLatin1String("da") ? words[3] : QString()};
}

bool isPhoneDestination(const QString &destination)
{
    return destination.startsWith(QLatin1String("telefono "));
}

std::optional<CardInPlay> PrintRun::dealToPhone(const QString &phone, const QString &address,
                                                CardDealer dealer)
{
    if (m_printing) return std::nullopt;
    CardCode code;
    // A series met again (one in 2^25) would give a card in play already: the next one is taken.
    do {
        if (m_phoneSet.next > cardsPerSet || m_phoneSet.dealer != dealer)
            m_phoneSet = PhoneSet{m_newSeries(), 1, dealer};
        code = CardCode{m_phoneSet.series, m_phoneSet.next++, dealer};
    } while (m_inPlay.contains(code));
    const CardInPlay card{code, m_inPlay.nextNumber(), carta_da_codice(code.series, code.place, dealer)};
    m_inPlay.add(card);
    m_summary = QStringLiteral("Cartella %1 data al %2, serie %3")
                    .arg(card.number)
                    .arg(phoneDestination(phone, address), formatCardCode(code).left(5));
    emit runPrinted(PrintedRun{
        QDateTime::currentDateTime(), phoneDestination(phone, address), false, dealer, {card}, false});
    return card;
}
