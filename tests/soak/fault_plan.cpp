#include "fault_plan.h"

#include <stdexcept>

namespace qvz {
namespace testing {
namespace {

// Error numbers an analyzer may queue: standard SCPI errors (negative) and
// device-specific ones (positive).
constexpr int kErrorCodes[] = {-113, -222, -256, 101, 102, 7};

constexpr int kShortDelaysMs[] = {20, 80, 150, 300, 450};
constexpr int kLongDelayMs = 2250;  // the I/O timeout is 2000 ms

// Every ninth apply writes the shared file (never with a fault).
bool IsShared(int index) {
    return index % 9 == 4;
}

}  // namespace

const char* FaultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::kNone:
            return "none";
        case FaultKind::kSilence:
            return "silence";
        case FaultKind::kShortDelay:
            return "short delay";
        case FaultKind::kLongDelay:
            return "long delay";
        case FaultKind::kDrop:
            return "dropped connection";
        case FaultKind::kGarbage:
            return "garbage reply";
        case FaultKind::kErrorEntry:
            return "error entry";
        case FaultKind::kLateReply:
            return "late reply";
    }
    return "?";
}

std::vector<PlannedApply> MakePlan(std::uint32_t seed, int applies, const FaultBudget& budget) {
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    std::vector<PlannedApply> plan(static_cast<std::size_t>(applies));
    for (int i = 0; i < applies; ++i) {
        PlannedApply& apply = plan[static_cast<std::size_t>(i)];
        apply.sharedFile = IsShared(i);
        // The shared file is only written, never loaded: another thread may
        // be rewriting it while this thread's analyzer would read it.
        apply.port = apply.sharedFile ? 1 : 1 + pick(4);
        apply.action = apply.sharedFile ? 2 : pick(3);
    }

    const std::pair<FaultKind, int> wanted[] = {
        {FaultKind::kSilence, budget.silence},     {FaultKind::kShortDelay, budget.shortDelay},
        {FaultKind::kLongDelay, budget.longDelay}, {FaultKind::kDrop, budget.drop},
        {FaultKind::kGarbage, budget.garbage},     {FaultKind::kErrorEntry, budget.errorEntry},
        {FaultKind::kLateReply, budget.lateReply}};
    for (const auto& [kind, count] : wanted) {
        for (int placed = 0, attempts = 0; placed < count; ++attempts) {
            if (attempts > 100000) {
                throw std::invalid_argument("more faults than the applies can hold");
            }
            // The first apply opens the series clean; the last is never faulted
            // so that every fault is followed by an apply that shows recovery.
            const int i = 1 + pick(applies - 2);
            auto free = [&](int at) {
                return at < 0 || at >= applies ||
                       plan[static_cast<std::size_t>(at)].fault == FaultKind::kNone;
            };
            PlannedApply& apply = plan[static_cast<std::size_t>(i)];
            if (apply.sharedFile || !free(i) || !free(i - 1) || !free(i + 1)) {
                continue;
            }
            apply.fault = kind;
            switch (kind) {
                case FaultKind::kSilence:
                case FaultKind::kGarbage:
                    apply.header = pick(kQueryCount);
                    break;
                case FaultKind::kLongDelay:
                case FaultKind::kLateReply:
                    apply.header = pick(kQueryCount);
                    apply.delayMs = kLongDelayMs;
                    break;
                case FaultKind::kShortDelay:
                    apply.header = pick(kDelayTargets);
                    apply.delayMs = kShortDelaysMs[pick(5)];
                    break;
                case FaultKind::kDrop:
                    apply.dropAfterCommands = 1 + pick(CommandsPerApply(apply.action) - 1);
                    break;
                case FaultKind::kErrorEntry:
                    apply.errorCode = kErrorCodes[pick(6)];
                    break;
                case FaultKind::kNone:
                    break;
            }
            ++placed;
        }
    }
    return plan;
}

}  // namespace testing
}  // namespace qvz
