// A whole session through the stand-in: the analyzer hears byte for byte what
// it hears through the built-in layer, and failures come back as the
// installed library reports them.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installed_visa_fixture.h"
#include "scripted_instrument.h"

namespace qvz {
namespace testing {
namespace {

// The two applies may fall on either side of a second: the date line is the
// clock's, not the layer's, and is left out of the comparison.
std::string WithoutDateLine(std::string file) {
    const std::size_t start = file.find("! Date:");
    if (start != std::string::npos) {
        file.erase(start, file.find('\n', start) + 1 - start);
    }
    return file;
}

const std::vector<double> kSweep = {10e6, 1.234567890123e9, 3.000000001e9, 8.5e9};

struct ApplyCase {
    const char* name;
    int port;
    int action;
    int channel;
    const char* errorEntry;
    Status expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ApplyCase& c, std::ostream* out) {
    *out << c.name;
}

struct SessionOutcome {
    Status applyStatus = 0;
    Status closeStatus = 0;
    std::string file;
};

class InstalledDialogueTest : public InstalledVisaTest,
                              public ::testing::WithParamInterface<ApplyCase> {
protected:
    // The host's side, the same for both layers.
    SessionOutcome RunSession(const ApplyCase& c) {
        SessionOutcome outcome;
        EXPECT_EQ(QVZ_init(kSocketResource), 0);
        EXPECT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        EXPECT_EQ(QVZ_SetActivePort(c.port), 0);
        EXPECT_EQ(QVZ_SetAction(c.action), 0);
        outcome.applyStatus = QVZ_ApplyChanges();
        outcome.closeStatus = QVZ_close();
        outcome.file = ReadBytes(directory / ("Prefix_Port" + std::to_string(c.port) + ".s2p"));
        return outcome;
    }
};

TEST_P(InstalledDialogueTest, SameBytesAsTheBuiltInLayer) {
    const ApplyCase& c = GetParam();

    visa::SetInstalledVisaCandidatesForTesting({});
    std::vector<std::string> builtInCommands;
    SessionOutcome builtIn;
    {
        ScriptedInstrument instrument;
        instrument.ServeAnalyzer(c.channel, kSweep, c.errorEntry);
        builtIn = RunSession(c);
        builtInCommands = instrument.Commands();
    }
    ASSERT_EQ(builtIn.applyStatus, c.expected);
    ASSERT_FALSE(builtIn.file.empty());
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);

    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    standIn.Serve(c.channel, kSweep, c.errorEntry);
    const SessionOutcome installed = RunSession(c);

    EXPECT_EQ(installed.applyStatus, c.expected);
    EXPECT_EQ(installed.closeStatus, 0);
    EXPECT_EQ(standIn.Commands(), builtInCommands);
    // The frequencies came through "%,#lf" intact: the files match too.
    EXPECT_EQ(WithoutDateLine(installed.file), WithoutDateLine(builtIn.file));

    const std::size_t commandCount = c.action == 2 ? 4 : 6;
    std::vector<std::string> expectedCalls = {
        "viOpenDefaultRM -> 1",
        std::string("viOpen 1 ") + kSocketResource + " 0 0 -> 2",
        "viSetAttribute 2 0x3FFF001A 2000",
        "viSetAttribute 2 0x3FFF0038 1",
        "viVQueryf 2",
        "viVQueryf 2",
        "viVQueryf 2",
    };
    expectedCalls.insert(expectedCalls.end(), commandCount, "viVPrintf 2");
    expectedCalls.insert(expectedCalls.end(), {"viVQueryf 2", "viClose 2", "viClose 1"});
    EXPECT_EQ(standIn.Calls(), expectedCalls);
    EXPECT_EQ(standIn.OpenSessions(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, InstalledDialogueTest,
    ::testing::Values(ApplyCase{"EmbeddingPort3Channel2", 3, 0, 2, "0,\"No error\"", 0},
                      ApplyCase{"DeembeddingPort1", 1, 1, 1, "0,\"No error\"", 0},
                      ApplyCase{"NonePort4WithAnalyzerError", 4, 2, 3, "1,\"Some error\"",
                                static_cast<Status>(0x80000001u)}),
    [](const ::testing::TestParamInfo<ApplyCase>& param) { return std::string(param.param.name); });

using InstalledFailureTest = InstalledVisaTest;

TEST_F(InstalledFailureTest, OnlyATimeoutClearsTheLibrarySession) {
    struct Case {
        const char* failing;
        visa::ViStatus status;
        bool cleared;
    };
    const Case cases[] = {
        {"viVQueryf", visa::VI_ERROR_TMO, true},
        {"viVQueryf", visa::VI_ERROR_IO, false},
        {"viVPrintf", visa::VI_ERROR_TMO, true},
        {"viVPrintf", visa::VI_ERROR_CONN_LOST, false},
    };
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.failing) + " " + std::to_string(c.status));
        standIn.Reset();
        standIn.Serve(1, kSweep);
        ASSERT_EQ(QVZ_init(kSocketResource), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        standIn.FailNext(c.failing, c.status);
        EXPECT_EQ(QVZ_ApplyChanges(), c.status);
        const std::vector<std::string> calls = standIn.Calls();
        EXPECT_EQ(CountOf(calls, "viClear 2"), c.cleared ? 1 : 0);
        EXPECT_EQ(CountOf(calls, "viClear"), c.cleared ? 1 : 0);
        if (c.cleared) {
            EXPECT_EQ(calls.back(), "viClear 2");
        }
        EXPECT_EQ(QVZ_close(), 0);
    }
}

TEST_F(InstalledFailureTest, AFailedOpenClosesTheLibraryManager) {
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    standIn.FailNext("viOpen", visa::VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(QVZ_init(kInstrResource), visa::VI_ERROR_RSRC_NFOUND);
    const std::vector<std::string> expected = {
        "viOpenDefaultRM -> 1",
        std::string("viOpen 1 ") + kInstrResource + " 0 0",
        "viClose 1",
    };
    EXPECT_EQ(standIn.Calls(), expected);
    EXPECT_EQ(standIn.OpenSessions(), 0);
}

// The calls the plug-in does not make itself still reach the library.
TEST_F(InstalledFailureTest, AttributesAndScanfAreForwardedToo) {
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    standIn.Serve(7, kSweep);
    ASSERT_EQ(QVZ_init(kInstrResource), 0);
    const visa::ViSession vi = InstrumentSession();

    visa::ViUInt32 timeout = 0;
    visa::ViBoolean termCharEnabled = 0;
    EXPECT_EQ(visa::viGetAttribute(vi, visa::VI_ATTR_TMO_VALUE, &timeout), visa::VI_SUCCESS);
    EXPECT_EQ(visa::viGetAttribute(vi, visa::VI_ATTR_TERMCHAR_EN, &termCharEnabled),
              visa::VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    EXPECT_EQ(termCharEnabled, visa::VI_TRUE);

    std::int32_t channel = 0;
    EXPECT_EQ(visa::viPrintf(vi, "%s\n", "SERVice:CHANnel:ACTive?"), visa::VI_SUCCESS);
    EXPECT_EQ(visa::viScanf(vi, "%d", &channel), visa::VI_SUCCESS);
    EXPECT_EQ(channel, 7);
    EXPECT_EQ(standIn.Calls().back(), "viVScanf 2");
}

}  // namespace
}  // namespace testing
}  // namespace qvz
