// The installed VISA library's names on POSIX systems (installed_visa.h).
#include <string>
#include <vector>

#include "visa/installed_visa.h"

namespace qvz {
namespace visa {
namespace {

// libvisa.so is the development link most installations provide; without it
// the versioned run-time names are tried. VISA's ABI has been stable, so a
// short range of major versions covers what is in use.
constexpr int kFirstVersion = 0;
constexpr int kLastVersion = 9;

}  // namespace

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
