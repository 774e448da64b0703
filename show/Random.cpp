#include "show/Random.h"

#include <ctime>

namespace showsaver {

uint32_t CurrentTimeSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

int32_t TimeSeed() { return CRand(CurrentTimeSeconds()).Next(); }

void RangeRandom::Seed(int32_t seed) {
    m_low = 0;
    m_high = CRand::kMax;
    m_scale = 1.0;
    if (seed == 0) seed = static_cast<int32_t>(CurrentTimeSeconds());
    m_seed = seed;
    m_rand.Seed(static_cast<uint32_t>(seed));
    m_rand.Seed((static_cast<uint32_t>(seed) << 8) | (static_cast<uint32_t>(m_rand.Next()) & 0xFF));
}

bool RangeRandom::SetRange(int32_t low, int32_t high) {
    if (low == 0 && high == 0) {
        m_low = 0;
        m_high = CRand::kMax;
    } else if (low >= high) {
        return false;
    } else {
        m_low = low;
        m_high = high;
    }
    if (m_low < m_high)
        m_scale = (static_cast<double>(m_high) + 1.0 - m_low) / CRand::kMax;
    return true;
}

int32_t RangeRandom::Next() {
    // Wide ranges can pass the int32 limits; C++20 narrowing wraps.
    return static_cast<int32_t>(static_cast<int64_t>(m_rand.Next() * m_scale) + m_low);
}

} // namespace showsaver
