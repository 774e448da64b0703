#pragma once
// The pending pieces of a random dissolve: positions 0 … n − 1 in list
// order, from which the dissolve repeatedly takes "the v-th entry still
// pending" and removes it. A linked list walked from its head makes a
// dissolve of n pieces cost n² ⁄ 2 steps, which is minutes for the 129,600
// blocks of a full-screen 4 × 4 dissolve; this keeps a Fenwick tree of
// pending counts over the positions instead, so finding and removing the
// v-th pending entry each take O(log n).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace showsaver {

class PendingList {
public:
    // Positions 0 … count − 1, all pending. Throws std::bad_alloc.
    explicit PendingList(uint32_t count) : m_tree(static_cast<size_t>(count) + 1), m_remaining(count) {
        // Every position holds 1: node i covers the (i & -i) positions that end at i.
        for (uint32_t i = 1; i <= count; ++i) m_tree[i] = i & (0u - i);
        m_top = 1;
        while (m_top * 2 <= count) m_top *= 2;
    }

    uint32_t Size() const { return m_remaining; }
    bool Empty() const { return m_remaining == 0; }

    // Removes the v-th pending position (0-based, v < Size()) and returns it.
    uint32_t TakeAt(uint32_t v) {
        uint32_t position = Select(v);
        for (size_t i = position + 1; i < m_tree.size(); i += i & (0u - i)) --m_tree[i];
        --m_remaining;
        return position;
    }

    void Clear() {
        m_tree.assign(m_tree.size(), 0);
        m_remaining = 0;
    }

private:
    // The position of the v-th pending entry: descends the tree by powers of
    // two, keeping the largest prefix that holds no more than v pending
    // entries.
    uint32_t Select(uint32_t v) const {
        size_t at = 0;
        uint32_t rest = v;
        for (size_t step = m_top; step != 0; step /= 2) {
            size_t next = at + step;
            if (next < m_tree.size() && m_tree[next] <= rest) {
                at = next;
                rest -= m_tree[next];
            }
        }
        return static_cast<uint32_t>(at);   // tree index at + 1, i.e. position at
    }

    std::vector<uint32_t> m_tree;   // 1-based Fenwick tree of pending counts
    uint32_t m_remaining;
    size_t m_top = 1;               // the largest power of two not above the count
};

} // namespace showsaver
