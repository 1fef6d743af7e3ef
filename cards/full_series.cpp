#include "cards/full_series.h"

#include "game/number_pool.h"

#include <algorithm>
#include <numeric>

namespace
{

constexpr int cardCount = 6;
constexpr int rows = Cartella::righe;
constexpr int columns = Cartella::colonne;

using Hand = std::array<int, massimo_per_cartella>;
using Hands = std::array<Hand, cardCount>;
using ColumnCounts = std::array<int, columns>;

// About one shuffle in 38 deals a series three rows can take: a generator that fails this many
// times in a row is broken, and must not hang the print run.
constexpr int maxShuffles = 1000;

// Deals a fresh shuffle of 1..90, picked as genera_tombola picks, in blocks of fifteen. False as
// soon as a card would get a fourth number in one column.
bool dealShuffle(Hands &hands, const std::function<double()> &nextUnit)
{
    std::array<int, 90> rest{};
    std::iota(rest.begin(), rest.end(), 1);
    int left = 90;
    ColumnCounts inColumn{};
    for (int i = 0; i < 90; ++i) {
        if (i % massimo_per_cartella == 0) inColumn.fill(0);
        const auto j = std::size_t(pesca_indice(nextUnit(), left) - 1);
        const int number = rest[j];
        std::copy(rest.begin() + std::ptrdiff_t(j) + 1, rest.begin() + left,
                  rest.begin() + std::ptrdiff_t(j));
        --left;
        if (++inColumn[std::size_t(colonna_di(number) - 1)] > rows) return false;
        hands[std::size_t(i / massimo_per_cartella)][std::size_t(i % massimo_per_cartella)] = number;
    }
    return true;
}

// The series of a broken generator: number i + 1 to card i mod 6, at most two of a column a card.
void dealInTurn(Hands &hands)
{
    for (int i = 0; i < 90; ++i)
        hands[std::size_t(i % cardCount)][std::size_t(i / cardCount)] = i + 1;
}

// The rows a column of k numbers can take, as masks (bit r for row r + 1), for k = 0..3; in a
// fixed order, since a pick walks them.
constexpr std::array<std::array<int, 3>, rows + 1> rowChoices{{{0}, {1, 2, 4}, {3, 5, 6}, {7}}};
constexpr std::array<int, rows + 1> choiceCount{1, 3, 3, 1};

// How many ways the columns from c on can be laid out on a card whose rows hold a, b and d numbers,
// every row ending with five; d follows from a, b and the numbers of the columns before c.
class LayoutCount
{
public:
    explicit LayoutCount(const ColumnCounts &counts)
    {
        std::array<int, columns + 1> before{};
        for (int c = 0; c < columns; ++c)
            before[std::size_t(c + 1)] = before[std::size_t(c)] + counts[std::size_t(c)];
        at(columns, massimo_per_riga, massimo_per_riga) = 1;
        for (int c = columns - 1; c >= 0; --c) {
            for (int a = 0; a <= massimo_per_riga; ++a) {
                for (int b = 0; b <= massimo_per_riga; ++b) {
                    const int d = before[std::size_t(c)] - a - b;
                    if (d < 0 || d > massimo_per_riga) continue;
                    const auto k = std::size_t(counts[std::size_t(c)]);
                    int sum = 0;
                    for (int i = 0; i < choiceCount[k]; ++i)
                        sum += after(c, a, b, d, rowChoices[k][std::size_t(i)]);
                    at(c, a, b) = sum;
                }
            }
        }
    }

    int ways(int c, int a, int b) const { return m_ways[std::size_t(c)][std::size_t(a)][std::size_t(b)]; }

    // The ways left once column c's numbers go to the rows of `mask` (bit r for row r + 1).
    int after(int c, int a, int b, int d, int mask) const
    {
        a += mask & 1;
        b += (mask >> 1) & 1;
        d += (mask >> 2) & 1;
        if (a > massimo_per_riga || b > massimo_per_riga || d > massimo_per_riga) return 0;
        return ways(c + 1, a, b);
    }

private:
    int &at(int c, int a, int b) { return m_ways[std::size_t(c)][std::size_t(a)][std::size_t(b)]; }
    std::array<std::array<std::array<int, massimo_per_riga + 1>, massimo_per_riga + 1>, columns + 1> m_ways{};
};

// The card of a hand: for each column, one of its layouts weighted by how many ways each leaves
// for the columns after it, so every layout of the hand is equally likely. Never stuck: with at
// most three a column and fifteen in all, three rows of five always fit.
Cartella layOut(Hand hand, const std::function<double()> &nextUnit)
{
    std::sort(hand.begin(), hand.end());
    ColumnCounts counts{};
    for (const int n : hand)
        ++counts[std::size_t(colonna_di(n) - 1)];
    const LayoutCount count(counts);

    Cartella card;
    std::array<int, rows> inRow{};
    std::size_t next = 0; // sorted, the hand runs through the columns in order
    for (int c = 0; c < columns; ++c) {
        int pick = pesca_indice(nextUnit(), count.ways(c, inRow[0], inRow[1])) - 1;
        const auto k = std::size_t(counts[std::size_t(c)]);
        for (int i = 0; i < choiceCount[k]; ++i) {
            const int mask = rowChoices[k][std::size_t(i)];
            const int w = count.after(c, inRow[0], inRow[1], inRow[2], mask);
            if (pick >= w) {
                pick -= w;
                continue;
            }
            for (int r = 0; r < rows; ++r) {
                if (!(mask & (1 << r))) continue;
                card.cella(r + 1, c + 1) = QString::number(hand[next++]);
                ++inRow[std::size_t(r)];
            }
            break;
        }
    }
    return card;
}

} // namespace

CardSet dealFullSeries(const std::function<double()> &nextUnit)
{
    Hands hands{};
    for (int shuffles = 1; !dealShuffle(hands, nextUnit); ++shuffles) {
        if (shuffles == maxShuffles) {
            dealInTurn(hands);
            break;
        }
    }
    CardSet set;
    for (std::size_t p = 0; p < set.size(); ++p)
        set[p] = layOut(hands[p], nextUnit);
    return set;
}
