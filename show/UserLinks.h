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
        if (m_outside.empty() && m_count < kInside)
            m_inside[m_count++] = {user};
        else
            AddOutside(user);
    }
    // Makes room for `count` more links before they are added one by one.
    void Reserve(size_t count) {
        if (Size() + count > kInside) MoveOutside(Size() + count);
    }
    size_t Size() const { return m_outside.empty() ? m_count : m_outside.size(); }
    std::span<const ItemUserLink> Links() const {
        if (m_outside.empty()) return {m_inside.data(), m_count};
        return m_outside;
    }

private:
    void AddOutside(Item* user) {
        if (m_outside.empty()) MoveOutside(kInside * 2);
        m_outside.push_back({user});
    }
    // From then on every link lives in `m_outside`.
    void MoveOutside(size_t capacity) {
        m_outside.reserve(capacity);
        if (m_outside.empty()) m_outside.assign(m_inside.begin(), m_inside.begin() + static_cast<std::ptrdiff_t>(m_count));
        m_count = 0;
    }

    std::array<ItemUserLink, kInside> m_inside{};
    size_t m_count = 0;   // links in m_inside while m_outside is empty
    std::vector<ItemUserLink> m_outside;
};

} // namespace showsaver
