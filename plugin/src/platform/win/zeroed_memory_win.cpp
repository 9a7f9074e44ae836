// LocalAlloc and LocalFree stay usable under the loader lock (thread and
// process detach), whatever state the C runtime is in by then.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/zeroed_memory.h"

namespace qvz {

void* AllocateZeroedMemory(std::size_t size) {
    return LocalAlloc(LPTR, size);
}

void FreeZeroedMemory(void* memory) {
    if (memory != nullptr) {
        LocalFree(memory);
    }
}

}  // namespace qvz
