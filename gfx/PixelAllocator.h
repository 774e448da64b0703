#pragma once
// The allocator of large pixel buffers. A full-screen surface is megabytes
// of fresh memory, and touching it the first time costs one page fault per
// 4 KiB page: on a virtual machine that is most of the time a full-screen
// picture takes to show. Buffers of 2 MiB and more are therefore aligned to
// 2 MiB and marked for transparent huge pages, which the kernel then maps
// a few faults at a time. Smaller buffers come from the usual heap.

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace showsaver::gfx {

template <class T>
class PixelAllocator {
public:
    using value_type = T;

    static constexpr size_t kHugePage = size_t{2} << 20;

    PixelAllocator() noexcept = default;
    template <class U>
    PixelAllocator(const PixelAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        size_t bytes = count * sizeof(T);
        if (bytes < kHugePage) {
            if (void* p = std::malloc(bytes ? bytes : 1)) return static_cast<T*>(p);
            throw std::bad_alloc();
        }
        size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
        void* p = std::aligned_alloc(kHugePage, rounded);
        if (!p) throw std::bad_alloc();
        // Only advice: without huge pages the buffer works as any other.
        madvise(p, rounded, MADV_HUGEPAGE);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { std::free(p); }

    template <class U>
    bool operator==(const PixelAllocator<U>&) const noexcept { return true; }
};

} // namespace showsaver::gfx
