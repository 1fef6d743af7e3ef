#include "evening/stored_rows.h"

#include <QStringList>

namespace rows
{

QString timeText(const QDateTime &at)
{
    return at.toString(Qt::ISODateWithMs);
}

std::optional<QDateTime> parseTime(const QString &text)
{
    const QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!at.isValid()) return std::nullopt;
    return at;
}

QString cellsText(const Cartella &card)
{
    QStringList cells;
    for (int r = 1; r <= Cartella::righe; ++r)
        for (int c = 1; c <= Cartella::colonne; ++c)
            cells << QString::number(valore(card.cella(r, c)));
    return cells.join(QLatin1Char(','));
}

std::optional<Cartella> parseCells(const QString &text)
{
    const QStringList cells = text.split(QLatin1Char(','));
    if (cells.size() != Cartella::righe * Cartella::colonne) return std::nullopt;
    Cartella card;
    QList<int> seen;
    for (int r = 1; r <= Cartella::righe; ++r) {
        int inRow = 0;
        for (int c = 1; c <= Cartella::colonne; ++c) {
            bool ok = false;
            const int n = cells[(r - 1) * Cartella::colonne + (c - 1)].toInt(&ok);
            if (!ok || n < 0 || n > 90) return std::nullopt;
            if (n == 0) continue;
            if (colonna_di(n) != c || seen.contains(n)) return std::nullopt;
            seen << n;
            ++inRow;
            card.cella(r, c) = QString::number(n);
        }
        if (inRow > massimo_per_riga) return std::nullopt;
    }
    if (seen.isEmpty()) return std::nullopt;
    return card;
}

QString codeText(const CardCode &code)
{
    return formatCardCode(code);
}

std::optional<CardCode> parseCode(const QString &text)
{
    const CodeReading reading = parseCardCode(text);
    if (reading.error != CodeError::None || formatCardCode(reading.code) != text) return std::nullopt;
    return reading.code;
}

QString numbersText(const QList<int> &numbers)
{
    QStringList out;
    for (const int n : numbers)
        out << QString::number(n);
    return out.join(QLatin1Char(' '));
}

std::optional<QList<int>> parseNumbers(const QString &text)
{
    QList<int> out;
    if (text.isEmpty()) return out;
    for (const QString &part : text.split(QLatin1Char(' '))) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || n < 1 || n > 90 || (!out.isEmpty() && n <= out.last())) return std::nullopt;
        out << n;
    }
    if (out.size() > 15) return std::nullopt;
    return out;
}

} // namespace rows
