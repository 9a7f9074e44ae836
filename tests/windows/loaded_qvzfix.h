// qvzfix.dll loaded at run time, the way a host that does not link it would:
// LoadLibrary on load, FreeLibrary on unload, so that tests see the library's
// process attach and detach happen.
#ifndef QVZ_TESTS_LOADED_QVZFIX_H
#define QVZ_TESTS_LOADED_QVZFIX_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "qvzfix.h"

namespace qvz {
namespace testing {

// The file name the library is built under; the test programs are built
// beside it and load it from their own directory.
constexpr const char* kQvzfixDll = "qvzfix.dll";

class LoadedQvzfix {
public:
    LoadedQvzfix() = default;
    ~LoadedQvzfix() { Unload(); }
    LoadedQvzfix(const LoadedQvzfix&) = delete;
    LoadedQvzfix& operator=(const LoadedQvzfix&) = delete;

    // False when the library does not load or lacks one of the functions.
    bool Load();
    void Unload();
    HMODULE Module() const { return module_; }

    decltype(&QVZ_init) init = nullptr;
    decltype(&QVZ_close) close = nullptr;
    decltype(&QVZ_GetActivePort) getActivePort = nullptr;
    decltype(&QVZ_SetS2PFilePath) setS2PFilePath = nullptr;
    decltype(&QVZ_GetS2PFilePath) getS2PFilePath = nullptr;
    decltype(&QVZ_SetS2PFilePrefix) setS2PFilePrefix = nullptr;
    decltype(&QVZ_SetApplyImmediate) setApplyImmediate = nullptr;

private:
    HMODULE module_ = nullptr;
};

// The path the library keeps, read through QVZ_GetS2PFilePath.
std::string StoredPath(const LoadedQvzfix& library);

}  // namespace testing
}  // namespace qvz

#endif
