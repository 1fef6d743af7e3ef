#pragma once
// The pieces the verbale is made of, shared by its parts (verbale.cpp, verbale_register.cpp): the
// Italian texts of times and amounts, and the list of blocks being built.

#include "claims/prize_pot.h"
#include "evening/verbale.h"

#include <QLocale>
#include <QStringList>

namespace verbale
{

inline const QLocale &italian()
{
    static const QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

inline QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

inline QString clock(const QDateTime &at)
{
    return italian().toString(at.time(), QStringLiteral("HH:mm:ss"));
}

// An amount that no line break parts from its currency: "12,00 €".
inline QString money(qint64 cents)
{
    return esc(euro(cents)).replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

// A card's code kept whole on its line.
inline QString code(const QString &text)
{
    return QStringLiteral("<span style=\"white-space: nowrap\">%1</span>").arg(esc(text));
}

class Blocks
{
public:
    void heading(const QString &text, int level = 3)
    {
        m_out << VerbaleBlock{QStringLiteral("<h%1>%2</h%1>").arg(level).arg(text), {}, {}, {}, true};
    }
    void paragraph(const QString &html)
    {
        m_out << VerbaleBlock{QStringLiteral("<p>%1</p>").arg(html), {}, {}, {}, false};
    }
    // A table: each row a piece of its own, the header repeated where a page breaks it.
    void table(const QList<int> &columns, const QStringList &header, const QList<QStringList> &rows)
    {
        for (const QStringList &row : rows)
            m_out << VerbaleBlock{{}, row, columns, header};
    }
    // `cells` in rows of `across`, without a header.
    void grid(const QStringList &cells, int across)
    {
        QList<QStringList> rows;
        for (qsizetype i = 0; i < cells.size(); i += across) {
            QStringList row;
            for (int c = 0; c < across; ++c)
                row << (i + c < cells.size() ? cells[i + c] : QString());
            rows << row;
        }
        table(QList<int>(across, 100 / across), {}, rows);
    }
    QList<VerbaleBlock> take() { return std::move(m_out); }

private:
    QList<VerbaleBlock> m_out;
};

// The cards that played game `game`: printed before its first number, less those declared void
// before it.
int cardsPlaying(const StoredEvening &e, int game);
// The register that opens the verbale: the cards put in play by run and series, their numbers,
// how many were declared void and how many sold, and the takings.
void registerSection(Blocks &b, const StoredEvening &e);
// The unsold cards declared void, each declaration with its cards.
void voidedSection(Blocks &b, const StoredEvening &e);
// A game's sealed draw: its seal, and its secret once revealed.
void sealParagraph(Blocks &b, const StoredEvening &e, const StoredGame &game);
// The prizes handed over, one row per prize won.
void deliveriesSection(Blocks &b, const StoredEvening &e);

} // namespace verbale
