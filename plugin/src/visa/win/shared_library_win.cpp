// LoadLibraryA half of shared_library.h.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "visa/shared_library.h"

namespace qvz {
namespace visa {

SharedLibrary OpenSharedLibrary(const std::string& name) {
    // No error box when the library or one of its dependencies is missing:
    // a host without a VISA installation is the ordinary case.
    DWORD previousMode = 0;
    const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
    HMODULE module = LoadLibraryA(name.c_str());
    if (modeSet) {
        SetThreadErrorMode(previousMode, nullptr);
    }
    return module;
}

SymbolAddress FindSharedLibrarySymbol(SharedLibrary library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    // FARPROC is a generic function pointer already; void (*)() is the type
    // compilers accept as the neutral one for such casts.
    return reinterpret_cast<SymbolAddress>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(SharedLibrary library) {
    if (library != nullptr) {
        FreeLibrary(static_cast<HMODULE>(library));
    }
}

}  // namespace visa
}  // namespace qvz
