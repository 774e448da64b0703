#pragma once
// Pixels of shapes kept while only the shape's position changes, of two
// kinds. A whole layer drawn (fills and lines) is kept per scale, rotation,
// colour and the fraction of a pixel its origin lies at, rounded to a
// `kPhases`th of a pixel; drawn again at the same fraction it is copied
// from them by whole pixels. A gradient or bitmap fill's paint is kept per
// scale, rotation and colour, and fills an outline drawn where it is.
// A key seen once is only noted; its pixels are kept from the second time
// on, so that a shape that turns or grows every frame costs nothing more.
// Entries no frame used for a while go, and the pixels held are bounded.

#include <cstdint>
#include <unordered_map>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

class ShapeCache {
public:
    static constexpr int64_t kMaxPixels = int64_t{16} << 20;   // 64 MB in all
    static constexpr int64_t kMaxShapePixels = 1024 * 1024;    // larger fills are painted each time
    static constexpr size_t kMaxEntries = 50'000;
    // A kept layer lies at most half of 1/kPhases of a pixel from where it
    // is drawn: an edge's coverage moves by at most 255 / kPhases / 2 per
    // axis.
    static constexpr int kPhases = 8;

    struct Key {
        const void* fill = nullptr;   // a FillStyle, or a ShapeLayer, in the movie
        double a = 1, b = 0, c = 0, d = 1;
        ColorTransform color;
        int phaseX = -1, phaseY = -1;   // a layer's origin in kPhases of a pixel; -1 for a paint
        bool operator==(const Key& o) const;
    };
    struct Entry {
        CairoSurfacePtr pixels;   // null while the key was seen only once
        int x = 0, y = 0;         // the pixels' top left against the shape's whole-pixel origin on the device
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
    // Draws taken from kept pixels since the cache was made.
    uint64_t Hits() const { return m_hits; }
    void CountHit() { ++m_hits; }

private:
    struct Hash {
        size_t operator()(const Key& k) const;
    };
    std::unordered_map<Key, Entry, Hash> m_entries;
    int64_t m_pixels = 0;
    uint64_t m_frame = 0;
    uint64_t m_hits = 0;
    uint64_t m_pruned = 0;   // the frame notes were last dropped to make room
};

} // namespace showsaver::flash
