// The thread slot of the real DLL, driven by its entry point: each thread's
// state comes from LocalAlloc zero-filled, a thread that ends without
// QVZ_close gives it back through its thread detach, and unloading gives back
// the unloading thread's. The DLL's LocalAlloc and LocalFree are watched
// through its import table (local_memory_log.h).
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loaded_qvzfix.h"
#include "raw_peer.h"
#include "local_memory_log.h"
#include "session_state.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using namespace std::chrono_literals;
namespace memory = local_memory_log;

// The VISA layer refuses this name at once: QVZ_init still leaves the thread
// its state, and no I/O happens.
constexpr const char* kUnopenableResource = "not a resource";
constexpr auto kDetachWait = 5s;

class ThreadSlotDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load()) << kQvzfixDll << " beside the test, error " << GetLastError();
        ASSERT_TRUE(memory::Attach(library.Module()));
    }

    // What one thread did and saw, filled in on that thread.
    struct ThreadRecord {
        DWORD id = 0;
        bool stateHeld = false;
        LocalMemoryCall allocation{};
        bool allocationFound = false;
        bool freedBeforeItEnded = true;
    };

    // QVZ_init on the calling thread, then checks that the state is there and
    // where it came from. Runs on the worker thread.
    void InitAndInspect(ThreadRecord& record) {
        record.id = GetCurrentThreadId();
        const std::size_t from = memory::NextOrder();
        EXPECT_LT(library.init(kUnopenableResource), 0);
        std::int32_t port = 0;
        record.stateHeld = library.getActivePort(&port) == 0 && port == 1;
        record.allocationFound =
            memory::FindAllocation(record.id, sizeof(SessionState), from, &record.allocation);
        LocalMemoryCall unused{};
        record.freedBeforeItEnded =
            record.allocationFound && memory::WaitForFree(record.allocation, 0ms, &unused);
    }

    LoadedQvzfix library;
};

TEST_F(ThreadSlotDll, ThreadsEndingWithoutCloseHaveTheirStatesFreedByTheirDetach) {
    constexpr int kThreads = 4;
    std::vector<ThreadRecord> records(kThreads);
    std::vector<std::thread> threads;
    for (ThreadRecord& record : records) {
        threads.emplace_back([&] { InitAndInspect(record); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const ThreadRecord& record : records) {
        SCOPED_TRACE(record.id);
        EXPECT_TRUE(record.stateHeld);
        ASSERT_TRUE(record.allocationFound) << "one LocalAlloc of a SessionState per thread";
        EXPECT_EQ(record.allocation.flags, static_cast<UINT>(LPTR)) << "fixed and zero-filled";
        EXPECT_FALSE(record.freedBeforeItEnded);
        LocalMemoryCall freed{};
        ASSERT_TRUE(memory::WaitForFree(record.allocation, kDetachWait, &freed))
            << "the thread ended without QVZ_close; its detach frees the state";
        EXPECT_EQ(freed.thread, record.id) << "freed on the ending thread, in its detach";
    }
    // The test's own thread never had a state.
    EXPECT_EQ(library.close(), visa::VI_ERROR_INV_OBJECT);
}

// The detach runs under the loader lock, where no socket may be closed: the
// connections of threads that ended without QVZ_close are closed by the next
// QVZ_init (or QVZ_close) of any thread.
TEST_F(ThreadSlotDll, ConnectionsOfEndedThreadsCloseAtTheNextInit) {
    RawPeer analyzer;
    const std::string resource = analyzer.Resource();
    constexpr int kThreads = 8;
    std::vector<std::int32_t> statuses(kThreads, -1);
    for (std::int32_t& status : statuses) {
        std::thread([&] { status = library.init(resource.c_str()); }).join();
    }
    for (const std::int32_t status : statuses) {
        EXPECT_EQ(status, 0);
    }
    ASSERT_TRUE(analyzer.WaitForConnections(kThreads, kDetachWait));
    // Each thread's init closed the connection the thread before it left;
    // the last one stays open, as nothing is closed inside the detach.
    EXPECT_TRUE(analyzer.WaitForDisconnect(kDetachWait, kThreads - 1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(analyzer.PeerDisconnects(), kThreads - 1);

    ASSERT_EQ(library.init(resource.c_str()), 0);
    EXPECT_TRUE(analyzer.WaitForDisconnect(kDetachWait, kThreads))
        << analyzer.PeerDisconnects() << " of " << kThreads << " closed";
    EXPECT_EQ(library.close(), 0);
}

TEST_F(ThreadSlotDll, CloseFreesTheStateOnceAndTheDetachHasNothingLeft) {
    ThreadRecord record;
    std::int32_t closeStatus = -1;
    std::thread worker([&] {
        InitAndInspect(record);
        closeStatus = library.close();
    });
    worker.join();
    ASSERT_TRUE(record.allocationFound);
    EXPECT_EQ(closeStatus, 0);
    // Give a (wrong) second free in the detach the time to show up.
    std::this_thread::sleep_for(100ms);
    int frees = 0;
    for (const LocalMemoryCall& call : memory::Frees()) {
        frees += call.block == record.allocation.block && call.order > record.allocation.order;
    }
    EXPECT_EQ(frees, 1);
}

TEST_F(ThreadSlotDll, ANewThreadStartsWithoutAState) {
    ASSERT_LT(library.init(kUnopenableResource), 0);
    std::int32_t port = 0;
    ASSERT_EQ(library.getActivePort(&port), 0) << "this thread holds a state";
    std::int32_t otherPortStatus = 0;
    std::int32_t otherCloseStatus = 0;
    std::thread other([&] {
        otherPortStatus = library.getActivePort(&port);
        otherCloseStatus = library.close();
    });
    other.join();
    EXPECT_EQ(otherPortStatus, visa::VI_ERROR_IO);
    EXPECT_EQ(otherCloseStatus, visa::VI_ERROR_INV_OBJECT);
    EXPECT_EQ(library.close(), 0);
}

TEST_F(ThreadSlotDll, UnloadingFreesTheUnloadingThreadsState) {
    ThreadRecord record;
    InitAndInspect(record);
    ASSERT_TRUE(record.stateHeld);
    ASSERT_TRUE(record.allocationFound);
    library.Unload();
    ASSERT_EQ(GetModuleHandleA(kQvzfixDll), nullptr) << "the library really went away";
    LocalMemoryCall freed{};
    ASSERT_TRUE(memory::WaitForFree(record.allocation, 0ms, &freed))
        << "process detach frees the state of the thread that unloads";
    EXPECT_EQ(freed.thread, record.id);

    // Loaded again, the library knows nothing of the earlier state.
    ASSERT_TRUE(library.Load());
    std::int32_t port = 0;
    EXPECT_EQ(library.getActivePort(&port), visa::VI_ERROR_IO);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
