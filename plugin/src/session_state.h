// The per-thread record behind the exported API: the two VISA sessions, the
// selected port and every setting. One zero-filled block per thread, owned by
// the thread slot (session_slot.h binds it to a thread); plain data so that it
// can live in raw zero-filled memory. The one block it owns, the apply
// arrays' storage, is released with it.
#ifndef QVZ_SESSION_STATE_H
#define QVZ_SESSION_STATE_H

#include <cstdint>
#include <type_traits>

#include "qvzfix.h"
#include "sweep_storage.h"

namespace qvz {

constexpr int kPortCount = 4;
constexpr int kTextFieldSize = 256;  // filePrefix and filePath, terminator included

struct SessionState {
    std::uint32_t rmSession;
    std::uint32_t instrSession;
    std::int32_t activePort;  // 0..3; the API speaks 1..4
    double R[kPortCount];
    double L[kPortCount];
    double C[kPortCount];
    double G[kPortCount];
    double L1[kPortCount];
    double L2[kPortCount];
    double R1[kPortCount];
    double R2[kPortCount];
    double C1[kPortCount];
    double C2[kPortCount];
    double G1[kPortCount];
    double G2[kPortCount];
    // Stored as given, so values outside the public enums survive a round
    // trip: CircuitType, ActionMode, and SmoothingMode (the rounding mode
    // RoundToStandardValue applies, rounding.h).
    std::int32_t circuit[kPortCount];
    std::int32_t action[kPortCount];
    std::int32_t smoothing[kPortCount];
    char filePrefix[kTextFieldSize];
    char filePath[kTextFieldSize];
    std::uint8_t applyImmediate;
    SweepStorage sweep;  // the apply arrays' memory, kept between applies
};

static_assert(std::is_trivially_copyable<SessionState>::value,
              "SessionState lives in raw zero-filled memory");

// Factory defaults of one port.
namespace defaults {
constexpr double kR = 50.0;
constexpr double kL = 1e-9;
constexpr double kC = 1e-12;
constexpr double kG = 0.02;
constexpr double kL1 = 1e-9;
constexpr double kL2 = 1e-9;
constexpr double kR1 = 50.0;
constexpr double kR2 = 50.0;
constexpr double kC1 = 1e-12;
constexpr double kC2 = 1e-12;
constexpr double kG1 = 0.02;
constexpr double kG2 = 0.02;
constexpr std::int32_t kCircuit = QVZ_SERIES_L_SHUNT_C;
constexpr std::int32_t kAction = QVZ_NONE;
constexpr std::int32_t kSmoothing = QVZ_SMOOTH;
constexpr const char* kFilePrefix = "Prefix_";
}  // namespace defaults

// One zero-filled state (not yet initialised), or null when memory is
// exhausted.
SessionState* AllocateSessionState();
// Gives back a state and the memory it owns; null is ignored. Safe under the
// Windows loader lock: it only frees memory.
void FreeSessionState(SessionState* state);

// Restores one port's component values, circuit, action and smoothing.
void ResetPortDefaults(SessionState& state, int port);

// Fills a freshly zeroed state: defaults on every port, the default prefix
// and the current directory (with separator) as the path.
void InitialiseSessionState(SessionState& state);

// Stores `path` (at most 255 characters) into `state.filePath` and appends the
// platform's separator when it is missing and fits.
void StoreFilePath(SessionState& state, const char* path);

// Stores `prefix` (at most 255 characters) into `state.filePrefix`.
void StoreFilePrefix(SessionState& state, const char* prefix);

}  // namespace qvz

#endif
