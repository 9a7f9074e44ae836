#include "local_memory_log.h"

#include <atomic>
#include <thread>

#include "import_patch.h"

namespace qvz {
namespace testing {
namespace local_memory_log {
namespace {

using LocalAllocFunction = HLOCAL(WINAPI*)(UINT, SIZE_T);
using LocalFreeFunction = HLOCAL(WINAPI*)(HLOCAL);

constexpr std::size_t kCapacity = 4096;

std::atomic<std::size_t> g_order{0};

struct Record {
    std::atomic<bool> published{false};
    std::size_t order = 0;
    const void* block = nullptr;
    DWORD thread = 0;
    UINT flags = 0;
    SIZE_T bytes = 0;
};

struct Log {
    Record records[kCapacity];
    std::atomic<std::size_t> used{0};

    void Add(const void* block, UINT flags, SIZE_T bytes) {
        const std::size_t index = used.fetch_add(1);
        if (index >= kCapacity) {
            return;  // full: later calls go unrecorded, and tests that need them fail
        }
        Record& record = records[index];
        record.order = g_order.fetch_add(1);
        record.block = block;
        record.thread = GetCurrentThreadId();
        record.flags = flags;
        record.bytes = bytes;
        record.published.store(true, std::memory_order_release);
    }

    std::vector<LocalMemoryCall> Snapshot() const {
        std::vector<LocalMemoryCall> calls;
        const std::size_t count = used.load() < kCapacity ? used.load() : kCapacity;
        for (std::size_t i = 0; i < count; ++i) {
            const Record& record = records[i];
            if (record.published.load(std::memory_order_acquire)) {
                calls.push_back(LocalMemoryCall{record.block, record.thread, record.flags,
                                                record.bytes, record.order});
            }
        }
        return calls;
    }

    void Clear() {
        for (Record& record : records) {
            record.published.store(false);
        }
        used.store(0);
    }
};

Log g_allocations;
Log g_frees;
std::atomic<LocalAllocFunction> g_realLocalAlloc{nullptr};
std::atomic<LocalFreeFunction> g_realLocalFree{nullptr};

HLOCAL WINAPI RecordingLocalAlloc(UINT flags, SIZE_T bytes) {
    const HLOCAL block = g_realLocalAlloc.load()(flags, bytes);
    g_allocations.Add(block, flags, bytes);
    return block;
}

HLOCAL WINAPI RecordingLocalFree(HLOCAL block) {
    g_frees.Add(block, 0, 0);
    return g_realLocalFree.load()(block);
}

}  // namespace

bool Attach(HMODULE module) {
    g_allocations.Clear();
    g_frees.Clear();
    // The real functions first: the hooks may be called the moment an entry
    // is patched.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    g_realLocalAlloc = reinterpret_cast<LocalAllocFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "LocalAlloc")));
    g_realLocalFree = reinterpret_cast<LocalFreeFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "LocalFree")));
    if (g_realLocalAlloc.load() == nullptr || g_realLocalFree.load() == nullptr) {
        return false;
    }
    const bool allocPatched =
        PatchImport(module, "LocalAlloc",
                    reinterpret_cast<ImportedFunction>(&RecordingLocalAlloc)) != nullptr;
    const bool freePatched =
        PatchImport(module, "LocalFree", reinterpret_cast<ImportedFunction>(&RecordingLocalFree)) !=
        nullptr;
    return allocPatched && freePatched;
}

std::vector<LocalMemoryCall> Allocations() {
    return g_allocations.Snapshot();
}

std::vector<LocalMemoryCall> Frees() {
    return g_frees.Snapshot();
}

std::size_t NextOrder() {
    return g_order.load();
}

bool FindAllocation(DWORD thread, std::size_t bytes, std::size_t from, LocalMemoryCall* found) {
    int matches = 0;
    for (const LocalMemoryCall& call : Allocations()) {
        if (call.thread == thread && call.bytes == bytes && call.order >= from) {
            *found = call;
            ++matches;
        }
    }
    return matches == 1;
}

bool WaitForFree(const LocalMemoryCall& allocation, std::chrono::milliseconds timeout,
                 LocalMemoryCall* found) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const LocalMemoryCall& call : Frees()) {
            if (call.block == allocation.block && call.order > allocation.order) {
                *found = call;
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace local_memory_log
}  // namespace testing
}  // namespace qvz
