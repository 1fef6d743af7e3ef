#pragma once
// Steering the draw: the r values that make it pick chosen numbers.

#include <QList>
#include <vector>

// r values that make the next picks of a draw come out as `numbers`, given the pool order
// (the pool is kept sorted by the compaction, so the position of n is its rank among the rest).
inline std::vector<double> picksFor(const QList<int> &numbers, QList<int> pool = {})
{
    if (pool.isEmpty())
        for (int n = 1; n <= 90; ++n)
            pool << n;
    std::vector<double> rs;
    for (int n : numbers) {
        const int index = int(pool.indexOf(n));
        rs.push_back((index + 0.5) / pool.size());
        pool.removeAt(index);
    }
    return rs;
}
