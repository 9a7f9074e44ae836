// Sessions of the installed library and of the built-in layer side by side:
// our handles never clash, even when the library hands out the very numbers
// the built-in layer uses.
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installed_visa_fixture.h"
#include "raw_peer.h"

namespace qvz {
namespace testing {
namespace {

using namespace std::chrono_literals;
using visa::ViSession;

using HandleSpaceTest = InstalledVisaTest;

TEST_F(HandleSpaceTest, LibraryHandlesEqualToBuiltInOnesStayApart) {
    RawPeer server;  // records, never answers
    visa::SetInstalledVisaCandidatesForTesting({});
    ViSession builtInRm = visa::VI_NULL;
    ViSession builtInVi = visa::VI_NULL;
    ASSERT_EQ(visa::viOpenDefaultRM(&builtInRm), visa::VI_SUCCESS);
    ASSERT_EQ(visa::viOpen(builtInRm, server.Resource().c_str(), 0, 0, &builtInVi),
              visa::VI_SUCCESS);

    // The library's instrument session gets the number of ours.
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    standIn.SetNextHandle(builtInVi - 1);
    ViSession installedRm = visa::VI_NULL;
    ViSession installedVi = visa::VI_NULL;
    ASSERT_EQ(visa::viOpenDefaultRM(&installedRm), visa::VI_SUCCESS);
    ASSERT_EQ(visa::viOpen(installedRm, kInstrResource, 0, 0, &installedVi), visa::VI_SUCCESS);
    ASSERT_EQ(standIn.Calls().back(), "viOpen " + std::to_string(builtInVi - 1) + " " +
                                          kInstrResource + " 0 0 -> " + std::to_string(builtInVi));

    const std::set<ViSession> handles = {builtInRm, builtInVi, installedRm, installedVi};
    EXPECT_EQ(handles.size(), 4u);

    EXPECT_EQ(visa::viPrintf(builtInVi, "TO THE SOCKET\n"), visa::VI_SUCCESS);
    EXPECT_EQ(visa::viPrintf(installedVi, "TO THE LIBRARY %d\n", 1), visa::VI_SUCCESS);
    ASSERT_TRUE(server.WaitForLines(1, 5s));
    EXPECT_EQ(server.Lines(), std::vector<std::string>{"TO THE SOCKET\n"});
    EXPECT_EQ(standIn.Commands(), std::vector<std::string>{"TO THE LIBRARY 1\n"});

    // Closing the library's manager takes its session along and leaves the
    // built-in one alone.
    EXPECT_EQ(visa::viClose(installedRm), visa::VI_SUCCESS);
    EXPECT_EQ(standIn.OpenSessions(), 0);
    EXPECT_EQ(visa::viPrintf(installedVi, "GONE\n"), visa::VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa::viClose(installedVi), visa::VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa::viPrintf(builtInVi, "STILL HERE\n"), visa::VI_SUCCESS);
    ASSERT_TRUE(server.WaitForLines(2, 5s));
    EXPECT_EQ(server.Lines().back(), "STILL HERE\n");
    EXPECT_EQ(standIn.Commands().size(), 1u);
    EXPECT_EQ(CountOf(standIn.Calls(), "viVPrintf"), 1);

    EXPECT_EQ(visa::viClose(builtInRm), visa::VI_SUCCESS);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
