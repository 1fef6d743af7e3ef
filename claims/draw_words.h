#pragma once
// How the prize desk writes draws and cards in its lines.

#include "cards/card_code.h"

#include <QList>
#include <QString>
#include <QStringList>

// "12ª": the ordinal of a draw as the window writes it.
inline QString nth(int draw)
{
    return QString::number(draw) + QStringLiteral("ª");
}

// A card's code that a line never breaks: its blank and hyphen made non-breaking.
inline QString unbroken(QString code)
{
    return code.replace(QLatin1Char(' '), QChar(0xA0)).replace(QLatin1Char('-'), QChar(0x2011));
}

// "cartella 7KQ3M-4 Y", "cartelle A, B e altre 3".
inline QString cardList(const QStringList &codes, int shown = 3)
{
    QString text = (codes.size() == 1 ? QStringLiteral("cartella ") : QStringLiteral("cartelle ")) +
                   codes.mid(0, shown).join(QStringLiteral(", "));
    if (codes.size() > shown) text += QStringLiteral(" e altre %1").arg(codes.size() - shown);
    return text;
}

inline QString cardList(const QList<CardCode> &codes)
{
    QStringList names;
    for (const CardCode &code : codes)
        names << formatCardCode(code);
    return cardList(names);
}
