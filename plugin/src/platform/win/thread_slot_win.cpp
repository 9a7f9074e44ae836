// Windows thread slot: one TLS index allocated at process attach and driven
// by the library's entry point. States come from LocalAlloc, zero-filled.
// The entry point runs under the loader lock, so it makes no VISA or socket
// call: it only allocates, clears and frees.
#include <windows.h>

#include "platform/thread_slot.h"
#include "session_state.h"

namespace qvz {
namespace {

DWORD g_tlsIndex = TLS_OUT_OF_INDEXES;

void FreeCallingThreadState() {
    if (g_tlsIndex == TLS_OUT_OF_INDEXES) {
        return;
    }
    FreeSessionState(static_cast<SessionState*>(TlsGetValue(g_tlsIndex)));
    TlsSetValue(g_tlsIndex, nullptr);
}

}  // namespace

SessionState* ThreadSlotGet() {
    if (g_tlsIndex == TLS_OUT_OF_INDEXES) {
        return nullptr;
    }
    return static_cast<SessionState*>(TlsGetValue(g_tlsIndex));
}

bool ThreadSlotSet(SessionState* state) {
    return g_tlsIndex != TLS_OUT_OF_INDEXES && TlsSetValue(g_tlsIndex, state) != FALSE;
}

SessionState* AllocateSessionState() {
    return static_cast<SessionState*>(LocalAlloc(LPTR, sizeof(SessionState)));
}

void FreeSessionState(SessionState* state) {
    if (state != nullptr) {
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
            if (g_tlsIndex != TLS_OUT_OF_INDEXES) {
                TlsSetValue(g_tlsIndex, nullptr);
            }
            break;
        case DLL_THREAD_DETACH:
            qvz::FreeCallingThreadState();
            break;
        case DLL_PROCESS_DETACH:
            qvz::FreeCallingThreadState();
            if (g_tlsIndex != TLS_OUT_OF_INDEXES) {
                TlsFree(g_tlsIndex);
                g_tlsIndex = TLS_OUT_OF_INDEXES;
            }
            break;
        default:
            break;
    }
    return TRUE;
}
