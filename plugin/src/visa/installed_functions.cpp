#include "visa/installed_functions.h"

namespace qvz {
namespace visa {
namespace {

template <typename Function>
bool Resolve(SharedLibrary library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(FindSharedLibrarySymbol(library, name));
    return *function != nullptr;
}

}  // namespace

InstalledFunctions::~InstalledFunctions() {
    CloseSharedLibrary(library);
}

std::unique_ptr<InstalledFunctions> LoadInstalledFunctions(const std::string& name) {
    auto visa = std::make_unique<InstalledFunctions>();
    visa->library = OpenSharedLibrary(name);
    if (visa->library == nullptr) {
        return nullptr;
    }
    visa->name = name;
    SharedLibrary library = visa->library;
    // Every required function is looked up (no short cut), which keeps the
    // rule plain: one missing, and the library is not used.
    bool complete = true;
    complete &= Resolve(library, "viOpenDefaultRM", &visa->openDefaultRM);
    complete &= Resolve(library, "viOpen", &visa->open);
    complete &= Resolve(library, "viClose", &visa->close);
    complete &= Resolve(library, "viSetAttribute", &visa->setAttribute);
    complete &= Resolve(library, "viVPrintf", &visa->vPrintf);
    complete &= Resolve(library, "viVQueryf", &visa->vQueryf);
    complete &= Resolve(library, "viClear", &visa->clear);
    if (!complete) {
        return nullptr;  // the destructor unloads it
    }
    Resolve(library, "viGetAttribute", &visa->getAttribute);
    Resolve(library, "viVScanf", &visa->vScanf);
    return visa;
}

}  // namespace visa
}  // namespace qvz
