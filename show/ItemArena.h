#pragma once
// The memory a show's items are made in: a few large blocks that items are
// carved from one after the other and that are given back all at once. A
// show of ten thousand small items then costs a handful of allocations
// instead of one per item. The arena only hands out memory; whoever makes
// an object in it destroys that object before the arena is released.

#include <cstddef>
#include <memory>
#include <vector>

namespace showsaver {

class ItemArena {
public:
    // The first block; each later one doubles, up to kLargestBlock.
    static constexpr size_t kFirstBlock = size_t{16} << 10;
    static constexpr size_t kLargestBlock = size_t{1} << 20;

    ItemArena() = default;
    ItemArena(const ItemArena&) = delete;
    ItemArena& operator=(const ItemArena&) = delete;

    // `size` bytes aligned to `alignment` (a power of two, at most that of
    // max_align_t), valid until Release. Throws std::bad_alloc as new does.
    void* Allocate(size_t size, size_t alignment) {
        size_t at = (m_used + alignment - 1) & ~(alignment - 1);
        if (at + size > m_capacity) return AllocateInNewBlock(size);
        m_used = at + size;
        return m_current + at;
    }
    // Gives every block back.
    void Release();

private:
    void* AllocateInNewBlock(size_t size);

    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    std::byte* m_current = nullptr;
    size_t m_used = 0;
    size_t m_capacity = 0;
    size_t m_nextBlock = kFirstBlock;
};

} // namespace showsaver
