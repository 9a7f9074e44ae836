#include "file_name_locks.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/canonical_path.h"

namespace qvz {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::string> held;  // canonical keys, few at a time
};

Registry& TheRegistry() {
    // Never destroyed: a thread may still release a lock while the library
    // is being unloaded.
    static Registry* const registry = new Registry;
    return *registry;
}

bool IsHeld(const Registry& registry, const std::string& key) {
    return std::find(registry.held.begin(), registry.held.end(), key) != registry.held.end();
}

}  // namespace

FileNameLock::FileNameLock(const char* fileName) : key_(CanonicalFileKey(fileName)) {
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> guard(registry.mutex);
    registry.released.wait(guard, [&registry, this] { return !IsHeld(registry, key_); });
    registry.held.push_back(key_);
}

FileNameLock::~FileNameLock() {
    Registry& registry = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(registry.mutex);
        const auto it = std::find(registry.held.begin(), registry.held.end(), key_);
        if (it != registry.held.end()) {
            registry.held.erase(it);
        }
    }
    registry.released.notify_all();
}

}  // namespace qvz
