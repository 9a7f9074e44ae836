// Redirects one imported function of a loaded module: the module's import
// address table entry is overwritten, so every call the module makes to that
// function reaches the replacement. Lets a test watch what a DLL asks of the
// system without the DLL knowing.
#ifndef QVZ_TESTS_IMPORT_PATCH_H
#define QVZ_TESTS_IMPORT_PATCH_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace qvz {
namespace testing {

using ImportedFunction = void (*)();

// Points `module`'s import of `function` (by name, from any DLL) at
// `replacement` and returns what the entry held before, or null when the
// module does not import it by name.
ImportedFunction PatchImport(HMODULE module, const char* function, ImportedFunction replacement);

}  // namespace testing
}  // namespace qvz

#endif
