#pragma once
// A shared library opened when it is first needed. The media libraries only
// some shows use (video decoding, the MIDI synthesizer) are not linked into
// the engine: a show without them never maps them, and start-up does not pay
// for their trees of dependencies. Each family resolves a table of function
// pointers from its libraries once, on the first medium of its kind.
//
// An opened library stays loaded for the life of the process: pointers into
// it may be held anywhere, and closing it would buy nothing.

#include "platform/sys/Result.h"

namespace showsaver::sys {

class SharedLibrary {
public:
    // Opens the library by its soname, found as the dynamic loader finds a
    // linked one. The error is one line: the loader's own reason.
    static Result<SharedLibrary> Open(const char* soname);

    // Sets `function` to the library's symbol `name`; false when the library
    // has no such symbol.
    template <typename Function>
    bool Resolve(Function& function, const char* name) const {
        function = reinterpret_cast<Function>(Symbol(name));
        return function != nullptr;
    }

    void* Symbol(const char* name) const;

private:
    explicit SharedLibrary(void* handle) : m_handle(handle) {}
    void* m_handle;
};

} // namespace showsaver::sys
