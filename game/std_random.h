#pragma once
// The program's generator: a 64-bit Mersenne Twister whose reseed mixes the time of day into its
// current state, so two reseeds within one clock tick still part ways.

#include "game/ports.h"
#include <cstdint>
#include <random>

class StdRandom : public RandomPort
{
public:
    StdRandom();
    double next() override;
    void reseed() override;
    // Mixes `entropy` into the state, as reseed() does with the clock.
    void mix(std::uint64_t entropy);

private:
    std::mt19937_64 m_engine;
    std::uint64_t m_reseeds = 0;
};
