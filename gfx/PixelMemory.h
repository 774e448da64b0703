#pragma once
// Memory for a surface's pixels that someone other than the heap provides,
// such as a segment the display server reads directly. The surface owns it
// and drops it when it goes; a presenter that made it finds it again
// through Surface::Memory.

#include <cstddef>
#include <functional>
#include <memory>

namespace showsaver::gfx {

class PixelMemory {
public:
    virtual ~PixelMemory() = default;
    // At least the bytes asked for, zeroed, aligned for uint32_t.
    virtual void* Data() = 0;
};

// Makes memory of `bytes` bytes, or null when it cannot: the surface then
// takes its pixels from the heap.
using PixelSource = std::function<std::unique_ptr<PixelMemory>(size_t bytes)>;

} // namespace showsaver::gfx
