#pragma once
// A repeatable RandomPort: a seeded std::mt19937, optionally preceded by a given list of r values.

#include "game/ports.h"
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <vector>

class FakeRandom : public RandomPort
{
public:
    explicit FakeRandom(std::uint32_t seed = 12345) : m_engine(seed) {}

    // The next calls of next() return these values, in order, before the engine takes over again.
    void replay(const std::vector<double> &values)
    {
        m_replay.insert(m_replay.end(), values.begin(), values.end());
    }

    // The values given to replay() and not used yet are dropped.
    void forgetReplay() { m_replay.clear(); }

    double next() override
    {
        ++m_nexts;
        if (!m_replay.empty()) {
            const double r = m_replay.front();
            m_replay.pop_front();
            return r;
        }
        // 32 random bits over 2^32: always below 1.
        return static_cast<double>(m_engine()) / 4294967296.0;
    }

    // Deterministic: the engine just goes on, so the sequence after a reseed still differs.
    void reseed() override
    {
        ++m_reseeds;
        if (onReseed) onReseed();
    }

    int reseeds() const { return m_reseeds; }
    int nexts() const { return m_nexts; }

    // Called on every reseed, e.g. to mark the moment in another fake's log.
    std::function<void()> onReseed;

private:
    std::mt19937 m_engine;
    std::deque<double> m_replay;
    int m_reseeds = 0;
    int m_nexts = 0;
};
