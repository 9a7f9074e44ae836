// dlopen half of shared_library.h.
#include <dlfcn.h>

#include <string>

#include "visa/shared_library.h"

namespace qvz {
namespace visa {
SharedLibrary OpenSharedLibrary(const std::string& name) {
    // RTLD_NOW: a library that cannot resolve everything fails here, not in
    // the middle of an apply. RTLD_LOCAL: its vi* symbols must not become
    // visible to other libraries in the host.
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

SymbolAddress FindSharedLibrarySymbol(SharedLibrary library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<SymbolAddress>(dlsym(library, name));
}

void CloseSharedLibrary(SharedLibrary library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

}  // namespace visa
}  // namespace qvz
