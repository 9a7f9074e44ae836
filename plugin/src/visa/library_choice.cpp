#include "visa/library_choice.h"

#include "visa/backend.h"
#include "visa/builtin_visa.h"
#include "visa/installed_visa.h"

namespace qvz {
namespace visa {

std::shared_ptr<VisaLibrary> ChosenVisaLibrary() {
    // The installed library is only looked for while the built-in socket
    // backend is in force.
    if (CurrentBackend() == SocketBackend()) {
        std::shared_ptr<VisaLibrary> installed = ChosenInstalledVisa();
        if (installed) {
            return installed;
        }
    }
    return BuiltInVisa();
}

}  // namespace visa
}  // namespace qvz
