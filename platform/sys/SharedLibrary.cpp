#include "platform/sys/SharedLibrary.h"

#include <dlfcn.h>

namespace showsaver::sys {

Result<SharedLibrary> SharedLibrary::Open(const char* soname) {
    // Local: the library's symbols must not stand in for anyone else's.
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        return Error{reason ? reason : std::string(soname) + ": cannot be opened"};
    }
    return SharedLibrary(handle);
}

void* SharedLibrary::Symbol(const char* name) const {
    return dlsym(m_handle, name);
}

} // namespace showsaver::sys
