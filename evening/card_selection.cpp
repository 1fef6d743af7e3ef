#include "evening/card_selection.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace
{
QString quotedItem(const QString &text)
{
    return QStringLiteral("«%1»").arg(text);
}
} // namespace

std::optional<QList<int>> selectCards(const StoredEvening &e, const QString &text, QString *why)
{
    auto fail = [why](const QString &reason) -> std::optional<QList<int>> {
        if (why) *why = reason;
        return std::nullopt;
    };
    QSet<int> numbers;
    for (const StoredRun &r : e.runs)
        for (const CardInPlay &c : r.cards)
            numbers.insert(c.number);
    static const QRegularExpression range(QStringLiteral("^da\\s*(\\d{1,7})\\s*a\\s*(\\d{1,7})$"));
    static const QRegularExpression single(QStringLiteral("^(\\d{1,7})$"));
    static const QRegularExpression run(QStringLiteral("^(stampa|consegna)\\s*(\\d{1,5})$"));
    QSet<int> chosen;
    const QStringList items = text.split(QRegularExpression(QStringLiteral("[,;\\n]")), Qt::SkipEmptyParts);
    for (const QString &raw : items) {
        const QString it = raw.trimmed().toLower();
        if (it.isEmpty()) continue;
        QSet<int> named;
        if (const auto m = range.match(it); m.hasMatch()) {
            const int from = m.captured(1).toInt(), to = m.captured(2).toInt();
            if (from > to)
                return fail(
                    QStringLiteral("%1: il primo numero supera il secondo.").arg(quotedItem(raw.trimmed())));
            for (const int n : std::as_const(numbers))
                if (n >= from && n <= to) named.insert(n);
        } else if (const auto s = single.match(it); s.hasMatch()) {
            if (numbers.contains(s.captured(1).toInt())) named.insert(s.captured(1).toInt());
        } else if (const auto r = run.match(it); r.hasMatch()) {
            const int k = r.captured(2).toInt();
            if (k >= 1 && k <= e.runs.size())
                for (const CardInPlay &c : e.runs[k - 1].cards)
                    named.insert(c.number);
        } else {
            const CodeReading code = parseCardCode(it);
            if (code.error == CodeError::None)
                for (const StoredRun &rr : e.runs)
                    for (const CardInPlay &c : rr.cards)
                        if (c.code == code.code) named.insert(c.number);
        }
        if (named.isEmpty())
            return fail(QStringLiteral("%1 non indica nessuna cartella di questa serata.")
                            .arg(quotedItem(raw.trimmed())));
        chosen.unite(named);
    }
    QList<int> out;
    for (const int n : std::as_const(chosen))
        if (!e.isVoid(n)) out << n;
    std::sort(out.begin(), out.end());
    if (out.isEmpty())
        return fail(chosen.isEmpty() ? QStringLiteral("Nessuna cartella indicata.")
                                     : QStringLiteral("Le cartelle indicate sono già annullate."));
    return out;
}
