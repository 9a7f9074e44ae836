// Loading a shared library at run time and finding its C functions. One
// interface, two platform halves: posix/ (dlopen) and win/ (LoadLibraryA).
#ifndef QVZ_VISA_SHARED_LIBRARY_H
#define QVZ_VISA_SHARED_LIBRARY_H

#include <string>

namespace qvz {
namespace visa {

// An opaque handle of a loaded library; null when nothing is loaded.
using SharedLibrary = void*;

// A function's address as the loader hands it out; the caller casts it to
// the function's real type.
using SymbolAddress = void (*)();

// Loads `name` (a bare file name is searched for the platform's usual way, a
// path is taken as it is), resolving every symbol now and keeping them out of
// the process's global namespace. Null when it cannot be loaded.
SharedLibrary OpenSharedLibrary(const std::string& name);

// The address of the C function `name` exported by `library`, or null.
SymbolAddress FindSharedLibrarySymbol(SharedLibrary library, const char* name);

void CloseSharedLibrary(SharedLibrary library);

}  // namespace visa
}  // namespace qvz

#endif
