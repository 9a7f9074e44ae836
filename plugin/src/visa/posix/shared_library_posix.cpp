// dlopen half of shared_library.h.
#include <dlfcn.h>

#include <string>
#include <vector>

#include "visa/shared_library.h"

namespace qvz {
namespace visa {
namespace {

// libvisa.so is the development link most installations provide; without it
// the versioned run-time names are tried. VISA's ABI has been stable, so a
// short range of major versions covers what is in use.
constexpr int kFirstVersion = 0;
constexpr int kLastVersion = 9;

}  // namespace

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

std::vector<std::string> InstalledVisaLibraryNames() {
    std::vector<std::string> names;
    names.emplace_back("libvisa.so");
    for (int version = kFirstVersion; version <= kLastVersion; ++version) {
        names.push_back("libvisa.so." + std::to_string(version));
    }
    return names;
}

}  // namespace visa
}  // namespace qvz
