// The host's installed VISA library, when there is one. It is looked for once
// per process, at the first viOpenDefaultRM that may use it (see
// library_choice.h); from then on every resource manager is opened through
// it, and without one the built-in library serves socket resources. Nothing
// but the file names below decides: no configuration file, environment
// variable or registry key.
#ifndef QVZ_VISA_INSTALLED_VISA_H
#define QVZ_VISA_INSTALLED_VISA_H

#include <memory>
#include <string>
#include <vector>

#include "visa/visa_library.h"

namespace qvz {
namespace visa {

// The names under which the host's VISA library is installed, in the order
// they are tried. One list per platform: posix/ and win/.
std::vector<std::string> InstalledVisaLibraryNames();

// The installed library chosen for this process, forwarded to, or null for
// the built-in one. The first call tries each name of
// InstalledVisaLibraryNames() in turn and keeps the first complete library;
// later calls return that choice. Thread-safe. Never throws.
std::shared_ptr<VisaLibrary> ChosenInstalledVisa() noexcept;

// Test seams. The first replaces the names looked for with `paths` (an empty
// list means "no installed library") and forgets the choice, so the next
// viOpenDefaultRM chooses again; the second restores the standard names and
// forgets the choice too. Sessions already open keep the library they were
// opened with.
void SetInstalledVisaCandidatesForTesting(std::vector<std::string> paths);
void ResetInstalledVisaForTesting();

}  // namespace visa
}  // namespace qvz

#endif
