// Windows thread slot.
//
// Loaded as a DLL, the library keeps each thread's state under one TLS index
// driven by its entry point: process attach allocates the index (no index, no
// load), thread attach clears the thread's value, thread detach frees the
// thread's state, process detach frees the unloading thread's state and
// releases the index. The entry point runs under the loader lock, so it only
// allocates, clears and frees: no VISA, socket or thread call.
//
// Linked statically into a program (the white-box tests), no entry point
// ever runs. The first use then creates a fiber-local slot instead, whose
// callback gives the state back when a thread ends, so both builds free what
// a thread leaves behind.
//
// States come from LocalAlloc, zero-filled, in both builds.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/thread_slot.h"
#include "session_state.h"

namespace qvz {
namespace {

// Written only by the entry point at process attach and detach.
DWORD g_tlsIndex = TLS_OUT_OF_INDEXES;

// The statically linked build's slot, created once at first use.
DWORD g_flsIndex = FLS_OUT_OF_INDEXES;
INIT_ONCE g_flsOnce = INIT_ONCE_STATIC_INIT;

void WINAPI FreeStateAtThreadEnd(PVOID state) {
    FreeSessionState(static_cast<SessionState*>(state));
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

SessionState* AllocateSessionState() {
    return static_cast<SessionState*>(LocalAlloc(LPTR, sizeof(SessionState)));
}

// Also runs under the loader lock (thread and process detach): releasing the
// state's resources only frees memory.
void FreeSessionState(SessionState* state) {
    if (state != nullptr) {
        ReleaseSessionResources(*state);
        LocalFree(state);
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
            qvz::FreeCallingThreadState();
            break;
        case DLL_PROCESS_DETACH:
            // Also delivered after a refused attach, when there is no index.
            if (g_tlsIndex == TLS_OUT_OF_INDEXES) {
                break;
            }
            qvz::FreeCallingThreadState();
            TlsFree(g_tlsIndex);
            g_tlsIndex = TLS_OUT_OF_INDEXES;
            break;
        default:
            break;
    }
    return TRUE;
}
