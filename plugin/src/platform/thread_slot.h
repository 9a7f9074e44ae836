// One process-wide thread-local slot holding each thread's SessionState.
// The slot is created when the library is loaded and released when it is
// unloaded; a thread's state is freed when the thread ends, and the VISA
// sessions it left open are closed (at once on POSIX; on Windows, where the
// entry point must not touch sockets, by the next QVZ_init or QVZ_close of
// any thread). Implemented per
// platform (posix/: a pthread key; win/: TLS index driven by DllMain).
#ifndef QVZ_THREAD_SLOT_H
#define QVZ_THREAD_SLOT_H

namespace qvz {

struct SessionState;

// The calling thread's state, or null.
SessionState* ThreadSlotGet();
// Stores `state` as the calling thread's state. False when the slot could not
// be created at load time.
bool ThreadSlotSet(SessionState* state);

// Closes the VISA sessions that ended threads left open and could not close
// themselves. Called by QVZ_init and QVZ_close; does nothing on POSIX.
void CloseSessionsOfEndedThreads();

}  // namespace qvz

#endif
