// POSIX thread slot: a pthread key created when the library is loaded. Its
// destructor frees a thread's state when the thread ends (the equivalent of
// a thread detach); unloading the library frees the unloading thread's state
// and deletes the key (the equivalent of a process detach).
#include <pthread.h>

#include <cstdlib>

#include "platform/thread_slot.h"
#include "session_state.h"

namespace qvz {
namespace {

extern "C" void FreeStateAtThreadExit(void* state) {
    FreeSessionState(static_cast<SessionState*>(state));
}

class SlotKey {
public:
    SlotKey() : created_(pthread_key_create(&key_, &FreeStateAtThreadExit) == 0) {}

    ~SlotKey() {
        if (!created_) {
            return;
        }
        FreeSessionState(static_cast<SessionState*>(pthread_getspecific(key_)));
        pthread_setspecific(key_, nullptr);
        pthread_key_delete(key_);
        created_ = false;
    }

    SlotKey(const SlotKey&) = delete;
    SlotKey& operator=(const SlotKey&) = delete;

    SessionState* get() const {
        return created_ ? static_cast<SessionState*>(pthread_getspecific(key_)) : nullptr;
    }

    bool set(SessionState* state) const {
        return created_ && pthread_setspecific(key_, state) == 0;
    }

private:
    pthread_key_t key_{};
    bool created_;
};

// Constructed when the library is loaded, destroyed when it is unloaded.
SlotKey g_slot;

}  // namespace

SessionState* ThreadSlotGet() {
    return g_slot.get();
}

bool ThreadSlotSet(SessionState* state) {
    return g_slot.set(state);
}

SessionState* AllocateSessionState() {
    return static_cast<SessionState*>(std::calloc(1, sizeof(SessionState)));
}

void FreeSessionState(SessionState* state) {
    if (state != nullptr) {
        ReleaseSessionResources(*state);
    }
    std::free(state);
}

}  // namespace qvz
