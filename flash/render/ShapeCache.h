#pragma once
// Shapes kept as drawn pixels while only their position changes: a shape
// drawn with the same scale, rotation, colour and quarter-pixel phase
// again is copied, not filled and stroked again. A key seen once is only
// noted; its pixels are kept from the second time on, so that a shape that
// turns or grows every frame costs nothing more. Entries no frame used for
// a while go, and the pixels held are bounded.

#include <cstdint>
#include <unordered_map>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

class ShapeCache {
public:
    static constexpr int64_t kMaxPixels = int64_t{16} << 20;   // 64 MB in all
    static constexpr int64_t kMaxShapePixels = 1024 * 1024;    // larger shapes are drawn each time
    static constexpr size_t kMaxEntries = 50'000;
    static constexpr int kPhases = 4;                          // positions per pixel kept apart

    struct Key {
        const void* shape = nullptr;
        double a = 1, b = 0, c = 0, d = 1;
        int phaseX = 0, phaseY = 0;
        ColorTransform color;
        bool operator==(const Key& o) const;
    };
    struct Entry {
        CairoSurfacePtr pixels;   // null while the key was seen only once
        int x = 0, y = 0;         // the pixels' top left against the shape's whole-pixel position
        uint64_t used = 0;
        int seen = 0;             // times looked up
    };

    // Starts a frame: entries unused for the last few frames go.
    void NewFrame();
    // The entry for `key`, made (empty) when new; null when full.
    Entry* Find(const Key& key);
    // Charges `pixels` for an entry about to hold them; false when over budget.
    bool Charge(int64_t pixels);
    void Clear();
    size_t Size() const { return m_entries.size(); }

private:
    struct Hash {
        size_t operator()(const Key& k) const;
    };
    std::unordered_map<Key, Entry, Hash> m_entries;
    int64_t m_pixels = 0;
    uint64_t m_frame = 0;
};

} // namespace showsaver::flash
