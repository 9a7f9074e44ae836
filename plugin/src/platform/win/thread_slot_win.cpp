// Windows thread slot.
//
// Loaded as a DLL, the library keeps each thread's state under one TLS index
// driven by its entry point: process attach allocates the index (no index, no
// load), thread attach clears the thread's value, thread detach frees the
// thread's state, process detach frees the unloading thread's state and
// releases the index. The entry point runs under the loader lock, so it only
// allocates, clears and frees: no VISA, socket or thread call. The sessions a
// thread leaves open at its detach therefore go on a process-wide list that
// the next QVZ_init or QVZ_close of any thread closes.
//
// Linked statically into a program (the white-box tests), no entry point
// ever runs. The first use then creates a fiber-local slot instead, whose
// callback gives the state back when a thread ends, so both builds free what
// a thread leaves behind.
//
// States come from AllocateSessionState (LocalAlloc, zero-filled) in both
// builds.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

#include "platform/thread_slot.h"
#include "session_state.h"
#include "visa/visa.h"

namespace qvz {
namespace {

// Written only by the entry point at process attach and detach.
DWORD g_tlsIndex = TLS_OUT_OF_INDEXES;

// The statically linked build's slot, created once at first use.
DWORD g_flsIndex = FLS_OUT_OF_INDEXES;
INIT_ONCE g_flsOnce = INIT_ONCE_STATIC_INIT;

// Sessions of ended threads, waiting to be closed outside the entry point.
// Nodes come from LocalAlloc, which is safe under the loader lock.
struct EndedSessions {
    EndedSessions* next;
    std::uint32_t rmSession;
    std::uint32_t instrSession;
};
SRWLOCK g_endedLock = SRWLOCK_INIT;
EndedSessions* g_ended = nullptr;

void KeepSessionsForClosing(const SessionState* state) {
    if (state == nullptr || (state->rmSession == 0 && state->instrSession == 0)) {
        return;
    }
    auto* node = static_cast<EndedSessions*>(LocalAlloc(LPTR, sizeof(EndedSessions)));
    if (node == nullptr) {
        return;  // the sessions stay open until the process ends, as before
    }
    node->rmSession = state->rmSession;
    node->instrSession = state->instrSession;
    AcquireSRWLockExclusive(&g_endedLock);
    node->next = g_ended;
    g_ended = node;
    ReleaseSRWLockExclusive(&g_endedLock);
}

EndedSessions* TakeEndedSessions() {
    AcquireSRWLockExclusive(&g_endedLock);
    EndedSessions* list = g_ended;
    g_ended = nullptr;
    ReleaseSRWLockExclusive(&g_endedLock);
    return list;
}

// The thread's end: its sessions are kept for closing, its state freed.
void ReleaseEndedThreadState(SessionState* state) {
    KeepSessionsForClosing(state);
    FreeSessionState(state);
}

void WINAPI FreeStateAtThreadEnd(PVOID state) {
    ReleaseEndedThreadState(static_cast<SessionState*>(state));
}

BOOL CALLBACK CreateFiberLocalSlot(PINIT_ONCE, PVOID, PVOID*) {
    g_flsIndex = FlsAlloc(&FreeStateAtThreadEnd);
    return TRUE;  // a failure is remembered as FLS_OUT_OF_INDEXES, not retried
}

bool LoadedAsLibrary() {
    return g_tlsIndex != TLS_OUT_OF_INDEXES;
}

bool FiberLocalSlotReady() {
    InitOnceExecuteOnce(&g_flsOnce, &CreateFiberLocalSlot, nullptr, nullptr);
    return g_flsIndex != FLS_OUT_OF_INDEXES;
}

void FreeCallingThreadState() {
    FreeSessionState(static_cast<SessionState*>(TlsGetValue(g_tlsIndex)));
    TlsSetValue(g_tlsIndex, nullptr);
}

void ReleaseCallingThreadStateAtDetach() {
    ReleaseEndedThreadState(static_cast<SessionState*>(TlsGetValue(g_tlsIndex)));
    TlsSetValue(g_tlsIndex, nullptr);
}

// At unload nobody is left to close them; only the list's memory goes.
void ForgetEndedSessions() {
    for (EndedSessions* node = TakeEndedSessions(); node != nullptr;) {
        EndedSessions* next = node->next;
        LocalFree(node);
        node = next;
    }
}

}  // namespace

SessionState* ThreadSlotGet() {
    if (LoadedAsLibrary()) {
        return static_cast<SessionState*>(TlsGetValue(g_tlsIndex));
    }
    return FiberLocalSlotReady() ? static_cast<SessionState*>(FlsGetValue(g_flsIndex)) : nullptr;
}

bool ThreadSlotSet(SessionState* state) {
    if (LoadedAsLibrary()) {
        return TlsSetValue(g_tlsIndex, state) != FALSE;
    }
    return FiberLocalSlotReady() && FlsSetValue(g_flsIndex, state) != FALSE;
}

void CloseSessionsOfEndedThreads() {
    for (EndedSessions* node = TakeEndedSessions(); node != nullptr;) {
        if (node->instrSession != 0) {
            visa::viClose(node->instrSession);
        }
        if (node->rmSession != 0) {
            visa::viClose(node->rmSession);
        }
        EndedSessions* next = node->next;
        LocalFree(node);
        node = next;
    }
}

}  // namespace qvz

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    using qvz::g_tlsIndex;
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_tlsIndex = TlsAlloc();
            if (g_tlsIndex == TLS_OUT_OF_INDEXES) {
                return FALSE;  // no slot: the library does not load
            }
            TlsSetValue(g_tlsIndex, nullptr);
            break;
        case DLL_THREAD_ATTACH:
            TlsSetValue(g_tlsIndex, nullptr);
            break;
        case DLL_THREAD_DETACH:
            qvz::ReleaseCallingThreadStateAtDetach();
            break;
        case DLL_PROCESS_DETACH:
            // Also delivered after a refused attach, when there is no index.
            if (g_tlsIndex == TLS_OUT_OF_INDEXES) {
                break;
            }
            qvz::FreeCallingThreadState();
            qvz::ForgetEndedSessions();
            TlsFree(g_tlsIndex);
            g_tlsIndex = TLS_OUT_OF_INDEXES;
            break;
        default:
            break;
    }
    return TRUE;
}
