// Raw zero-filled memory for the per-thread state. It is given back at a
// thread's end too, which on Windows runs under the loader lock; each
// platform half picks an allocator that is safe there.
#ifndef QVZ_ZEROED_MEMORY_H
#define QVZ_ZEROED_MEMORY_H

#include <cstddef>

namespace qvz {

// `size` zero bytes, or null when memory is exhausted.
void* AllocateZeroedMemory(std::size_t size);
// Gives back memory from AllocateZeroedMemory; null is ignored.
void FreeZeroedMemory(void* memory);

}  // namespace qvz

#endif
