// The thread slot when the library is linked into the program: no entry
// point runs, so the slot is created at first use and a thread that ends
// without QVZ_close must still give its state back. The program's own
// LocalAlloc and LocalFree imports are watched (local_memory_log.h).
#include <chrono>
#include <cstdint>
#include <thread>

#include <gtest/gtest.h>

#include "local_memory_log.h"
#include "qvzfix.h"
#include "session_state.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using namespace std::chrono_literals;
namespace memory = local_memory_log;

constexpr const char* kUnopenableResource = "not a resource";

TEST(StaticThreadSlot, AThreadEndingWithoutCloseHasItsStateFreedOnThatThread) {
    ASSERT_TRUE(memory::Attach(GetModuleHandleA(nullptr)));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        DWORD id = 0;
        bool stateHeld = false;
        bool found = false;
        bool freedEarly = true;
        LocalMemoryCall allocation{};
        std::thread worker([&] {
            id = GetCurrentThreadId();
            const std::size_t from = memory::NextOrder();
            EXPECT_LT(QVZ_init(kUnopenableResource), 0);
            std::int32_t port = 0;
            stateHeld = QVZ_GetActivePort(&port) == 0;
            found = memory::FindAllocation(id, sizeof(SessionState), from, &allocation);
            LocalMemoryCall unused{};
            freedEarly = found && memory::WaitForFree(allocation, 0ms, &unused);
        });
        worker.join();
        EXPECT_TRUE(stateHeld);
        ASSERT_TRUE(found) << "one zero-filled LocalAlloc per state";
        EXPECT_EQ(allocation.flags, static_cast<UINT>(LPTR));
        EXPECT_FALSE(freedEarly);
        LocalMemoryCall freed{};
        ASSERT_TRUE(memory::WaitForFree(allocation, 5s, &freed));
        EXPECT_EQ(freed.thread, id) << "freed as the thread ended";
    }
    EXPECT_EQ(QVZ_close(), visa::VI_ERROR_INV_OBJECT) << "this thread never had a state";
}

TEST(StaticThreadSlot, EachThreadSeesOnlyItsOwnState) {
    ASSERT_LT(QVZ_init(kUnopenableResource), 0);
    std::int32_t status = 0;
    std::thread other([&] {
        std::int32_t port = 0;
        status = QVZ_GetActivePort(&port);
    });
    other.join();
    EXPECT_EQ(status, visa::VI_ERROR_IO);
    EXPECT_EQ(QVZ_close(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
