#pragma once
// The show's random numbers: a 15-bit linear congruential generator of the
// classic C runtime form, and the range generator the items draw from.
// Every generator is an object of its own; nothing is shared between
// threads or shows.

#include <cstdint>

namespace showsaver {

// rand()/srand() of the classic C runtime: 0 to 32767, explicitly seeded.
class CRand {
public:
    static constexpr int kMax = 32767;
    explicit CRand(uint32_t seed = 1) : m_state(seed) {}
    void Seed(uint32_t seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

// Draws numbers scaled into [low, high]. Next() can return high + 1 when the
// underlying generator returns 32767; every caller guards against that.
class RangeRandom {
public:
    // Seeds the generator; a seed of 0 takes the current time in seconds.
    void Seed(int32_t seed);
    // Both 0: the full 0..32767 range. Fails (bounds unchanged) when a >= b.
    bool SetRange(int32_t low, int32_t high);
    int32_t Next();

    int32_t Low() const { return m_low; }
    int32_t High() const { return m_high; }

private:
    CRand m_rand;
    int32_t m_seed = 0;
    int32_t m_low = 0;
    int32_t m_high = CRand::kMax;
    double m_scale = 1.0;
};

// Seconds since the epoch, as the C runtime's time() gives them.
uint32_t CurrentTimeSeconds();

// The starting point of an item's random colours or paths: the first number
// of a generator seeded with the current second.
int32_t TimeSeed();

} // namespace showsaver
