#include "show/ItemArena.h"

#include <algorithm>

namespace showsaver {

void ItemArena::Release() {
    m_blocks.clear();
    m_current = nullptr;
    m_used = m_capacity = 0;
    m_nextBlock = kFirstBlock;
}

void* ItemArena::AllocateInNewBlock(size_t size) {
    // Blocks come from new[], so their start suits any fundamental alignment.
    const size_t capacity = std::max(size, m_nextBlock);
    m_blocks.reserve(m_blocks.size() + 1);
    m_blocks.push_back(std::make_unique_for_overwrite<std::byte[]>(capacity));
    m_current = m_blocks.back().get();
    m_capacity = capacity;
    m_used = size;
    m_nextBlock = std::min(kLargestBlock, m_nextBlock * 2);
    return m_current;
}

} // namespace showsaver
