#include "file_name_locks.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace qvz {
namespace {

// Names currently being written. A fixed table keeps locking free of
// allocation; a thread that finds it full waits like one that finds its
// name taken, so more writers than slots only queue up.
constexpr int kMaxConcurrentNames = 64;

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    const char* names[kMaxConcurrentNames] = {};
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool IsHeld(const Registry& registry, const char* fileName) {
    for (const char* held : registry.names) {
        if (held != nullptr && std::strcmp(held, fileName) == 0) {
            return true;
        }
    }
    return false;
}

int FreeSlot(const Registry& registry) {
    for (int slot = 0; slot < kMaxConcurrentNames; ++slot) {
        if (registry.names[slot] == nullptr) {
            return slot;
        }
    }
    return -1;
}

}  // namespace

FileNameLock::FileNameLock(const char* fileName) : slot_(-1) {
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> guard(registry.mutex);
    registry.released.wait(guard, [&registry, fileName] {
        return !IsHeld(registry, fileName) && FreeSlot(registry) >= 0;
    });
    slot_ = FreeSlot(registry);
    registry.names[slot_] = fileName;
}

FileNameLock::~FileNameLock() {
    Registry& registry = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(registry.mutex);
        registry.names[slot_] = nullptr;
    }
    registry.released.notify_all();
}

}  // namespace qvz
