// The soak's schedule: for one thread, which port and action each apply
// uses and which fault (if any) the emulator injects into it. Drawn from a
// fixed seed so that every run injects the same faults in the same places;
// a faulted apply is always followed by a clean one, which shows whether the
// session recovered.
#ifndef QVZ_TESTS_SOAK_FAULT_PLAN_H
#define QVZ_TESTS_SOAK_FAULT_PLAN_H

#include <cstdint>
#include <random>
#include <vector>

namespace qvz {
namespace testing {

enum class FaultKind {
    kNone,
    kSilence,     // a query is never answered: the apply times out
    kShortDelay,  // a reply comes late but within the I/O timeout: no failure
    kLongDelay,   // a reply comes after the timeout: the apply times out
    kDrop,        // the emulator closes the connection part-way
    kGarbage,     // a query is answered with garbage
    kErrorEntry,  // the error queue holds an entry when the apply reads it
    kLateReply,   // a reply comes after the timeout, while the next apply's first
                  // query waits for its own (held back) answer
};
constexpr int kFaultKinds = 8;

const char* FaultName(FaultKind kind);

// How many faults of each kind one thread gets. Long delays and silences
// cost a whole I/O timeout each, so they are few.
struct FaultBudget {
    int silence = 2;
    int shortDelay = 6;
    int longDelay = 1;
    int drop = 4;
    int garbage = 4;
    int errorEntry = 4;
    int lateReply = 2;
};

// The headers the faults name. Queries first, in the order an apply sends
// them; then two commands every action sends exactly once.
constexpr int kQueryCount = 4;
constexpr const char* kFaultHeaders[] = {
    "SERVice:CHANnel:ACTive?",
    "SENSe:SWEep:POINts?",
    "SENSe:FREQuency:DATA?",
    "SYSTem:ERRor?",
    "CALCulate:FSIMulator:SENDed:PMCircuit:PORT:STATe",
    "CALCulate:FSIMulator:SENDed:DEEMbed:PORT:USER:FILename",
};
constexpr int kDelayTargets = 6;

struct PlannedApply {
    int port = 1;             // 1..4
    int action = 2;           // 0 Embedding, 1 Deembedding, 2 None
    bool sharedFile = false;  // written under the prefix every thread shares
    FaultKind fault = FaultKind::kNone;
    int header = 0;  // index into kFaultHeaders
    int delayMs = 0;
    int dropAfterCommands = 0;  // 1..commands-1: the apply cannot complete
    int errorCode = 0;
};

// Commands one apply sends when it runs to the end.
inline int CommandsPerApply(int action) {
    return action == 0 || action == 1 ? 10 : 8;
}

std::vector<PlannedApply> MakePlan(std::uint32_t seed, int applies, const FaultBudget& budget);

}  // namespace testing
}  // namespace qvz

#endif
