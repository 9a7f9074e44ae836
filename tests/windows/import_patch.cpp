#include "import_patch.h"

#include <cstdint>
#include <cstring>

namespace qvz {
namespace testing {
namespace {

template <typename T>
T* At(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(module) + offset);
}

bool WriteEntry(ULONGLONG* entry, ImportedFunction replacement) {
    DWORD previous = 0;
    if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &previous)) {
        return false;
    }
    *entry = reinterpret_cast<ULONGLONG>(replacement);
    VirtualProtect(entry, sizeof *entry, previous, &previous);
    return true;
}

}  // namespace

ImportedFunction PatchImport(HMODULE module, const char* function, ImportedFunction replacement) {
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    const auto* nt = At<IMAGE_NT_HEADERS64>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return nullptr;
    }
    for (auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        // The lookup table keeps the names; the address table beside it is
        // what calls go through.
        auto* names = At<IMAGE_THUNK_DATA64>(module, descriptor->OriginalFirstThunk);
        auto* addresses = At<IMAGE_THUNK_DATA64>(module, descriptor->FirstThunk);
        if (descriptor->OriginalFirstThunk == 0) {
            continue;
        }
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            const auto original = reinterpret_cast<ImportedFunction>(addresses->u1.Function);
            return WriteEntry(&addresses->u1.Function, replacement) ? original : nullptr;
        }
    }
    return nullptr;
}

}  // namespace testing
}  // namespace qvz
