#include "visa/backend.h"

#include <mutex>
#include <utility>

namespace qvz {
namespace visa {
namespace {

struct BackendRegistry {
    std::mutex mutex;
    std::shared_ptr<Backend> testBackend;
};

BackendRegistry& Registry() {
    static BackendRegistry registry;
    return registry;
}

}  // namespace

void SetBackendForTesting(std::shared_ptr<Backend> backend) {
    BackendRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.testBackend = std::move(backend);
}

std::shared_ptr<Backend> CurrentBackend() {
    BackendRegistry& registry = Registry();
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (registry.testBackend) {
            return registry.testBackend;
        }
    }
    return SocketBackend();
}

}  // namespace visa
}  // namespace qvz
