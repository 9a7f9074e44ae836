// The fault-injection soak: several host threads, each with its own session
// and its own in-process emulator, apply in a loop while their emulator
// injects faults drawn from a fixed seed (silence, replies within and beyond
// the I/O timeout, dropped connections, garbage, error-queue entries).
//
// Checked for every apply: the status is negative exactly when the injected
// fault must make that apply fail, and it is the fault's status; an apply
// that succeeds left the emulator's fixture simulator as its action says and
// wrote its port's file whole. After a timeout (the apply's device clear)
// and after a dropped connection (QVZ_init again) the next apply must be
// correct. Every ninth apply of every thread rewrites one shared file, which
// must never hold a mixture of two writes. One emulator per thread keeps the
// faults of one thread out of another's dialogue.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fault_plan.h"
#include "file_name_locks.h"
#include "platform/working_directory.h"
#include "qvzfix.h"
#include "qvzsim/server.h"
#include "single_write_check.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

constexpr std::uint32_t kSeed = 0x51A6C0DEu;
constexpr int kThreads = 4;
constexpr int kAppliesPerThread = 150;
constexpr int kTimeoutMs = 2000;
constexpr const char* kSharedPrefix = "Shared_";
constexpr std::size_t kMaxProblemsPerThread = 10;

struct Counts {
    int applies = 0;
    int succeeded = 0;
    int failedAsExpected = 0;
    std::array<int, kFaultKinds> faults{};
    int recoveredAfterTimeout = 0;
    int recoveredAfterReconnect = 0;
    int sharedWrites = 0;

    void Add(const Counts& other) {
        applies += other.applies;
        succeeded += other.succeeded;
        failedAsExpected += other.failedAsExpected;
        for (int k = 0; k < kFaultKinds; ++k) {
            faults[static_cast<std::size_t>(k)] += other.faults[static_cast<std::size_t>(k)];
        }
        recoveredAfterTimeout += other.recoveredAfterTimeout;
        recoveredAfterReconnect += other.recoveredAfterReconnect;
        sharedWrites += other.sharedWrites;
    }
};

qvzsim::SweepSettings SweepOf(int thread) {
    qvzsim::SweepSettings sweep;
    sweep.points = 21 + 10 * thread;
    sweep.startHz = (10.0 + thread) * 1e6;
    sweep.stopHz = 3e9 - thread * 1e8;
    return sweep;
}

qvzsim::ServerOptions EmulatorOf(int thread) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.channels = 2;
    options.instrument.activeChannel = 1 + thread % 2;
    options.instrument.sweep = SweepOf(thread);
    return options;
}

// The status an error-queue entry turns into: the number with bit 31 set.
std::int32_t StatusOfErrorEntry(int code) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(code) | 0x80000000u);
}

class SoakThread {
public:
    SoakThread(int index, std::filesystem::path directory,
               std::vector<std::vector<double>> allSweeps)
        : index_(index),
          directory_(std::move(directory)),
          allSweeps_(std::move(allSweeps)),
          server_(EmulatorOf(index)),
          plan_(MakePlan(kSeed + static_cast<std::uint32_t>(index), kAppliesPerThread,
                         FaultBudget{})) {}

    bool Start() { return server_.Start(); }

    void Run() {
        const std::string resource =
            "TCPIP0::127.0.0.1::" + std::to_string(server_.Port()) + "::SOCKET";
        resource_ = resource;
        Expect(QVZ_init(resource.c_str()) == 0, "init");
        Expect(QVZ_SetS2PFilePath(directory_.string().c_str()) == 0, "path");
        for (std::size_t i = 0; i < plan_.size() && problems_.size() < kMaxProblemsPerThread; ++i) {
            RunOne(static_cast<int>(i), plan_[i]);
        }
        Expect(QVZ_close() == 0, "close");
        server_.Stop();
    }

    const Counts& GetCounts() const { return counts_; }
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    enum class Pending { kNothing, kTimeout, kReconnect };

    void Expect(bool condition, const std::string& what) {
        if (!condition) {
            problems_.push_back("thread " + std::to_string(index_) + ": " + what);
        }
    }

    std::string OwnPrefix() const { return "T" + std::to_string(index_) + "_"; }

    void Arm(const PlannedApply& apply) {
        qvzsim::Faults& faults = server_.GetFaults();
        const char* header = kFaultHeaders[apply.header];
        bool armed = true;
        switch (apply.fault) {
            case FaultKind::kNone:
                break;
            case FaultKind::kSilence:
                armed = faults.Silence(header);
                break;
            case FaultKind::kGarbage:
                armed = faults.Garbage(header);
                break;
            case FaultKind::kShortDelay:
            case FaultKind::kLongDelay:
            case FaultKind::kLateReply:
                armed = faults.Delay(header, apply.delayMs);
                break;
            case FaultKind::kDrop:
                armed = faults.CloseAfter(apply.dropAfterCommands);
                break;
            case FaultKind::kErrorEntry:
                server_.GetInstrument().PushError(apply.errorCode);
                break;
        }
        Expect(armed, std::string("arming ") + FaultName(apply.fault));
        ++counts_.faults[static_cast<std::size_t>(apply.fault)];
    }

    // The status the apply must return; nothing when any failure will do
    // (a dropped connection shows as a lost connection or an I/O error,
    // depending on where the library was when it went).
    static std::optional<std::int32_t> ExpectedStatus(const PlannedApply& apply) {
        switch (apply.fault) {
            case FaultKind::kNone:
            case FaultKind::kShortDelay:
                return 0;
            case FaultKind::kSilence:
            case FaultKind::kLongDelay:
            case FaultKind::kLateReply:
                return visa::VI_ERROR_TMO;
            case FaultKind::kGarbage:
                return visa::VI_ERROR_INV_FMT;
            case FaultKind::kErrorEntry:
                return StatusOfErrorEntry(apply.errorCode);
            case FaultKind::kDrop:
                return std::nullopt;
        }
        return 0;
    }

    static std::string Describe(const PlannedApply& apply) {
        switch (apply.fault) {
            case FaultKind::kNone:
                return "no fault";
            case FaultKind::kDrop:
                return "connection dropped after command " +
                       std::to_string(apply.dropAfterCommands);
            case FaultKind::kErrorEntry:
                return "error entry " + std::to_string(apply.errorCode);
            default:
                return std::string(FaultName(apply.fault)) + " on " + kFaultHeaders[apply.header];
        }
    }

    void RunOne(int number, const PlannedApply& apply) {
        const std::string where = "apply " + std::to_string(number) + " (" + Describe(apply) + ")";
        const std::string prefix = apply.sharedFile ? kSharedPrefix : OwnPrefix();
        Expect(QVZ_SetS2PFilePrefix(prefix.c_str()) == 0, where + ": prefix");
        Expect(QVZ_SetActivePort(apply.port) == 0, where + ": port");
        Expect(QVZ_SetAction(apply.action) == 0, where + ": action");

        Arm(apply);
        ++counts_.applies;
        const std::int32_t status = QVZ_ApplyChanges();
        Expect(server_.GetFaults().ArmedCount() == 0, where + ": the fault was not used up");

        const std::optional<std::int32_t> expected = ExpectedStatus(apply);
        const bool mustFail = !expected || *expected != 0;
        if (!expected) {
            Expect(status < 0, where + ": a dropped connection must fail the apply, got " +
                                   std::to_string(status));
        } else {
            Expect(status == *expected, where + ": status " + std::to_string(status) +
                                            ", expected " + std::to_string(*expected));
        }

        if (status == 0 && !mustFail) {
            ++counts_.succeeded;
            const bool correct = CheckAppliedState(apply, where) && CheckFile(apply, where);
            if (correct && pending_ == Pending::kTimeout) ++counts_.recoveredAfterTimeout;
            if (correct && pending_ == Pending::kReconnect) ++counts_.recoveredAfterReconnect;
            Expect(pending_ == Pending::kNothing || correct,
                   where + ": the first apply after recovering is wrong");
            pending_ = Pending::kNothing;
        } else if (status < 0 && mustFail) {
            ++counts_.failedAsExpected;
        }

        switch (apply.fault) {
            case FaultKind::kSilence:
                pending_ = Pending::kTimeout;
                break;
            case FaultKind::kLongDelay:
                // The late reply lands after the apply's device clear; give it
                // time to arrive before the next query goes out.
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(apply.delayMs - kTimeoutMs + 750));
                pending_ = Pending::kTimeout;
                break;
            case FaultKind::kLateReply:
                // No pause: the next apply starts at once, and its first query's
                // answer is held back until after the late reply has been sent
                // (the apply's own timeout still leaves it time to arrive).
                Expect(
                    server_.GetFaults().Delay(kFaultHeaders[0], apply.delayMs - kTimeoutMs + 500),
                    "arming the hold-back after a late reply");
                pending_ = Pending::kTimeout;
                break;
            case FaultKind::kDrop:
                Expect(QVZ_init(resource_.c_str()) == 0, where + ": reconnect");
                pending_ = Pending::kReconnect;
                break;
            default:
                break;
        }
    }

    std::string FileName(const PlannedApply& apply) const {
        const std::string prefix = apply.sharedFile ? kSharedPrefix : OwnPrefix();
        // Spelled as the library spells it, so that the write lock taken by
        // name below is the writer's.
        return directory_.string() + kPathSeparator + prefix + "Port" + std::to_string(apply.port) +
               ".s2p";
    }

    bool CheckAppliedState(const PlannedApply& apply, const std::string& where) {
        const qvzsim::InstrumentSnapshot snapshot = server_.Snapshot();
        const qvzsim::ChannelState& channel = snapshot.Channel(snapshot.activeChannel);
        const qvzsim::PortState& port = channel.Port(apply.port);
        const std::string file = FileName(apply);
        bool ok = snapshot.errorCount == 0;
        switch (apply.action) {
            case QVZ_EMBEDDING:
                ok = ok && port.matching.on && port.matching.file == file && !port.deembedding.on &&
                     port.deembedding.file.empty() && channel.matchingOn && channel.simulatorOn;
                break;
            case QVZ_DEEMBEDDING:
                ok = ok && port.deembedding.on && port.deembedding.file == file &&
                     !port.matching.on && port.matching.file.empty() && channel.deembeddingOn &&
                     channel.simulatorOn;
                break;
            default:
                ok = ok && !port.matching.on && port.matching.file.empty() &&
                     !port.deembedding.on && port.deembedding.file.empty();
                break;
        }
        Expect(ok, where + ": the fixture simulator does not stand as the action says");
        return ok;
    }

    bool CheckFile(const PlannedApply& apply, const std::string& where) {
        const std::string name = FileName(apply);
        if (apply.sharedFile) {
            // Other threads rewrite it all the time. Read it under the
            // library's own write lock for the name, so that what is read is
            // the file between two writes, never a file being rewritten while
            // the read goes on (which would mix two writes in the reader's
            // view only): it must then hold exactly one whole write.
            std::string text;
            {
                const FileNameLock lock(name.c_str());
                text = ReadWholeFile(name);
            }
            ++counts_.sharedWrites;
            const SingleWriteResult shared =
                CheckSingleWrite(text, allSweeps_, WriteState::kComplete);
            Expect(shared.ok, where + ": shared file: " + shared.problem);
            return shared.ok;
        }
        const std::string text = ReadWholeFile(name);
        const SingleWriteResult own = CheckSingleWrite(
            text, {allSweeps_[static_cast<std::size_t>(index_)]}, WriteState::kComplete);
        Expect(own.ok, where + ": " + own.problem);
        return own.ok;
    }

    const int index_;
    const std::filesystem::path directory_;
    const std::vector<std::vector<double>> allSweeps_;
    qvzsim::Server server_;
    const std::vector<PlannedApply> plan_;
    std::string resource_;
    Pending pending_ = Pending::kNothing;
    Counts counts_;
    std::vector<std::string> problems_;
};

std::filesystem::path SoakDirectory() {
    // Unique per run: two runs on one machine must not share the files.
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                      ("qvz_fault_soak_" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void PrintCounts(const Counts& total) {
    std::printf(
        "soak (seed 0x%08X, %d threads): %d applies, %d succeeded, %d failed as the fault "
        "demanded\n",
        static_cast<unsigned>(kSeed), kThreads, total.applies, total.succeeded,
        total.failedAsExpected);
    std::printf("  faults injected:");
    for (int k = 1; k < kFaultKinds; ++k) {
        std::printf(" %s %d%s", FaultName(static_cast<FaultKind>(k)),
                    total.faults[static_cast<std::size_t>(k)], k + 1 < kFaultKinds ? "," : "\n");
    }
    std::printf("  recoveries: %d after a timeout, %d after a reconnect; shared-file writes: %d\n",
                total.recoveredAfterTimeout, total.recoveredAfterReconnect, total.sharedWrites);
}

TEST(FaultSoak, ThreadsApplyingThroughInjectedFaultsFailExactlyWhenTheyMustAndRecover) {
    const std::filesystem::path directory = SoakDirectory();
    std::vector<std::vector<double>> sweeps;
    for (int t = 0; t < kThreads; ++t) {
        sweeps.push_back(qvzsim::SweepFrequencies(SweepOf(t)));
    }
    std::vector<std::unique_ptr<SoakThread>> soakers;
    for (int t = 0; t < kThreads; ++t) {
        soakers.push_back(std::make_unique<SoakThread>(t, directory, sweeps));
        ASSERT_TRUE(soakers.back()->Start()) << "emulator " << t;
    }
    std::vector<std::thread> threads;
    for (auto& soaker : soakers) {
        threads.emplace_back([&soaker] { soaker->Run(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    Counts total;
    for (const auto& soaker : soakers) {
        total.Add(soaker->GetCounts());
        for (const std::string& problem : soaker->Problems()) {
            ADD_FAILURE() << problem;
        }
    }
    PrintCounts(total);

    const FaultBudget budget;
    const int timeouts = budget.silence + budget.longDelay + budget.lateReply;
    EXPECT_EQ(total.applies, kThreads * kAppliesPerThread);
    EXPECT_EQ(total.recoveredAfterTimeout, kThreads * timeouts);
    EXPECT_EQ(total.recoveredAfterReconnect, kThreads * budget.drop);
    EXPECT_EQ(total.faults[static_cast<std::size_t>(FaultKind::kGarbage)],
              kThreads * budget.garbage);

    // Every writer has finished: the shared file holds one whole write.
    const SingleWriteResult shared = CheckSingleWrite(
        ReadWholeFile((directory / (std::string(kSharedPrefix) + "Port1.s2p")).string()), sweeps,
        WriteState::kComplete);
    EXPECT_TRUE(shared.ok) << shared.problem;
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
