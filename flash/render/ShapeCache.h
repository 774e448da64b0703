#pragma once
// The paints of shapes' gradient and bitmap fills kept as pixels while only
// the shape's position changes: a fill drawn with the same scale, rotation
// and colour again takes its colours from them (moved by the fraction of a
// pixel its position has) instead of working out the gradient at every
// pixel again; the outline is still filled where it is. A key seen once is
// only noted; its pixels are kept from the second time on, so that a shape
// that turns or grows every frame costs nothing more. Entries no frame used for
// a while go, and the pixels held are bounded.

#include <cstdint>
#include <unordered_map>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

class ShapeCache {
public:
    static constexpr int64_t kMaxPixels = int64_t{12} << 20;   // 48 MB in all
    static constexpr int64_t kMaxShapePixels = 1024 * 1024;    // larger fills are painted each time
    static constexpr size_t kMaxEntries = 50'000;

    struct Key {
        const void* fill = nullptr;   // a FillStyle in the movie
        double a = 1, b = 0, c = 0, d = 1;
        ColorTransform color;
        bool operator==(const Key& o) const;
    };
    struct Entry {
        CairoSurfacePtr pixels;   // null while the key was seen only once
        int x = 0, y = 0;         // the pixels' top left against the shape's origin on the device
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
