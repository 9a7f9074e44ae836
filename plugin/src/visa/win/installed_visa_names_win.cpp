// The installed VISA library's name on Windows (installed_visa.h).
#include <string>
#include <vector>

#include "visa/installed_visa.h"

namespace qvz {
namespace visa {

std::vector<std::string> InstalledVisaLibraryNames() {
    // The 64-bit VISA installed on the system path; the library is x64 only.
    return {"visa64.dll"};
}

}  // namespace visa
}  // namespace qvz
