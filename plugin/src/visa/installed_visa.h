// The host's installed VISA library, when there is one. It is looked for once
// per process, at the first viOpenDefaultRM that may use it; from then on
// every resource manager is opened through it (installed_forwarding.h), and
// without one the built-in library serves socket resources. Nothing but the
// file names below decides: no configuration file, environment variable or
// registry key.
#ifndef QVZ_VISA_INSTALLED_VISA_H
#define QVZ_VISA_INSTALLED_VISA_H

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "visa/shared_library.h"
#include "visa/visa.h"
#include "visa/visa_library.h"

namespace qvz {
namespace visa {

// ViAttrState of the installed library: an integer as wide as a pointer
// (64 bits on the 64-bit platforms this library is built for).
using InstalledAttrState = std::uintptr_t;

// The installed library's C functions, with the standard VISA signatures.
// ViStatus, ViSession, ViAttr, ViAccessMode and ViUInt32 have the same widths
// as ours; resource names and formats are plain C strings.
extern "C" {
using InstalledOpenDefaultRM = ViStatus (*)(ViSession* rm);
using InstalledOpen = ViStatus (*)(ViSession rm, const char* resource, ViAccessMode mode,
                                   ViUInt32 openTimeout, ViSession* vi);
using InstalledClose = ViStatus (*)(ViObject vi);
using InstalledSetAttribute = ViStatus (*)(ViObject vi, ViAttr attribute, InstalledAttrState value);
using InstalledGetAttribute = ViStatus (*)(ViObject vi, ViAttr attribute, void* value);
using InstalledVPrintf = ViStatus (*)(ViSession vi, const char* writeFormat, va_list args);
using InstalledVScanf = ViStatus (*)(ViSession vi, const char* readFormat, va_list args);
using InstalledVQueryf = ViStatus (*)(ViSession vi, const char* writeFormat, const char* readFormat,
                                      va_list args);
using InstalledClear = ViStatus (*)(ViSession vi);
}

// A loaded library with every function this layer needs. viGetAttribute and
// viVScanf are used when the library has them (the plug-in itself never
// calls them); the others are required.
struct InstalledVisa {
    InstalledVisa() = default;
    InstalledVisa(const InstalledVisa&) = delete;
    InstalledVisa& operator=(const InstalledVisa&) = delete;
    ~InstalledVisa();  // unloads the library

    SharedLibrary library = nullptr;
    std::string name;  // as it was loaded
    InstalledOpenDefaultRM openDefaultRM = nullptr;
    InstalledOpen open = nullptr;
    InstalledClose close = nullptr;
    InstalledSetAttribute setAttribute = nullptr;
    InstalledVPrintf vPrintf = nullptr;
    InstalledVQueryf vQueryf = nullptr;
    InstalledClear clear = nullptr;
    InstalledGetAttribute getAttribute = nullptr;  // optional
    InstalledVScanf vScanf = nullptr;              // optional
};

// Loads `name` and resolves its functions; null when it cannot be loaded or
// lacks a required function (it is then unloaded again).
std::unique_ptr<InstalledVisa> LoadInstalledVisa(const std::string& name);

// The names under which the host's VISA library is installed, in the order
// they are tried; one list per platform (posix/, win/).
std::vector<std::string> InstalledVisaLibraryNames();

// The library chosen for this process, forwarded to, or null for the
// built-in one. The first call tries each name of InstalledVisaLibraryNames()
// in turn and keeps the first complete library; later calls return that
// choice. Thread-safe. Never throws.
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
