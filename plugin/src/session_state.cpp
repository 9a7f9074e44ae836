#include "session_state.h"

#include <cstring>

#include "platform/working_directory.h"
#include "platform/zeroed_memory.h"

namespace qvz {
namespace {

// Copies at most 255 characters so that the terminator always fits.
void CopyTextField(char (&field)[kTextFieldSize], const char* text) {
    std::size_t n = 0;
    while (n < kTextFieldSize - 1 && text[n] != '\0') {
        field[n] = text[n];
        ++n;
    }
    std::memset(field + n, 0, kTextFieldSize - n);
}

}  // namespace

SessionState* AllocateSessionState() {
    return static_cast<SessionState*>(AllocateZeroedMemory(sizeof(SessionState)));
}

void FreeSessionState(SessionState* state) {
    if (state != nullptr) {
        ReleaseSweepStorage(state->sweep);
    }
    FreeZeroedMemory(state);
}

void ResetPortDefaults(SessionState& state, int port) {
    state.R[port] = defaults::kR;
    state.L[port] = defaults::kL;
    state.C[port] = defaults::kC;
    state.G[port] = defaults::kG;
    state.L1[port] = defaults::kL1;
    state.L2[port] = defaults::kL2;
    state.R1[port] = defaults::kR1;
    state.R2[port] = defaults::kR2;
    state.C1[port] = defaults::kC1;
    state.C2[port] = defaults::kC2;
    state.G1[port] = defaults::kG1;
    state.G2[port] = defaults::kG2;
    state.circuit[port] = defaults::kCircuit;
    state.action[port] = defaults::kAction;
    state.smoothing[port] = defaults::kSmoothing;
}

void InitialiseSessionState(SessionState& state) {
    state.activePort = 0;
    for (int port = 0; port < kPortCount; ++port) {
        ResetPortDefaults(state, port);
    }
    CopyTextField(state.filePrefix, defaults::kFilePrefix);
    char directory[kTextFieldSize] = {};
    if (!ReadWorkingDirectory(directory, sizeof directory)) {
        directory[0] = '\0';  // the path rule then leaves the separator alone
    }
    StoreFilePath(state, directory);
}

void StoreFilePath(SessionState& state, const char* path) {
    CopyTextField(state.filePath, path);
    const std::size_t n = std::strlen(state.filePath);
    // The separator goes in only where it and the terminator both fit.
    const bool endsWithSeparator = n > 0 && state.filePath[n - 1] == kPathSeparator;
    if (!endsWithSeparator && n + 2 <= kTextFieldSize) {
        state.filePath[n] = kPathSeparator;
        state.filePath[n + 1] = '\0';
    }
}

void StoreFilePrefix(SessionState& state, const char* prefix) {
    CopyTextField(state.filePrefix, prefix);
}

}  // namespace qvz
