#include "stop_signal.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <signal.h>
#endif

namespace qvzsim {
namespace app {
namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<bool> stopRequested{false};
std::atomic<bool> stopCompleted{false};

extern "C" void OnStopSignal(int /*signal*/) {
    stopRequested.store(true);
}

#ifdef _WIN32
// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            stopRequested.store(true);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: let the program stop and print
            // its report first, within the time the system grants (5 s).
            stopRequested.store(true);
            for (int waited = 0; waited < 4000 && !stopCompleted.load(); waited += 50) {
                ::Sleep(50);
            }
            return TRUE;
        default:
            return FALSE;
    }
}
#endif

}  // namespace

void InstallStopHandlers() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    std::signal(SIGTERM, OnStopSignal);  // raised within the process only
#else
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool StopRequested() {
    return stopRequested.load();
}

void StopCompleted() {
    stopCompleted.store(true);
}

}  // namespace app
}  // namespace qvzsim
