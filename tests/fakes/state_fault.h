#pragma once
// The invariants of a game between two events, shared by the harness with a fake window and the
// one with the real window: the pool and the history hold 1 to 90 once each, and a board cell is
// lit (its number as caption, light cyan) exactly when its number is drawn.

#include "game/game_state.h"

#include <QString>
#include <QVector>
#include <functional>

struct CellLook {
    QString caption;
    bool cyan = false;
};

// Empty when `s` and the board agree; otherwise what is wrong. `cell(n)` tells how n's cell looks.
inline QString stateFault(const GameState &s, const std::function<CellLook(int)> &cell)
{
    if (s.quanti_da_estrarre < 0 || s.quanti_da_estrarre > 90)
        return QStringLiteral("quanti_da_estrarre %1").arg(s.quanti_da_estrarre);
    if (s.prossima_estrazione < 1 || s.prossima_estrazione > 91)
        return QStringLiteral("prossima_estrazione %1").arg(s.prossima_estrazione);
    const int d = 90 - s.quanti_da_estrarre;
    QVector<int> seen(91, 0);
    QVector<bool> isDrawn(91, false);
    for (int j = 1; j <= d; ++j) {
        const int v = s.numeri_estratti(j).toInt();
        if (v < 1 || v > 90 || QString::number(v) != s.numeri_estratti(j))
            return QStringLiteral("history entry %1 = '%2'").arg(j).arg(s.numeri_estratti(j));
        ++seen[v];
        isDrawn[v] = true;
    }
    for (int j = 1; j <= s.quanti_da_estrarre; ++j) {
        const int v = s.numeri_da_estrarre(j).toInt();
        if (v < 1 || v > 90)
            return QStringLiteral("pool entry %1 = '%2'").arg(j).arg(s.numeri_da_estrarre(j));
        ++seen[v];
    }
    for (int v = 1; v <= 90; ++v)
        if (seen[v] != 1) return QStringLiteral("number %1 held %2 times").arg(v).arg(seen[v]);
    for (int v = 1; v <= 90; ++v) {
        const CellLook look = cell(v);
        const bool lit = !look.caption.isEmpty();
        if (lit != isDrawn[v] || look.cyan != isDrawn[v] || (lit && look.caption != QString::number(v)))
            return QStringLiteral("cell of %1 lit=%2 cyan=%3 drawn=%4")
                .arg(v)
                .arg(lit)
                .arg(look.cyan)
                .arg(isDrawn[v]);
    }
    return {};
}
