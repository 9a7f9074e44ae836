// The exported API on one thread: defaults, the change rules of the setters,
// the copies of the getters, the session lifecycle and the argument checks.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api_fixture.h"
#include "raw_peer.h"
#include "platform/working_directory.h"
#include "rounding.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using Call = ScriptedInstrument::Call;
using namespace qvz::visa;

constexpr double kEps = 2.220446049250313e-16;

// Runs `body` on a fresh thread, which has no session of its own.
void OnFreshThread(const std::function<void()>& body) {
    std::thread thread(body);
    thread.join();
}

TEST_F(ApiTest, NewSessionHoldsTheDefaultsOnEveryPort) {
    const SessionState& s = GetState();
    EXPECT_NE(s.rmSession, 0u);
    EXPECT_NE(s.instrSession, 0u);
    EXPECT_EQ(s.activePort, 0);
    for (int p = 0; p < kPortCount; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(s.R[p], 50.0);
        EXPECT_EQ(s.L[p], 1e-9);
        EXPECT_EQ(s.C[p], 1e-12);
        EXPECT_EQ(s.G[p], 0.02);
        EXPECT_EQ(s.L1[p], 1e-9);
        EXPECT_EQ(s.L2[p], 1e-9);
        EXPECT_EQ(s.R1[p], 50.0);
        EXPECT_EQ(s.R2[p], 50.0);
        EXPECT_EQ(s.C1[p], 1e-12);
        EXPECT_EQ(s.C2[p], 1e-12);
        EXPECT_EQ(s.G1[p], 0.02);
        EXPECT_EQ(s.G2[p], 0.02);
        EXPECT_EQ(s.circuit[p], QVZ_SERIES_L_SHUNT_C);
        EXPECT_EQ(s.action[p], QVZ_NONE);
        EXPECT_EQ(s.smoothing[p], QVZ_SMOOTH);
    }
    EXPECT_STREQ(s.filePrefix, "Prefix_");
    EXPECT_EQ(s.applyImmediate, 0);
}

TEST_F(ApiTest, DefaultPathIsTheWorkingDirectoryWithASeparator) {
    ASSERT_EQ(QVZ_close(), 0);
    ASSERT_EQ(QVZ_init(kScriptedResource), 0);
    char cwd[kTextFieldSize] = {};
    ASSERT_TRUE(ReadWorkingDirectory(cwd, sizeof cwd));
    std::string expected = cwd;
    if (expected.back() != kPathSeparator) {
        expected += kPathSeparator;
    }
    EXPECT_EQ(std::string(GetState().filePath), expected);
}

TEST_F(ApiTest, GettersReadTheActivePortThroughRounding) {
    std::int32_t port = 0, circuit = -1, smoothing = -1, action = -1;
    EXPECT_EQ(QVZ_GetActivePort(&port), 0);
    EXPECT_EQ(QVZ_GetCircuit(&circuit), 0);
    EXPECT_EQ(QVZ_GetSmoothing(&smoothing), 0);
    EXPECT_EQ(QVZ_GetAction(&action), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(circuit, QVZ_SERIES_L_SHUNT_C);
    EXPECT_EQ(smoothing, QVZ_SMOOTH);
    EXPECT_EQ(action, QVZ_NONE);

    ASSERT_EQ(QVZ_SetSmoothing(QVZ_E12), 0);
    ASSERT_EQ(QVZ_SetRLCGValues(51.31, 1.127e-9, 1.3014e-12, 0.01922), 0);
    double r = 0, l = 0, c = 0, g = 0;
    ASSERT_EQ(QVZ_GetRLCGValues(&r, &l, &c, &g), 0);
    EXPECT_EQ(r, 4.7 * 10);
    EXPECT_EQ(l, 1.2 * 1e-9);
    EXPECT_EQ(c, 1.2 * 1e-12);
    EXPECT_EQ(g, 1.8 * 0.01);
    // The stored values stay as given.
    EXPECT_EQ(GetState().R[0], 51.31);
    EXPECT_EQ(GetState().G[0], 0.01922);

    ASSERT_EQ(QVZ_SetL1R1L2R2Values(1.127e-9, 51.31, 3.3e-9, 0.01922), 0);
    ASSERT_EQ(QVZ_GetL1R1L2R2Values(&l, &r, &c, &g), 0);
    EXPECT_EQ(l, 1.2 * 1e-9);
    EXPECT_EQ(r, 4.7 * 10);
    EXPECT_EQ(c, 3.3 * 1e-9);
    EXPECT_EQ(g, 1.8 * 0.01);

    ASSERT_EQ(QVZ_SetC1G1C2G2Values(1.3014e-12, 0.01922, 5.6e-12, 51.31), 0);
    ASSERT_EQ(QVZ_GetC1G1C2G2Values(&c, &g, &l, &r), 0);
    EXPECT_EQ(c, 1.2 * 1e-12);
    EXPECT_EQ(g, 1.8 * 0.01);
    EXPECT_EQ(l, 5.6 * 1e-12);
    EXPECT_EQ(r, 4.7 * 10);
}

// Each setter with the value already stored: no apply, no instrument I/O.
TEST_F(ApiTest, SettingTheStoredValueIsANoOpEvenWithApplyImmediate) {
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    ASSERT_EQ(Applies(), 1);
    instrument.ClearRecords();
    const std::string path = GetState().filePath;
    const struct {
        const char* name;
        std::function<std::int32_t()> call;
    } sameValue[] = {
        {"circuit", [] { return QVZ_SetCircuit(QVZ_SERIES_L_SHUNT_C); }},
        {"smoothing", [] { return QVZ_SetSmoothing(QVZ_SMOOTH); }},
        {"action", [] { return QVZ_SetAction(QVZ_NONE); }},
        {"RLCG", [] { return QVZ_SetRLCGValues(50, 1e-9, 1e-12, 0.02); }},
        {"L1R1L2R2", [] { return QVZ_SetL1R1L2R2Values(1e-9, 50, 1e-9, 50); }},
        {"C1G1C2G2", [] { return QVZ_SetC1G1C2G2Values(1e-12, 0.02, 1e-12, 0.02); }},
        {"path", [&] { return QVZ_SetS2PFilePath(path.c_str()); }},
        {"prefix", [] { return QVZ_SetS2PFilePrefix("Prefix_"); }},
        {"apply immediate", [] { return QVZ_SetApplyImmediate(1); }},
        {"active port", [] { return QVZ_SetActivePort(1); }},
    };
    for (const auto& setter : sameValue) {
        EXPECT_EQ(setter.call(), 0) << setter.name;
        EXPECT_TRUE(instrument.Records().empty()) << setter.name;
    }
}

// Each setter with a new value: stored, and exactly one apply.
TEST_F(ApiTest, EveryChangeAppliesOnceWithApplyImmediate) {
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    const struct {
        const char* name;
        std::function<std::int32_t()> call;
        std::function<bool(const SessionState&)> stored;
    } changes[] = {
        {"circuit", [] { return QVZ_SetCircuit(QVZ_SERIES_C_SHUNT_C); },
         [](auto& s) { return s.circuit[0] == QVZ_SERIES_C_SHUNT_C; }},
        {"smoothing", [] { return QVZ_SetSmoothing(QVZ_E6); },
         [](auto& s) { return s.smoothing[0] == QVZ_E6; }},
        {"action", [] { return QVZ_SetAction(QVZ_EMBEDDING); },
         [](auto& s) { return s.action[0] == QVZ_EMBEDDING; }},
        {"RLCG", [] { return QVZ_SetRLCGValues(50, 2e-9, 1e-12, 0.02); },
         [](auto& s) { return s.L[0] == 2e-9; }},
        {"L1R1L2R2", [] { return QVZ_SetL1R1L2R2Values(1e-9, 50, 1e-9, 10); },
         [](auto& s) { return s.R2[0] == 10.0; }},
        {"C1G1C2G2", [] { return QVZ_SetC1G1C2G2Values(1e-12, 0.02, 1e-12, 0.5); },
         [](auto& s) { return s.G2[0] == 0.5; }},
        {"prefix", [] { return QVZ_SetS2PFilePrefix("P_"); },
         [](auto& s) { return std::strcmp(s.filePrefix, "P_") == 0; }},
        {"reset", [] { return QVZ_ResetValues(); },
         [](auto& s) { return s.circuit[0] == QVZ_SERIES_L_SHUNT_C; }},
        {"reset again (always applies)", [] { return QVZ_ResetValues(); },
         [](auto& s) { return s.circuit[0] == QVZ_SERIES_L_SHUNT_C; }},
    };
    for (const auto& change : changes) {
        instrument.ClearRecords();
        EXPECT_EQ(change.call(), 0) << change.name;
        EXPECT_TRUE(change.stored(GetState())) << change.name;
        EXPECT_EQ(Applies(), 1) << change.name;
    }
}

// The enums name the meaningful values, but any int32 is stored and read back
// as given (the model, rounding and apply give the others their meaning).
TEST_F(ApiTest, IntegerSettingsKeepValuesOutsideTheirEnums) {
    const struct {
        const char* name;
        std::int32_t (*set)(std::int32_t);
        std::int32_t (*get)(std::int32_t*);
        std::int32_t firstOutside;
    } settings[] = {
        {"circuit", QVZ_SetCircuit, QVZ_GetCircuit, QVZ_SHUNT_L_SERIES_L + 1},
        {"smoothing", QVZ_SetSmoothing, QVZ_GetSmoothing, QVZ_SMOOTH + 1},
        {"action", QVZ_SetAction, QVZ_GetAction, QVZ_NONE + 1},
    };
    for (const auto& setting : settings) {
        for (const std::int32_t value :
             {setting.firstOutside, -1, std::numeric_limits<std::int32_t>::min(),
              std::numeric_limits<std::int32_t>::max()}) {
            SCOPED_TRACE(std::string(setting.name) + " " + std::to_string(value));
            std::int32_t readBack = 0;
            EXPECT_EQ(setting.set(value), 0);
            EXPECT_EQ(setting.get(&readBack), 0);
            EXPECT_EQ(readBack, value);
        }
    }
}

TEST_F(ApiTest, WithoutApplyImmediateSettersTalkToNobody) {
    EXPECT_EQ(QVZ_SetCircuit(QVZ_SHUNT_L_SHUNT_C), 0);
    EXPECT_EQ(QVZ_SetRLCGValues(1, 2, 3, 4), 0);
    EXPECT_EQ(QVZ_ResetValues(), 0);
    EXPECT_EQ(QVZ_SetApplyImmediate(0), 0);
    EXPECT_TRUE(instrument.Records().empty());
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(Applies(), 1);
}

TEST_F(ApiTest, FourValuesChangeAtExactlyTheToleranceAndNotBelow) {
    ASSERT_EQ(QVZ_SetRLCGValues(0, 0, 0, 0), 0);
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    const double below = std::nextafter(kEps, 0.0);
    for (int which = 0; which < 4; ++which) {
        SCOPED_TRACE(which);
        double v[4] = {0, 0, 0, 0};
        v[which] = below;
        instrument.ClearRecords();
        EXPECT_EQ(QVZ_SetRLCGValues(v[0], v[1], v[2], v[3]), 0);
        EXPECT_EQ(Applies(), 0);
        EXPECT_EQ(GetState().R[0], 0.0) << "an unchanged set stores nothing";

        v[which] = kEps;
        EXPECT_EQ(QVZ_SetRLCGValues(v[0], v[1], v[2], v[3]), 0);
        EXPECT_EQ(Applies(), 1);
        const double stored[4] = {GetState().R[0], GetState().L[0], GetState().C[0],
                                  GetState().G[0]};
        EXPECT_EQ(stored[which], kEps);
        ASSERT_EQ(QVZ_SetApplyImmediate(0), 0);
        ASSERT_EQ(QVZ_SetRLCGValues(0, 0, 0, 0), 0);
        ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    }
}

TEST_F(ApiTest, AChangeStoresAllFourEvenTheUnchangedOnes) {
    // Values within the tolerance of the stored ones are stored as given too.
    ASSERT_EQ(QVZ_SetRLCGValues(50, 1e-9, 1e-12, 0.02 + 1e-17), 0);
    EXPECT_EQ(GetState().G[0], 0.02) << "within tolerance: no change";
    ASSERT_EQ(QVZ_SetRLCGValues(51, 1e-9 + 1e-20, 1e-12, 0.02 + 1e-17), 0);
    EXPECT_EQ(GetState().R[0], 51.0);
    EXPECT_EQ(GetState().L[0], 1e-9 + 1e-20);
    EXPECT_EQ(GetState().G[0], 0.02 + 1e-17);
}

TEST_F(ApiTest, PathGetsTheSeparatorOnceAndTheBarePathCountsAsAChange) {
    const std::string bare = std::string(::testing::TempDir()) + "qvz_data";
    const std::string withSeparator = bare + kPathSeparator;
    std::filesystem::create_directories(bare);
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);

    instrument.ClearRecords();
    ASSERT_EQ(QVZ_SetS2PFilePath(bare.c_str()), 0);
    EXPECT_EQ(std::string(GetState().filePath), withSeparator);
    EXPECT_EQ(Applies(), 1);

    instrument.ClearRecords();
    ASSERT_EQ(QVZ_SetS2PFilePath(withSeparator.c_str()), 0);
    EXPECT_EQ(Applies(), 0) << "the stored path again is a no-op";

    ASSERT_EQ(QVZ_SetS2PFilePath(bare.c_str()), 0);
    EXPECT_EQ(Applies(), 1) << "the bare path differs from the stored one";
    EXPECT_EQ(std::string(GetState().filePath), withSeparator);
}

TEST_F(ApiTest, EmptyPathBecomesTheSeparatorAlone) {
    ASSERT_EQ(QVZ_SetS2PFilePath(""), 0);
    EXPECT_EQ(std::string(GetState().filePath), std::string(1, kPathSeparator));
}

TEST_F(ApiTest, LongPathAndPrefixKeep255Characters) {
    const std::string longText(300, 'a');
    ASSERT_EQ(QVZ_SetS2PFilePath(longText.c_str()), 0);
    EXPECT_EQ(std::strlen(GetState().filePath), 255u) << "no room left for the separator";
    ASSERT_EQ(QVZ_SetS2PFilePrefix(longText.c_str()), 0);
    EXPECT_EQ(std::string(GetState().filePrefix), std::string(255, 'a'));

    const std::string path254(254, 'b');
    ASSERT_EQ(QVZ_SetS2PFilePath(path254.c_str()), 0);
    EXPECT_EQ(std::string(GetState().filePath), path254 + kPathSeparator);
}

TEST_F(ApiTest, TextGettersCopyExactlySizeBytes) {
    char buffer[32];
    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(QVZ_GetS2PFilePrefix(16, buffer), 0);
    EXPECT_EQ(std::string(buffer, 7), "Prefix_");
    for (int i = 7; i < 16; ++i) {
        EXPECT_EQ(buffer[i], '\0') << i;
    }
    EXPECT_EQ(buffer[16], 0x5A) << "nothing past size";

    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(QVZ_GetS2PFilePrefix(7, buffer), 0);
    EXPECT_EQ(std::string(buffer, 7), "Prefix_");
    EXPECT_EQ(buffer[7], 0x5A) << "a string of size characters has no terminator";

    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(QVZ_GetS2PFilePrefix(3, buffer), 0);
    EXPECT_EQ(std::string(buffer, 3), "Pre");
    EXPECT_EQ(buffer[3], 0x5A);

    ASSERT_EQ(QVZ_SetS2PFilePath("/x"), 0);
    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(QVZ_GetS2PFilePath(5, buffer), 0);
    EXPECT_EQ(std::string(buffer, 5), std::string("/x") + kPathSeparator + std::string(2, '\0'));
    EXPECT_EQ(buffer[5], 0x5A);
}

TEST_F(ApiTest, NonPositiveSizesCopyNothing) {
    char buffer[8];
    for (std::int32_t size : {0, -1, -100000}) {
        std::memset(buffer, 0x5A, sizeof buffer);
        EXPECT_EQ(QVZ_GetS2PFilePath(size, buffer), 0) << size;
        EXPECT_EQ(QVZ_GetS2PFilePrefix(size, buffer), 0) << size;
        EXPECT_EQ(QVZ_GetS2PFilePrefix(size, nullptr), 0) << size;
        for (char c : buffer) {
            EXPECT_EQ(c, 0x5A);
        }
    }
}

TEST_F(ApiTest, ApplyImmediateLooksAtTheLow16BitsAndAppliesWhenSwitchedOn) {
    std::uint16_t flag = 7;
    const std::uint32_t hostValue = 65536;  // a host passing a wider integer
    EXPECT_EQ(QVZ_SetApplyImmediate(static_cast<std::uint16_t>(hostValue)), 0);
    EXPECT_EQ(QVZ_GetApplyImmediate(&flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(Applies(), 0);

    EXPECT_EQ(QVZ_SetApplyImmediate(0x8000), 0);
    EXPECT_EQ(QVZ_GetApplyImmediate(&flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(Applies(), 1);

    instrument.ClearRecords();
    EXPECT_EQ(QVZ_SetApplyImmediate(0), 0);
    EXPECT_EQ(QVZ_GetApplyImmediate(&flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(instrument.Records().empty()) << "switching off does not apply";
}

TEST_F(ApiTest, ResetRestoresOnlyTheActivePort) {
    for (std::int32_t port = 1; port <= 4; ++port) {
        ASSERT_EQ(QVZ_SetActivePort(port), 0);
        // A different circuit and smoothing on every port.
        ASSERT_EQ(QVZ_SetCircuit(port + 3), 0);
        ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
        ASSERT_EQ(QVZ_SetSmoothing(port - 1), 0);
        ASSERT_EQ(QVZ_SetRLCGValues(port, port, port, port), 0);
        ASSERT_EQ(QVZ_SetL1R1L2R2Values(port, port, port, port), 0);
        ASSERT_EQ(QVZ_SetC1G1C2G2Values(port, port, port, port), 0);
    }
    ASSERT_EQ(QVZ_SetS2PFilePrefix("Kept_"), 0);
    ASSERT_EQ(QVZ_SetActivePort(2), 0);
    ASSERT_EQ(QVZ_ResetValues(), 0);

    const SessionState& s = GetState();
    EXPECT_EQ(s.activePort, 1);
    EXPECT_EQ(s.circuit[1], QVZ_SERIES_L_SHUNT_C);
    EXPECT_EQ(s.action[1], QVZ_NONE);
    EXPECT_EQ(s.smoothing[1], QVZ_SMOOTH);
    EXPECT_EQ(s.R[1], 50.0);
    EXPECT_EQ(s.L1[1], 1e-9);
    EXPECT_EQ(s.G2[1], 0.02);
    for (int p : {0, 2, 3}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(s.circuit[p], p + 4);
        EXPECT_EQ(s.action[p], QVZ_EMBEDDING);
        EXPECT_EQ(s.smoothing[p], p);
        EXPECT_EQ(s.R[p], p + 1.0);
        EXPECT_EQ(s.R2[p], p + 1.0);
        EXPECT_EQ(s.G2[p], p + 1.0);
    }
    EXPECT_STREQ(s.filePrefix, "Kept_");
}

TEST_F(ApiTest, PortsOutsideOneToFourAreRefusedAndKeepTheSelection) {
    ASSERT_EQ(QVZ_SetActivePort(3), 0);
    for (std::int32_t bad : {0, 5, -1, 1000, INT32_MIN}) {
        EXPECT_EQ(QVZ_SetActivePort(bad), VI_ERROR_INV_PARAMETER) << bad;
        EXPECT_EQ(GetState().activePort, 2) << bad;
    }
}

TEST_F(ApiTest, NullPointersAreRefusedAndChangeNothing) {
    double d = 0;
    std::int32_t i = 0;
    const struct {
        const char* name;
        std::function<std::int32_t()> call;
    } calls[] = {
        {"GetActivePort", [] { return QVZ_GetActivePort(nullptr); }},
        {"GetCircuit", [] { return QVZ_GetCircuit(nullptr); }},
        {"GetSmoothing", [] { return QVZ_GetSmoothing(nullptr); }},
        {"GetAction", [] { return QVZ_GetAction(nullptr); }},
        {"GetApplyImmediate", [] { return QVZ_GetApplyImmediate(nullptr); }},
        {"GetRLCG R", [&] { return QVZ_GetRLCGValues(nullptr, &d, &d, &d); }},
        {"GetRLCG G", [&] { return QVZ_GetRLCGValues(&d, &d, &d, nullptr); }},
        {"GetL1R1L2R2", [&] { return QVZ_GetL1R1L2R2Values(&d, nullptr, &d, &d); }},
        {"GetC1G1C2G2", [&] { return QVZ_GetC1G1C2G2Values(&d, &d, nullptr, &d); }},
        {"SetS2PFilePath", [] { return QVZ_SetS2PFilePath(nullptr); }},
        {"SetS2PFilePrefix", [] { return QVZ_SetS2PFilePrefix(nullptr); }},
        {"GetS2PFilePath", [] { return QVZ_GetS2PFilePath(16, nullptr); }},
        {"GetS2PFilePrefix", [] { return QVZ_GetS2PFilePrefix(1, nullptr); }},
    };
    const SessionState before = GetState();
    for (const auto& c : calls) {
        EXPECT_EQ(c.call(), VI_ERROR_USER_BUF) << c.name;
    }
    EXPECT_EQ(std::memcmp(&before, &GetState(), sizeof before), 0);
    (void)i;
}

TEST_F(ApiTest, ApplyFailureIsReturnedAndTheNewValueStaysStored) {
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    instrument.FailCall(Call::Write, 1, VI_ERROR_IO);
    EXPECT_EQ(QVZ_SetCircuit(QVZ_SERIES_L_SHUNT_L), VI_ERROR_IO);
    EXPECT_EQ(GetState().circuit[0], QVZ_SERIES_L_SHUNT_L);
    instrument.FailCall(Call::Write, 1, VI_ERROR_CONN_LOST);
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_CONN_LOST);
}

TEST_F(ApiTest, PositiveCompletionCodesReachTheHostAsZero) {
    constexpr ViStatus kWarning = 0x3FFF0077;
    instrument.FailCall(Call::Write, 1, kWarning);
    instrument.FailCall(Call::Read, 1, kWarning);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

TEST_F(ApiTest, InitOpensWithTimeoutAndTerminationCharacter) {
    EXPECT_EQ(instrument.Attribute(VI_ATTR_TMO_VALUE), ViAttrState{2000});
    EXPECT_EQ(instrument.Attribute(VI_ATTR_TERMCHAR_EN), ViAttrState{1});
}

TEST_F(ApiTest, SecondInitClosesTheOpenSessionsAndKeepsTheSettings) {
    ASSERT_EQ(QVZ_SetCircuit(QVZ_SHUNT_C_SERIES_C), 0);
    instrument.ClearRecords();
    ASSERT_EQ(QVZ_init(kScriptedResource), 0);
    const auto records = instrument.Records();
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[0].call, Call::Close) << "instrument session first";
    EXPECT_EQ(records[1].call, Call::Close) << "then the resource manager";
    EXPECT_EQ(records[2].call, Call::OpenDefaultRM);
    EXPECT_EQ(records[3].call, Call::Open);
    EXPECT_EQ(GetState().circuit[0], QVZ_SHUNT_C_SERIES_C);
}

TEST_F(ApiTest, ResourceManagerWarningStillOpensTheInstrument) {
    ASSERT_EQ(QVZ_close(), 0);
    instrument.ClearRecords();
    instrument.FailCall(Call::OpenDefaultRM, 1, 0x3FFF007D);
    EXPECT_EQ(QVZ_init(kScriptedResource), 0);
    EXPECT_EQ(instrument.Count(Call::Open), 1);
    EXPECT_NE(GetState().instrSession, 0u);
}

TEST_F(ApiTest, FailedOpenClosesAndForgetsTheResourceManager) {
    ASSERT_EQ(QVZ_close(), 0);
    instrument.ClearRecords();
    instrument.FailCall(Call::Open, 1, VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(QVZ_init(kScriptedResource), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(instrument.Count(Call::Close), 1);
    EXPECT_EQ(GetState().rmSession, 0u);
    EXPECT_EQ(GetState().instrSession, 0u);
    EXPECT_EQ(GetState().circuit[0], QVZ_SERIES_L_SHUNT_C) << "the state stays after a failed open";

    instrument.ClearRecords();
    EXPECT_EQ(QVZ_close(), 0);
    EXPECT_EQ(instrument.Count(Call::Close), 0) << "nothing left to close";
}

TEST_F(ApiTest, InitWithoutAResourceNameFailsAsAnInvalidName) {
    EXPECT_EQ(QVZ_init(nullptr), VI_ERROR_INV_RSRC_NAME);
    EXPECT_NE(ThreadSlotGet(), nullptr);
}

TEST_F(ApiTest, CloseTwiceReportsNoSessionTheSecondTime) {
    EXPECT_EQ(QVZ_close(), 0);
    EXPECT_EQ(ThreadSlotGet(), nullptr);
    EXPECT_EQ(QVZ_close(), VI_ERROR_INV_OBJECT);
}

TEST_F(ApiTest, CloseReportsAFailingClose) {
    instrument.FailCall(Call::Close, 2, VI_ERROR_IO);  // the resource manager's
    EXPECT_EQ(QVZ_close(), VI_ERROR_IO);
    EXPECT_EQ(ThreadSlotGet(), nullptr) << "the state is freed anyway";
}

TEST(ApiWithoutSession, EveryCallOnAThreadThatNeverInitialisedFails) {
    OnFreshThread([] {
        double d = 0;
        std::int32_t i = 0;
        std::uint16_t f = 0;
        char buffer[8] = {};
        const std::int32_t io[] = {
            QVZ_ResetValues(),
            QVZ_SetActivePort(1),
            QVZ_GetActivePort(&i),
            QVZ_SetCircuit(QVZ_SHUNT_C_SERIES_L),
            QVZ_GetCircuit(&i),
            QVZ_SetSmoothing(QVZ_E12),
            QVZ_GetSmoothing(&i),
            QVZ_SetAction(QVZ_DEEMBEDDING),
            QVZ_GetAction(&i),
            QVZ_SetRLCGValues(1, 1, 1, 1),
            QVZ_GetRLCGValues(&d, &d, &d, &d),
            QVZ_SetL1R1L2R2Values(1, 1, 1, 1),
            QVZ_GetL1R1L2R2Values(&d, &d, &d, &d),
            QVZ_SetC1G1C2G2Values(1, 1, 1, 1),
            QVZ_GetC1G1C2G2Values(&d, &d, &d, &d),
            QVZ_SetS2PFilePath("/x"),
            QVZ_GetS2PFilePath(8, buffer),
            QVZ_SetS2PFilePrefix("p"),
            QVZ_GetS2PFilePrefix(8, buffer),
            QVZ_SetApplyImmediate(1),
            QVZ_GetApplyImmediate(&f),
            QVZ_ApplyChanges(),
        };
        for (std::size_t k = 0; k < sizeof io / sizeof io[0]; ++k) {
            EXPECT_EQ(io[k], VI_ERROR_IO) << "call " << k;
        }
        EXPECT_EQ(QVZ_close(), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(ThreadSlotGet(), nullptr);
    });
}

TEST(ApiOverSockets, InitConnectsAndCloseHangsUp) {
    RawPeer server;
    OnFreshThread([&] {
        ASSERT_EQ(QVZ_init(server.Resource().c_str()), 0);
        ASSERT_TRUE(server.WaitForConnections(1, std::chrono::seconds(5)));
        const SessionState& s = *ThreadSlotGet();
        ViUInt32 timeout = 0;
        std::uint16_t termcharEnabled = 0;  // a ViBoolean
        ASSERT_GE(viGetAttribute(s.instrSession, VI_ATTR_TMO_VALUE, &timeout), 0);
        ASSERT_GE(viGetAttribute(s.instrSession, VI_ATTR_TERMCHAR_EN, &termcharEnabled), 0);
        EXPECT_EQ(timeout, 2000u);
        EXPECT_EQ(termcharEnabled, 1);
        EXPECT_EQ(QVZ_close(), 0);
        EXPECT_TRUE(server.WaitForDisconnect(std::chrono::seconds(5)));
    });
}

TEST(ApiOverSockets, NothingListeningGivesResourceNotFound) {
    const std::string resource =
        "TCPIP0::127.0.0.1::" + std::to_string(RawPeer::UnusedPort()) + "::SOCKET";
    OnFreshThread([&] {
        EXPECT_EQ(QVZ_init(resource.c_str()), VI_ERROR_RSRC_NFOUND);
        EXPECT_NE(ThreadSlotGet(), nullptr) << "the state stays for the settings";
        EXPECT_EQ(QVZ_close(), 0);
    });
}

TEST(ApiOverSockets, UnsupportedResourceClassesAreNotFound) {
    OnFreshThread([] {
        EXPECT_EQ(QVZ_init("TCPIP0::127.0.0.1::inst0::INSTR"), VI_ERROR_RSRC_NFOUND);
        EXPECT_EQ(QVZ_init("GPIB0::12::INSTR"), VI_ERROR_RSRC_NFOUND);
        EXPECT_EQ(QVZ_init("not a resource"), VI_ERROR_INV_RSRC_NAME);
        EXPECT_EQ(QVZ_close(), 0);
    });
}

}  // namespace
}  // namespace testing
}  // namespace qvz
