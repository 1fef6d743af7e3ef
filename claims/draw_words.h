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
