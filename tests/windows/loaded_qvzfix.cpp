#include "loaded_qvzfix.h"

#include <cstring>
#include <string>

namespace qvz {
namespace testing {
namespace {

// GetProcAddress hands out a generic function pointer; going through
// void (*)() is the cast compilers accept between function types.
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
    const auto address = reinterpret_cast<void (*)()>(GetProcAddress(module, name));
    function = reinterpret_cast<Function>(address);
    return function != nullptr;
}

}  // namespace

bool LoadedQvzfix::Load() {
    Unload();
    module_ = LoadLibraryA(kQvzfixDll);
    if (module_ == nullptr) {
        return false;
    }
    return Resolve(module_, "QVZ_init", init) && Resolve(module_, "QVZ_close", close) &&
           Resolve(module_, "QVZ_GetActivePort", getActivePort) &&
           Resolve(module_, "QVZ_SetS2PFilePath", setS2PFilePath) &&
           Resolve(module_, "QVZ_GetS2PFilePath", getS2PFilePath) &&
           Resolve(module_, "QVZ_SetS2PFilePrefix", setS2PFilePrefix) &&
           Resolve(module_, "QVZ_SetApplyImmediate", setApplyImmediate);
}

void LoadedQvzfix::Unload() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

std::string StoredPath(const LoadedQvzfix& library) {
    char buffer[256] = {};
    if (library.getS2PFilePath(static_cast<int32_t>(sizeof buffer), buffer) != 0) {
        return "<no state>";
    }
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace testing
}  // namespace qvz
