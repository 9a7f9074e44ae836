// Which layer serves a session: the installed library when a complete one is
// found, the built-in layer otherwise.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installed_visa_fixture.h"
#include "qvzsim/server.h"
#include "scripted_instrument.h"

namespace qvz {
namespace testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kMissingFile = "/nonexistent/qvz/libvisa.so";

struct Incomplete {
    const char* missing;
    const char* path;
};

// One stand-in per required function, each built without it.
const std::vector<Incomplete>& IncompleteStandIns() {
    static const std::vector<Incomplete> variants = {
        {"viOpenDefaultRM", STAND_IN_WITHOUT_viOpenDefaultRM_PATH},
        {"viOpen", STAND_IN_WITHOUT_viOpen_PATH},
        {"viClose", STAND_IN_WITHOUT_viClose_PATH},
        {"viSetAttribute", STAND_IN_WITHOUT_viSetAttribute_PATH},
        {"viVPrintf", STAND_IN_WITHOUT_viVPrintf_PATH},
        {"viVQueryf", STAND_IN_WITHOUT_viVQueryf_PATH},
        {"viClear", STAND_IN_WITHOUT_viClear_PATH},
    };
    return variants;
}

using LibraryChoiceTest = InstalledVisaTest;

TEST_F(LibraryChoiceTest, IncompleteStandInsLackExactlyTheirOneFunction) {
    for (const Incomplete& variant : IncompleteStandIns()) {
        const StandInLibrary library(variant.path);
        ASSERT_TRUE(library.Loaded()) << variant.path;
        for (const Incomplete& other : IncompleteStandIns()) {
            EXPECT_EQ(library.Exports(other.missing), other.missing != variant.missing)
                << variant.path << " / " << other.missing;
        }
    }
}

// An INSTR resource tells the two layers apart: the built-in one cannot serve
// it, an installed library opens it.
TEST_F(LibraryChoiceTest, AnInstrResourceReachesOnlyACompleteLibrary) {
    struct Case {
        std::string name;
        std::vector<std::string> candidates;
        bool installed;
    };
    std::vector<Case> cases = {
        {"no candidates", {}, false},
        {"missing file", {kMissingFile}, false},
        {"stand-in", {STAND_IN_VISA_PATH}, true},
        {"first complete wins",
         {kMissingFile, STAND_IN_WITHOUT_viClear_PATH, STAND_IN_VISA_PATH},
         true},
    };
    for (const Incomplete& variant : IncompleteStandIns()) {
        cases.push_back({std::string("without ") + variant.missing, {variant.path}, false});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standIn.Reset();
        visa::SetInstalledVisaCandidatesForTesting(c.candidates);
        const Status status = QVZ_init(kInstrResource);
        const std::vector<std::string> calls = standIn.Calls();
        if (c.installed) {
            EXPECT_EQ(status, 0);
            ASSERT_EQ(calls.size(), 4u);
            EXPECT_EQ(calls[0], "viOpenDefaultRM -> 1");
            EXPECT_EQ(calls[1], std::string("viOpen 1 ") + kInstrResource + " 0 0 -> 2");
        } else {
            EXPECT_EQ(status, visa::VI_ERROR_RSRC_NFOUND);
            EXPECT_TRUE(calls.empty());
        }
        QVZ_close();
        EXPECT_EQ(standIn.OpenSessions(), 0);
    }
}

TEST_F(LibraryChoiceTest, WithoutACompleteLibraryTheBuiltInLayerServesSockets) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.recordMessages = true;
    qvzsim::Server analyzer(options);
    std::string error;
    ASSERT_TRUE(analyzer.Start(&error)) << error;
    const std::string resource =
        "TCPIP0::127.0.0.1::" + std::to_string(analyzer.Port()) + "::SOCKET";
    const std::vector<std::vector<std::string>> candidateLists = {
        {}, {kMissingFile}, {STAND_IN_WITHOUT_viVQueryf_PATH}};
    std::size_t expectedLines = 0;
    for (const auto& candidates : candidateLists) {
        SCOPED_TRACE(candidates.empty() ? "no candidates" : candidates.front());
        visa::SetInstalledVisaCandidatesForTesting(candidates);
        ASSERT_EQ(QVZ_init(resource.c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        EXPECT_EQ(QVZ_ApplyChanges(), 0);
        EXPECT_EQ(QVZ_close(), 0);
        expectedLines += 8;  // three queries, four commands of None, the error query
        EXPECT_TRUE(analyzer.Traffic().WaitForMessages(expectedLines, 5s));
        EXPECT_EQ(analyzer.Traffic().Messages().size(), expectedLines);
    }
    EXPECT_TRUE(standIn.Calls().empty());
}

// A scripted instrument stands for the analyzer itself, so it wins over any
// installed library while it lives.
TEST_F(LibraryChoiceTest, AScriptedInstrumentTakesPrecedence) {
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    {
        ScriptedInstrument instrument;
        EXPECT_EQ(QVZ_init(kSocketResource), 0);
        EXPECT_EQ(instrument.Count(ScriptedInstrument::Call::Open), 1);
        EXPECT_EQ(QVZ_close(), 0);
    }
    EXPECT_TRUE(standIn.Calls().empty());
    EXPECT_EQ(QVZ_init(kSocketResource), 0);
    EXPECT_EQ(CountOf(standIn.Calls(), "viOpen "), 1);
}

// The choice is made once: later sessions use the library chosen then, even
// after its file is gone, and sessions keep their library when a test makes
// the choice again.
TEST_F(LibraryChoiceTest, TheChoiceHoldsAndOpenSessionsKeepTheirLibrary) {
    const std::filesystem::path copy = directory / "copied_visa.so";
    std::filesystem::copy_file(STAND_IN_VISA_PATH, copy);
    const StandInLibrary copied(copy.string());
    ASSERT_TRUE(copied.Loaded());
    visa::SetInstalledVisaCandidatesForTesting({copy.string()});

    visa::ViSession first = visa::VI_NULL;
    ASSERT_EQ(visa::viOpenDefaultRM(&first), visa::VI_SUCCESS);
    // Gone from where the candidate list points (moved, not removed: Windows
    // keeps a loaded library's file from being deleted).
    std::filesystem::rename(copy, directory / "moved_visa.so");
    visa::ViSession second = visa::VI_NULL;
    ASSERT_EQ(visa::viOpenDefaultRM(&second), visa::VI_SUCCESS);
    EXPECT_EQ(CountOf(copied.Calls(), "viOpenDefaultRM"), 2);

    visa::SetInstalledVisaCandidatesForTesting({});
    visa::ViSession builtIn = visa::VI_NULL;
    ASSERT_EQ(visa::viOpenDefaultRM(&builtIn), visa::VI_SUCCESS);
    EXPECT_EQ(CountOf(copied.Calls(), "viOpenDefaultRM"), 2);
    visa::ViSession vi = visa::VI_NULL;
    EXPECT_EQ(visa::viOpen(builtIn, kInstrResource, 0, 0, &vi), visa::VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa::viOpen(first, kInstrResource, 0, 0, &vi), visa::VI_SUCCESS);
    EXPECT_EQ(CountOf(copied.Calls(), "viOpen "), 1);

    EXPECT_EQ(visa::viClose(first), visa::VI_SUCCESS);
    EXPECT_EQ(visa::viClose(second), visa::VI_SUCCESS);
    EXPECT_EQ(visa::viClose(builtIn), visa::VI_SUCCESS);
    EXPECT_EQ(copied.OpenSessions(), 0);
    EXPECT_TRUE(standIn.Calls().empty());
}

}  // namespace
}  // namespace testing
}  // namespace qvz
