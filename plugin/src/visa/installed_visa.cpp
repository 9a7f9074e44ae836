#include "visa/installed_visa.h"

#include <mutex>
#include <utility>

#include "visa/installed_forwarding.h"

namespace qvz {
namespace visa {
namespace {

template <typename Function>
bool Resolve(SharedLibrary library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(FindSharedLibrarySymbol(library, name));
    return *function != nullptr;
}

// One choice of library; replaced whole when a test asks for a new one, so
// that call_once can run again on a fresh flag.
struct Choice {
    std::once_flag once;
    std::shared_ptr<VisaLibrary> library;
};

struct Chooser {
    std::mutex mutex;
    std::shared_ptr<Choice> choice = std::make_shared<Choice>();
    bool candidatesReplaced = false;
    std::vector<std::string> testCandidates;
};

Chooser& TheChooser() {
    // Never destroyed: the chosen library stays loaded until the process
    // itself goes, since unloading a VISA library while the host shuts down
    // (its threads still running, or from DllMain) is not safe.
    static Chooser* const chooser = new Chooser;
    return *chooser;
}

std::vector<std::string> Candidates(Chooser& chooser) {
    std::lock_guard<std::mutex> lock(chooser.mutex);
    return chooser.candidatesReplaced ? chooser.testCandidates : InstalledVisaLibraryNames();
}

std::shared_ptr<VisaLibrary> FirstComplete(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::unique_ptr<InstalledVisa> library = LoadInstalledVisa(name);
        if (library) {
            return ForwardingTo(std::move(library));
        }
    }
    return nullptr;
}

void ForgetChoice(Chooser& chooser, bool candidatesReplaced, std::vector<std::string> paths) {
    auto fresh = std::make_shared<Choice>();
    std::lock_guard<std::mutex> lock(chooser.mutex);
    chooser.candidatesReplaced = candidatesReplaced;
    chooser.testCandidates = std::move(paths);
    chooser.choice = std::move(fresh);
}

}  // namespace

InstalledVisa::~InstalledVisa() {
    CloseSharedLibrary(library);
}

std::unique_ptr<InstalledVisa> LoadInstalledVisa(const std::string& name) {
    auto visa = std::make_unique<InstalledVisa>();
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

std::shared_ptr<VisaLibrary> ChosenInstalledVisa() noexcept {
    try {
        Chooser& chooser = TheChooser();
        std::shared_ptr<Choice> choice;
        {
            std::lock_guard<std::mutex> lock(chooser.mutex);
            choice = chooser.choice;
        }
        // A failure (out of memory) leaves the flag unset, so a later call
        // tries again.
        std::call_once(choice->once, [&] { choice->library = FirstComplete(Candidates(chooser)); });
        return choice->library;
    } catch (...) {
        return nullptr;
    }
}

void SetInstalledVisaCandidatesForTesting(std::vector<std::string> paths) {
    ForgetChoice(TheChooser(), true, std::move(paths));
}

void ResetInstalledVisaForTesting() {
    ForgetChoice(TheChooser(), false, {});
}

}  // namespace visa
}  // namespace qvz
