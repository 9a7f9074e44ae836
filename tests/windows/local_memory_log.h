// Records the LocalAlloc and LocalFree calls one loaded module makes, by
// redirecting its imports of the two. The hooks may run inside the module's
// entry point, under the loader lock, so they only write into fixed arrays.
#ifndef QVZ_TESTS_LOCAL_MEMORY_LOG_H
#define QVZ_TESTS_LOCAL_MEMORY_LOG_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <cstddef>
#include <vector>

namespace qvz {
namespace testing {

struct LocalMemoryCall {
    const void* block;  // what LocalAlloc returned, or what LocalFree was given
    DWORD thread;       // the calling thread
    UINT flags;         // LocalAlloc only
    SIZE_T bytes;       // LocalAlloc only
    std::size_t order;  // position among all recorded calls of both kinds
};

namespace local_memory_log {

// Redirects `module`'s LocalAlloc and LocalFree (again after every load) and
// forgets earlier records. False when the module imports either not by name.
bool Attach(HMODULE module);

std::vector<LocalMemoryCall> Allocations();
std::vector<LocalMemoryCall> Frees();

// The position the next recorded call will take.
std::size_t NextOrder();

// The allocation of `bytes` made on `thread` from position `from` on, if
// exactly one was (thread ids are reused too).
bool FindAllocation(DWORD thread, std::size_t bytes, std::size_t from, LocalMemoryCall* found);

// Waits up to `timeout` until the block `allocation` returned has been freed
// (blocks are reused: only a free after the allocation counts); the free,
// if it was.
bool WaitForFree(const LocalMemoryCall& allocation, std::chrono::milliseconds timeout,
                 LocalMemoryCall* found);

}  // namespace local_memory_log
}  // namespace testing
}  // namespace qvz

#endif
