#include <cstdlib>

#include "platform/zeroed_memory.h"

namespace qvz {

void* AllocateZeroedMemory(std::size_t size) {
    return std::calloc(1, size);
}

void FreeZeroedMemory(void* memory) {
    std::free(memory);
}

}  // namespace qvz
