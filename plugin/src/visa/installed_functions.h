// The C functions of the host's installed VISA library, loaded at run time.
#ifndef QVZ_VISA_INSTALLED_FUNCTIONS_H
#define QVZ_VISA_INSTALLED_FUNCTIONS_H

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#include "visa/shared_library.h"
#include "visa/visa.h"

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
using InstalledSetAttribute = ViStatus (*)(ViObject vi, ViAttr attribute,
                                           InstalledAttrState value);
using InstalledGetAttribute = ViStatus (*)(ViObject vi, ViAttr attribute, void* value);
using InstalledVPrintf = ViStatus (*)(ViSession vi, const char* writeFormat, va_list args);
using InstalledVScanf = ViStatus (*)(ViSession vi, const char* readFormat, va_list args);
using InstalledVQueryf = ViStatus (*)(ViSession vi, const char* writeFormat,
                                      const char* readFormat, va_list args);
using InstalledClear = ViStatus (*)(ViSession vi);
}

// A loaded library with every function this layer needs. viGetAttribute and
// viVScanf are used when the library has them (the plug-in itself never
// calls them); the others are required.
struct InstalledFunctions {
    InstalledFunctions() = default;
    InstalledFunctions(const InstalledFunctions&) = delete;
    InstalledFunctions& operator=(const InstalledFunctions&) = delete;
    ~InstalledFunctions();  // unloads the library

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
std::unique_ptr<InstalledFunctions> LoadInstalledFunctions(const std::string& name);

}  // namespace visa
}  // namespace qvz

#endif
