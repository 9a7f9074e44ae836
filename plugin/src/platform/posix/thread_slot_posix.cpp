// POSIX thread slot: a pthread key created when the library is loaded. Its
// destructor closes the VISA sessions a thread left open and frees its state
// when the thread ends (the equivalent of a thread detach); unloading the
// library frees the unloading thread's state and deletes the key (the
// equivalent of a process detach).
#include <pthread.h>

#include "platform/thread_slot.h"
#include "session_state.h"
#include "visa/visa.h"

namespace qvz {
namespace {

// A thread that ends without QVZ_close would otherwise keep its connection
// (a descriptor here, a connection slot in the analyzer) until the process
// ends.
extern "C" void FreeStateAtThreadExit(void* slotValue) {
    SessionState* state = static_cast<SessionState*>(slotValue);
    if (state != nullptr) {
        if (state->instrSession != 0) {
            visa::viClose(state->instrSession);
        }
        if (state->rmSession != 0) {
            visa::viClose(state->rmSession);
        }
    }
    FreeSessionState(state);
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

    SessionState* Get() const {
        return created_ ? static_cast<SessionState*>(pthread_getspecific(key_)) : nullptr;
    }

    bool Set(SessionState* state) const {
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
    return g_slot.Get();
}

bool ThreadSlotSet(SessionState* state) {
    return g_slot.Set(state);
}

void CloseSessionsOfEndedThreads() {
    // Closed by the slot's destructor as each thread ended.
}

}  // namespace qvz
