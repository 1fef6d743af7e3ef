#include "cards/print_run.h"

#include "cards/card_sheet.h"

#include <QDate>
#include <QLocale>
#include <cmath>

PrintRun::PrintRun(PrinterPort &printer, std::function<quint32()> newSeries)
    : m_printer(printer), m_newSeries(std::move(newSeries))
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
    m_printing = true;
    QString why;
    std::unique_ptr<CardCanvas> canvas;
    if (toPdf) {
        const QString file = chooseFile ? chooseFile() : QString();
        if (file.isEmpty()) {
            m_printing = false;
            return std::nullopt;
        }
        canvas = m_printer.openPdf(file, &why);
    } else {
        canvas = m_printer.open(m_documentName, &why);
    }
    if (canvas) {
        const QString oggi = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
        // The series of each set, in order: card k is at place (k - 1) % 6 + 1 of set (k - 1) / 6.
        QList<quint32> series;
        const auto newSeries = [&] {
            series << m_newSeries();
            return series.last();
        };
        if (stampa_cartelle(record.num_cartelle, record.numeri_estratti, record.conta_cartelle, newSeries,
                            *canvas, oggi, &why, dealer)) {
            why.clear();
            for (int k = 0; k < record.num_cartelle; ++k)
                m_inPlay.add({series.value(k / cardsPerSet), k % cardsPerSet + 1, dealer});
        } else if (why.isEmpty())
            why = QStringLiteral("La stampa delle cartelle non è riuscita.");
    }
    m_printing = false;
    if (why.isEmpty()) return std::nullopt;
    return Notice{why, QStringLiteral("Stampa delle cartelle"), Notice::Kind::Error};
}
