#pragma once
// The items that use a picture or media item, in the order they were added.
// Most pictures are shown, moved and hidden by a scene or three, and most
// media items played and stopped, so the first few links are kept inside the
// item; only a longer list takes memory of its own.

#include "show/Item.h"

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace showsaver {

class UserLinks {
public:
    static constexpr size_t kInside = 4;

    void Add(Item* user) {
        if (!Outside() && m_count < kInside)
            m_inside[m_count++] = {user};
        else
            AddOutside(user);
    }
    // Makes room for `count` more links before they are added one by one.
    void Reserve(size_t count) {
        if (Size() + count > kInside) MoveOutside(Size() + count);
    }
    size_t Size() const { return Outside() ? m_outside.size() : m_count; }
    std::span<const ItemUserLink> Links() const {
        if (Outside()) return m_outside;
        return {m_inside.data(), m_count};
    }

private:
    // Once `m_outside` has memory, every link lives there.
    bool Outside() const { return m_outside.capacity() > 0; }
    void AddOutside(Item* user) {
        if (!Outside()) MoveOutside(kInside * 2);
        m_outside.push_back({user});
    }
    void MoveOutside(size_t capacity) {
        const bool first = !Outside();
        m_outside.reserve(capacity);
        if (first) m_outside.assign(m_inside.begin(), m_inside.begin() + static_cast<std::ptrdiff_t>(m_count));
        m_count = 0;
    }

    std::array<ItemUserLink, kInside> m_inside{};
    size_t m_count = 0;   // links in m_inside while none are outside
    std::vector<ItemUserLink> m_outside;
};

} // namespace showsaver
