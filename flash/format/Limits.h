#pragma once
// What a movie may ask of us. A hostile file hits one of these and loses
// the tag (or the whole movie), never our memory or our time.

#include <cstddef>
#include <cstdint>

namespace showsaver::flash {

struct Limits {
    static constexpr uint64_t kBaseMemory = uint64_t{64} << 20;   // plus 16 × the file's size
    static constexpr uint64_t kMemoryPerFileByte = 16;
    static constexpr int kMaxSpriteNesting = 16;        // sprites placed inside sprites
    static constexpr size_t kMaxPlayheads = 10'000;     // placed sprites alive at once
    static constexpr size_t kMaxDisplayObjects = 100'000;  // in all display lists at once
    static constexpr int kMaxCharacterDepth = 32;       // recursion through characters while drawing
    static constexpr size_t kMaxEdgesPerShape = 200'000;
    static constexpr size_t kMaxEdgesPerFrame = 2'000'000;
    static constexpr size_t kMaxObjectsPerFrame = 200'000;  // display objects drawn in one paint
    static constexpr int kMaxMaskNesting = 4;           // clip-depth masks inside masks
    static constexpr size_t kMaxGradientStops = 15;
    static constexpr int kMaxBitmapSide = 16384;
    static constexpr int64_t kMaxBitmapPixels = int64_t{64} << 20;
    static constexpr int kMaxVideoSide = 4096;
    static constexpr int64_t kMaxVideoPixels = int64_t{1} << 23;   // 3840 × 2160 fits
    static constexpr int kMaxVideoPlaybacks = 32;       // placed videos decoding at once
    static constexpr size_t kMaxActionBlocksPerStep = 10'000;  // DoAction blocks run per timeline step
    static constexpr size_t kMaxActionsPerStep = 200'000;      // AVM1 actions run per step, branches included
    static constexpr int kMaxGotosPerStep = 64;
};

// Counts the bytes a movie holds once loaded. Charge before allocating; a
// charge the budget cannot cover is refused and charges nothing.
class MemoryBudget {
public:
    explicit MemoryBudget(uint64_t fileSize)
        : m_limit(Limits::kBaseMemory + Limits::kMemoryPerFileByte * fileSize) {}
    bool Charge(uint64_t bytes) {
        if (bytes > m_limit - m_used) return false;
        m_used += bytes;
        return true;
    }
    // Whether `bytes` more would still fit, without charging them.
    bool Affords(uint64_t bytes) const { return bytes <= m_limit - m_used; }
    uint64_t Used() const { return m_used; }
    uint64_t Limit() const { return m_limit; }

private:
    uint64_t m_limit;
    uint64_t m_used = 0;
};

} // namespace showsaver::flash
