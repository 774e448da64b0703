#include "flash/render/ShapeCache.h"

#include <bit>
#include <functional>

namespace showsaver::flash {
namespace {

// A movie that loops a short animation meets the same positions again
// after its loop: entries are kept over about two seconds of frames.
constexpr uint64_t kKeepFrames = 48;

size_t Mix(size_t seed, double v) {
    return seed ^ (std::hash<uint64_t>{}(std::bit_cast<uint64_t>(v)) + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

} // namespace

bool ShapeCache::Key::operator==(const Key& o) const {
    const ColorTransform &p = color, &q = o.color;
    return fill == o.fill && phaseX == o.phaseX && phaseY == o.phaseY && a == o.a && b == o.b && c == o.c && d == o.d && p.mr == q.mr && p.mg == q.mg && p.mb == q.mb && p.ma == q.ma && p.ar == q.ar &&
           p.ag == q.ag && p.ab == q.ab && p.aa == q.aa;
}

size_t ShapeCache::Hash::operator()(const Key& k) const {
    size_t h = std::hash<const void*>{}(k.fill) ^ (std::hash<int>{}(k.phaseX * 64 + k.phaseY) << 1);
    for (double v : {k.a, k.b, k.c, k.d, k.color.mr, k.color.mg, k.color.mb,
                     k.color.ma, k.color.ar, k.color.ag, k.color.ab, k.color.aa})
        h = Mix(h, v);
    return h;
}

void ShapeCache::NewFrame() {
    ++m_frame;
    std::erase_if(m_entries, [this](const auto& item) {
        const Entry& e = item.second;
        if (e.used + kKeepFrames >= m_frame) return false;
        if (e.pixels)
            m_pixels -= int64_t{cairo_image_surface_get_width(e.pixels.get())} * cairo_image_surface_get_height(e.pixels.get());
        return true;
    });
}

ShapeCache::Entry* ShapeCache::Find(const Key& key) {
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        // Full: notes of keys not met this frame make room, once a frame,
        // so that shapes turning every frame do not shut out the rest.
        if (m_entries.size() >= kMaxEntries && m_pruned != m_frame) {
            m_pruned = m_frame;
            std::erase_if(m_entries, [this](const auto& item) { return !item.second.pixels && item.second.used != m_frame; });
        }
        if (m_entries.size() >= kMaxEntries) return nullptr;
        it = m_entries.emplace(key, Entry{}).first;
    }
    it->second.used = m_frame;
    ++it->second.seen;
    return &it->second;
}

bool ShapeCache::Charge(int64_t pixels) {
    if (pixels > kMaxPixels - m_pixels) return false;
    m_pixels += pixels;
    return true;
}

void ShapeCache::Clear() {
    m_entries.clear();
    m_pixels = 0;
}

} // namespace showsaver::flash
