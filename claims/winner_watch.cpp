#include "claims/winner_watch.h"

#include <algorithm>

void WinnerWatch::addCard(const CardCode &code, const Cartella &card, const QList<int> &drawOrder)
{
    const qsizetype index = m_cards.size();
    Watched w;
    w.code = code;
    std::array<int, 91> rowOf{};
    for (int r = 1; r <= Cartella::righe; ++r) {
        for (int c = 1; c <= Cartella::colonne; ++c) {
            const int n = valore(card.cella(r, c));
            if (n < 1 || n > 90 || rowOf[std::size_t(n)] != 0) continue;
            ++w.onCard;
            rowOf[std::size_t(n)] = r;
            m_where[std::size_t(n)].append({index, r - 1});
        }
    }
    // Caught up in draw order, so its moments are those of the draw.
    std::bitset<91> seen;
    for (int k = 0; k < m_followed && k < drawOrder.size(); ++k) {
        const int n = drawOrder[k];
        if (n < 1 || n > 90 || seen[std::size_t(n)]) continue;
        seen.set(std::size_t(n));
        if (rowOf[std::size_t(n)] != 0) mark(w, rowOf[std::size_t(n)] - 1, PrizeMoment{k + 1, n});
    }
    m_cards << w;
}

void WinnerWatch::mark(Watched &w, int row, const PrizeMoment &now)
{
    int bestRow = *std::max_element(w.outPerRow.begin(), w.outPerRow.end());
    const int inRow = ++w.outPerRow[std::size_t(row)];
    ++w.out;
    if (inRow > bestRow && inRow >= 2 && inRow <= 5) w.moments[std::size_t(inRow - 1)] = now;
    bestRow = std::max(bestRow, inRow);
    if (w.out == w.onCard) {
        w.moments[std::size_t(Prize::Tombola)] = now;
        w.best = Prize::Tombola;
    } else if (bestRow >= 2) {
        w.best = Prize(std::min(bestRow, 5) - 1);
    }
}

quint64 WinnerWatch::fingerprint(const QList<int> &drawOrder, qsizetype count)
{
    // FNV-1a over the numbers, their count first.
    quint64 h = 14695981039346656037ull;
    auto take = [&h](quint64 v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    take(quint64(count));
    for (qsizetype k = 0; k < count; ++k)
        take(quint64(quint32(drawOrder[k])));
    return h;
}

void WinnerWatch::numberDrawn(int number)
{
    ++m_followed;
    // A number drawn again, or no number, counts for nothing, as on paper.
    if (number < 1 || number > 90 || m_out[std::size_t(number)]) return;
    m_out.set(std::size_t(number));
    const PrizeMoment now{m_followed, number};
    for (const auto &[cardIndex, row] : std::as_const(m_where[std::size_t(number)]))
        mark(m_cards[cardIndex], row, now);
}

void WinnerWatch::follow(const QList<int> &drawOrder)
{
    const qsizetype count = drawOrder.size();
    if (count == m_followed + 1 && fingerprint(drawOrder, m_followed) == m_fingerprint) {
        numberDrawn(drawOrder.last());
        m_fingerprint = fingerprint(drawOrder, count);
        return;
    }
    m_followed = 0;
    m_out.reset();
    for (Watched &w : m_cards) {
        w.best = Prize::None;
        w.moments = {};
        w.outPerRow = {};
        w.out = 0;
    }
    for (const int n : drawOrder)
        numberDrawn(n);
    m_fingerprint = fingerprint(drawOrder, count);
}

QList<qsizetype> WinnerWatch::holding(Prize prize) const
{
    QList<qsizetype> found;
    if (prize == Prize::None) return found;
    for (qsizetype i = 0; i < m_cards.size(); ++i)
        if (m_cards[i].best >= prize) found << i;
    return found;
}
