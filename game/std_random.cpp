#include "game/std_random.h"

#include <chrono>

StdRandom::StdRandom()
{
    std::random_device device;
    mix((std::uint64_t(device()) << 32) ^ device());
}

double StdRandom::next()
{
    // 53 random bits: every value is exactly representable and below 1.
    return double(m_engine() >> 11) * 0x1.0p-53;
}

void StdRandom::reseed()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    mix(std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

void StdRandom::mix(std::uint64_t entropy)
{
    // The old state contributes two outputs, so the same clock reading never restarts a sequence.
    const std::uint64_t a = m_engine();
    const std::uint64_t b = m_engine();
    ++m_reseeds;
    std::seed_seq seq{std::uint32_t(a),        std::uint32_t(a >> 32), std::uint32_t(b),
                      std::uint32_t(b >> 32),  std::uint32_t(entropy), std::uint32_t(entropy >> 32),
                      std::uint32_t(m_reseeds)};
    m_engine.seed(seq);
}
