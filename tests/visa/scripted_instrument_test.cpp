// The scripted instrument itself: what it records, how it fails calls, how
// it plays an analyzer.
#include "scripted_instrument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "visa/backend.h"
#include "visa/visa.h"

namespace qvz::visa {
namespace {

using testing::ScriptedInstrument;
using Call = ScriptedInstrument::Call;

constexpr const char* kResource = "TCPIP0::10.0.0.9::5025::SOCKET";  // never dialled

struct Opened {
    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
};

Opened OpenLines() {
    Opened s;
    EXPECT_EQ(viOpenDefaultRM(&s.rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(s.rm, kResource, 0, 0, &s.vi), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    return s;
}

TEST(ScriptedInstrument, RecordsEveryCallInOrder) {
    ScriptedInstrument instrument;
    instrument.SetResponder([](const std::string& c) -> std::optional<std::string> {
        return c == "Q?\n" ? std::optional<std::string>("12\n") : std::nullopt;
    });
    Opened s = OpenLines();
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    ASSERT_EQ(viPrintf(s.vi, "CMD %d\n", 1), VI_SUCCESS);
    std::int32_t value = 0;
    ASSERT_EQ(viQueryf(s.vi, "Q?\n", "%d", &value), VI_SUCCESS);
    ASSERT_GE(viClear(s.vi), VI_SUCCESS);
    ASSERT_EQ(viClose(s.vi), VI_SUCCESS);
    ASSERT_EQ(viClose(s.rm), VI_SUCCESS);

    const std::vector<ScriptedInstrument::Record> expected = {
        {Call::OpenDefaultRM, "", VI_SUCCESS},
        {Call::Open, kResource, VI_SUCCESS},
        {Call::SetAttribute, "0x3FFF0038=1", VI_SUCCESS},
        {Call::SetAttribute, "0x3FFF001A=2000", VI_SUCCESS},
        {Call::Write, "CMD 1\n", VI_SUCCESS},
        {Call::Write, "Q?\n", VI_SUCCESS},
        {Call::Read, "12\n", VI_SUCCESS},
        {Call::Clear, "", VI_SUCCESS},
        {Call::Close, kResource, VI_SUCCESS},
        {Call::Close, "", VI_SUCCESS},
    };
    const auto records = instrument.Records();
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].call, expected[i].call) << "record " << i;
        EXPECT_EQ(records[i].text, expected[i].text) << "record " << i;
        EXPECT_EQ(records[i].status, expected[i].status) << "record " << i;
    }
    EXPECT_EQ(instrument.Count(Call::Write), 2);
    EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"CMD 1\n", "Q?\n"}));
    instrument.ClearRecords();
    EXPECT_TRUE(instrument.Records().empty());
}

TEST(ScriptedInstrument, FailsTheNthCallCountedFromNow) {
    ScriptedInstrument instrument;
    Opened s = OpenLines();
    ASSERT_EQ(viPrintf(s.vi, "A\n"), VI_SUCCESS);
    instrument.FailCall(Call::Write, 2, VI_ERROR_TMO);
    EXPECT_EQ(viPrintf(s.vi, "B\n"), VI_SUCCESS);
    EXPECT_EQ(viPrintf(s.vi, "C\n"), VI_ERROR_TMO);
    EXPECT_EQ(viPrintf(s.vi, "D\n"), VI_SUCCESS);
    EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"A\n", "B\n", "D\n"}))
        << "a failed write sends nothing";
    const auto records = instrument.Records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2].text, "C\n");
    EXPECT_EQ(records[records.size() - 2].status, VI_ERROR_TMO);
    viClose(s.rm);
}

TEST(ScriptedInstrument, FailAllUntilCleared) {
    ScriptedInstrument instrument;
    Opened s = OpenLines();
    instrument.FailAll(Call::Write, VI_ERROR_IO);
    EXPECT_EQ(viPrintf(s.vi, "A\n"), VI_ERROR_IO);
    EXPECT_EQ(viPrintf(s.vi, "B\n"), VI_ERROR_IO);
    instrument.ClearFailures();
    EXPECT_EQ(viPrintf(s.vi, "C\n"), VI_SUCCESS);
    instrument.FailAll(Call::Close, VI_ERROR_IO);
    EXPECT_EQ(viClose(s.vi), VI_ERROR_IO);
    EXPECT_EQ(viClose(s.vi), VI_ERROR_INV_OBJECT) << "a failed close still ends the session";
    EXPECT_EQ(viClose(s.rm), VI_ERROR_IO);
}

TEST(ScriptedInstrument, PositiveStatusesAreCompletionCodes) {
    constexpr ViStatus kWarning = 0x3FFF007D;
    ScriptedInstrument instrument;
    instrument.FailCall(Call::OpenDefaultRM, 1, kWarning);
    instrument.FailCall(Call::Open, 1, kWarning);
    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpenDefaultRM(&rm), kWarning);
    EXPECT_EQ(viOpen(rm, kResource, 0, 0, &vi), kWarning);
    EXPECT_NE(vi, VI_NULL);
    instrument.FailCall(Call::SetAttribute, 1, kWarning);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 321), kWarning);
    EXPECT_EQ(instrument.Attribute(VI_ATTR_TMO_VALUE), ViAttrState{321});
    viClose(rm);
}

TEST(ScriptedInstrument, ServesAnAnalyzer) {
    ScriptedInstrument instrument;
    instrument.ServeAnalyzer(2, {1e9, 1.5e9, 0.1}, "-113,\"Undefined header\"");
    Opened s = OpenLines();
    std::int32_t channel = 0;
    std::int32_t points = 0;
    ASSERT_EQ(viQueryf(s.vi, "SERVice:CHANnel:ACTive?\n", "%d", &channel), VI_SUCCESS);
    EXPECT_EQ(channel, 2);
    ASSERT_EQ(viQueryf(s.vi, "SENSe%d:SWEep:POINts?\n", "%ld", 2, &points), VI_SUCCESS);
    EXPECT_EQ(points, 3);
    const auto records = instrument.Records();
    EXPECT_EQ(records.back().text, "3\n");
    double frequencies[3] = {};
    std::int32_t count = 3;
    ASSERT_EQ(viQueryf(s.vi, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", 2, &count, frequencies),
              VI_SUCCESS);
    EXPECT_EQ(instrument.Records().back().text, "1000000000,1500000000,0.10000000000000001\n");
    EXPECT_EQ(frequencies[2], 0.1) << "round-trippable digits";
    std::int32_t error = 0;
    char message[257];
    ASSERT_EQ(viQueryf(s.vi, ":SYST:ERR?\n", "%ld,\"%256[^\"]", &error, message), VI_SUCCESS);
    EXPECT_EQ(error, -113);
    EXPECT_STREQ(message, "Undefined header");

    // Another channel and the fixture-simulator commands get no answer.
    EXPECT_EQ(viQueryf(s.vi, "SENSe%d:SWEep:POINts?\n", "%ld", 1, &points), VI_ERROR_TMO);
    EXPECT_EQ(viQueryf(s.vi, "CALCulate2:FSIMulator:STATe %hd\n", "%d", 1, &points), VI_ERROR_TMO);
    viClose(s.rm);
}

TEST(ScriptedInstrument, KeepsTheAttributesOfTheNewestSession) {
    ScriptedInstrument instrument;
    EXPECT_FALSE(instrument.Attribute(VI_ATTR_TMO_VALUE).has_value());
    Opened first = OpenLines();
    ASSERT_EQ(viSetAttribute(first.vi, VI_ATTR_TMO_VALUE, 111), VI_SUCCESS);
    Opened second = OpenLines();
    EXPECT_FALSE(instrument.Attribute(VI_ATTR_TMO_VALUE).has_value());
    EXPECT_EQ(instrument.Attribute(VI_ATTR_TERMCHAR_EN), ViAttrState{1});
    ASSERT_EQ(viSetAttribute(second.vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    EXPECT_EQ(instrument.Attribute(VI_ATTR_TMO_VALUE), ViAttrState{2000});
    viClose(first.rm);
    viClose(second.rm);
}

TEST(ScriptedInstrument, ASlowReplyArrivesWithinTheTimeoutAndNotBeyondIt) {
    ScriptedInstrument instrument;
    instrument.SetResponder([](const std::string&) { return std::optional<std::string>("8\n"); });
    instrument.SetReplyDelay(std::chrono::milliseconds(30));
    Opened s = OpenLines();
    std::int32_t value = 0;
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    EXPECT_EQ(viQueryf(s.vi, "A?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 8);

    instrument.SetReplyDelay(std::chrono::milliseconds(400));
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 20), VI_SUCCESS);
    value = 0;
    EXPECT_EQ(viQueryf(s.vi, "A?\n", "%d", &value), VI_ERROR_TMO);
    EXPECT_EQ(value, 0);
    viClose(s.rm);
}

TEST(ScriptedInstrument, RestoresTheSocketBackendWhenDestroyed) {
    {
        ScriptedInstrument instrument;
        EXPECT_NE(CurrentBackend(), SocketBackend());
    }
    EXPECT_EQ(CurrentBackend(), SocketBackend());
}

TEST(ScriptedInstrument, ASplitDeliveryIsOneReadRecord) {
    ScriptedInstrument instrument;
    const std::string big(300000, '7');
    instrument.SetResponder(
        [&big](const std::string&) { return std::optional<std::string>(big + "\n"); });
    Opened s = OpenLines();
    char text[16];
    ASSERT_EQ(viQueryf(s.vi, "BIG?\n", "%15[7]", text), VI_SUCCESS);
    EXPECT_EQ(instrument.Count(Call::Read), 1);
    EXPECT_EQ(instrument.Records().back().text, big + "\n");
    viClose(s.rm);
}

}  // namespace
}  // namespace qvz::visa
