// The vi* calls over the scripted instrument: handles, attributes and
// formatted I/O as a caller sees them.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "scripted_instrument.h"
#include "visa/visa.h"

namespace qvz::visa {
namespace {

using testing::ScriptedInstrument;
using Call = ScriptedInstrument::Call;

constexpr const char* kResource = "TCPIP0::127.0.0.1::5025::SOCKET";

class SessionApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm_, kResource, 0, 0, &vi_), VI_SUCCESS);
    }
    void TearDown() override { viClose(rm_); }

    void EnableLines() { ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS); }

    ScriptedInstrument instrument_;
    ViSession rm_ = VI_NULL;
    ViSession vi_ = VI_NULL;
};

TEST_F(SessionApiTest, HandlesAreNonZeroDistinctAndNotReused) {
    EXPECT_NE(rm_, VI_NULL);
    EXPECT_NE(vi_, VI_NULL);
    EXPECT_NE(rm_, vi_);
    std::set<ViSession> seen = {rm_, vi_};
    for (int i = 0; i < 20; ++i) {
        ViSession other = VI_NULL;
        ASSERT_EQ(viOpen(rm_, kResource, 0, 0, &other), VI_SUCCESS);
        EXPECT_TRUE(seen.insert(other).second) << "handle " << other << " handed out twice";
        ASSERT_EQ(viClose(other), VI_SUCCESS);
    }
}

TEST_F(SessionApiTest, UnknownAndClosedHandlesAreInvalidObjects) {
    constexpr ViSession kNeverOpened = 0xFFFFFFF0u;
    std::int32_t value = 0;
    ViUInt32 timeout = 0;
    ViSession other = VI_NULL;
    EXPECT_EQ(viClose(kNeverOpened), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(kNeverOpened, kResource, 0, 0, &other), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(other, VI_NULL);
    EXPECT_EQ(viPrintf(kNeverOpened, "X\n"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viScanf(kNeverOpened, "%d", &value), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viQueryf(kNeverOpened, "X\n", "%d", &value), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClear(kNeverOpened), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viSetAttribute(kNeverOpened, VI_ATTR_TMO_VALUE, 1), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viGetAttribute(kNeverOpened, VI_ATTR_TMO_VALUE, &timeout), VI_ERROR_INV_OBJECT);

    ASSERT_EQ(viClose(vi_), VI_SUCCESS);
    EXPECT_EQ(viClose(vi_), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viPrintf(vi_, "X\n"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
}

TEST_F(SessionApiTest, ClosingTheResourceManagerClosesItsSessions) {
    ViSession second = VI_NULL;
    ASSERT_EQ(viOpen(rm_, kResource, 0, 0, &second), VI_SUCCESS);
    ViSession otherRm = VI_NULL;
    ViSession survivor = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&otherRm), VI_SUCCESS);
    ASSERT_EQ(viOpen(otherRm, kResource, 0, 0, &survivor), VI_SUCCESS);

    ASSERT_EQ(viClose(rm_), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi_, "X\n"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(second), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(rm_, kResource, 0, 0, &second), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viPrintf(survivor, "X\n"), VI_SUCCESS);
    EXPECT_EQ(viClose(otherRm), VI_SUCCESS);
    EXPECT_EQ(viClose(survivor), VI_ERROR_INV_OBJECT);
}

TEST_F(SessionApiTest, SessionsOfTheWrongKindRefuseTheOperation) {
    ViSession nested = VI_NULL;
    std::int32_t value = 0;
    EXPECT_EQ(viOpen(vi_, kResource, 0, 0, &nested), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viPrintf(rm_, "X\n"), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viQueryf(rm_, "X\n", "%d", &value), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viClear(rm_), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viSetAttribute(rm_, VI_ATTR_TMO_VALUE, 10), VI_ERROR_NSUP_ATTR);
}

TEST_F(SessionApiTest, ResourceNamesAreCheckedBeforeTheBackendSeesThem) {
    ViSession other = 1234;
    EXPECT_EQ(viOpen(rm_, nullptr, 0, 0, &other), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(other, VI_NULL);
    EXPECT_EQ(viOpen(rm_, "nonsense", 0, 0, &other), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm_, "TCPIP0::127.0.0.1::inst0::INSTR", 0, 0, &other), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viOpen(rm_, "GPIB0::20::INSTR", 0, 0, &other), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(instrument_.Count(Call::Open), 1) << "only the fixture's open reached the instrument";
    EXPECT_EQ(viOpen(rm_, kResource, 0, 0, nullptr), VI_ERROR_USER_BUF);
    EXPECT_EQ(viOpenDefaultRM(nullptr), VI_ERROR_USER_BUF);
}

TEST_F(SessionApiTest, AttributesStartAsVisaDefinesAndKeepWhatIsSet) {
    ViUInt32 timeout = 0;
    ViBoolean enabled = 77;
    ViUInt8 termChar = 0;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TERMCHAR, &termChar), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    EXPECT_EQ(enabled, VI_FALSE);
    EXPECT_EQ(termChar, '\n');

    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 150), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TERMCHAR, &termChar), VI_SUCCESS);
    EXPECT_EQ(timeout, 150u);
    EXPECT_EQ(enabled, VI_TRUE);
    EXPECT_EQ(termChar, ';');
}

TEST_F(SessionApiTest, UnknownAttributesAndImpossibleValuesAreRefused) {
    ViUInt32 timeout = 0;
    EXPECT_EQ(viSetAttribute(vi_, 0x3FFF0001u, 1), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(vi_, 0x3FFF0001u, &timeout), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 0x100000000ull), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, 256), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, nullptr), VI_ERROR_USER_BUF);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u) << "a refused value leaves the old one";
}

TEST_F(SessionApiTest, PrintfSendsTheWholeCommandInOneWrite) {
    const std::string name(255, 'n');
    ASSERT_EQ(viPrintf(vi_, "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:USER:FILename \"%s\"\n",
                       2, 3, name.c_str()),
              VI_SUCCESS);
    ASSERT_EQ(instrument_.Commands().size(), 1u);
    EXPECT_EQ(instrument_.Commands()[0],
              "CALCulate2:FSIMulator:SENDed:DEEMbed:PORT3:USER:FILename \"" + name + "\"\n");
}

TEST_F(SessionApiTest, UnsupportedFormatsSendNothing) {
    std::int32_t value = 0;
    EXPECT_EQ(viPrintf(vi_, "A%d %f\n", 1, 2.0), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(viQueryf(vi_, "A?\n", "%d %s", &value, nullptr), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(viQueryf(vi_, "A%x?\n", "%d", 1, &value), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(viScanf(vi_, "%c", &value), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(instrument_.Count(Call::Write), 0);
    EXPECT_EQ(instrument_.Count(Call::Read), 0);
}

TEST_F(SessionApiTest, QueryTakesWriteArgumentsThenReadArguments) {
    EnableLines();
    instrument_.ServeAnalyzer(7, {1e9, 2e9, 3e9});
    std::int32_t points = 0;
    ASSERT_EQ(viQueryf(vi_, "SENSe%d:SWEep:POINts?\n", "%ld", 7, &points), VI_SUCCESS);
    EXPECT_EQ(points, 3);
    std::vector<double> frequencies(3, 0.0);
    std::int32_t count = 3;
    ASSERT_EQ(viQueryf(vi_, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", 7, &count, frequencies.data()),
              VI_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(frequencies, (std::vector<double>{1e9, 2e9, 3e9}));
}

TEST_F(SessionApiTest, AReadTakesOneMessageAndDropsWhatTheFormatLeaves) {
    EnableLines();
    instrument_.SetResponder([](const std::string& command) -> std::optional<std::string> {
        if (command == "A?\n") return "1,2,3\n";
        if (command == "B?\n") return "42\n";
        return std::nullopt;
    });
    std::int32_t value = 0;
    ASSERT_EQ(viQueryf(vi_, "A?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(viQueryf(vi_, "B?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 42) << "the rest of the first reply must not shift the second";
}

TEST_F(SessionApiTest, MessagesAfterTheTerminationCharacterWaitForTheNextRead) {
    EnableLines();
    instrument_.QueueInput("5\n6\n");
    std::int32_t value = 0;
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 5);
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(viScanf(vi_, "%d", &value), VI_ERROR_TMO);
}

TEST_F(SessionApiTest, ARepliedNonNumberIsAFailure) {
    EnableLines();
    instrument_.SetResponder(
        [](const std::string&) { return std::optional<std::string>("NaN?\n"); });
    std::int32_t value = -5;
    EXPECT_EQ(viQueryf(vi_, "A?\n", "%d", &value), VI_ERROR_INV_FMT);
    EXPECT_EQ(value, -5);
}

TEST_F(SessionApiTest, SilenceTimesOutAndClearDropsStaleInput) {
    EnableLines();
    std::int32_t value = 0;
    EXPECT_EQ(viQueryf(vi_, "A?\n", "%d", &value), VI_ERROR_TMO);

    instrument_.QueueInput("99\nhalf");
    EXPECT_GE(viClear(vi_), VI_SUCCESS);
    instrument_.SetResponder([](const std::string&) { return std::optional<std::string>("3\n"); });
    ASSERT_EQ(viQueryf(vi_, "A?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 3);
}

TEST_F(SessionApiTest, ClearAlsoDropsWhatTheSessionHadBuffered) {
    EnableLines();
    instrument_.QueueInput("1\n2\n");
    std::int32_t value = 0;
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    ASSERT_GE(viClear(vi_), VI_SUCCESS);  // "2\n" sits in the session's buffer
    EXPECT_EQ(viScanf(vi_, "%d", &value), VI_ERROR_TMO);
}

TEST_F(SessionApiTest, WithoutTerminationCharacterAReadTakesWhatArrived) {
    instrument_.QueueInput("7\n8\n");
    std::int32_t a = 0;
    std::int32_t b = 0;
    ASSERT_EQ(viScanf(vi_, "%d %d", &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 8);
}

TEST_F(SessionApiTest, AnotherTerminationCharacterSplitsMessagesThere) {
    EnableLines();
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    instrument_.QueueInput("1,2;3;");
    std::int32_t value = 0;
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 3);
}

TEST_F(SessionApiTest, TransportStatusesReachTheCaller) {
    EnableLines();
    instrument_.ServeAnalyzer(1, {1.0});
    std::int32_t value = 0;
    instrument_.FailCall(Call::Write, 1, VI_ERROR_CONN_LOST);
    EXPECT_EQ(viQueryf(vi_, "SERVice:CHANnel:ACTive?\n", "%d", &value), VI_ERROR_CONN_LOST);
    EXPECT_EQ(instrument_.Count(Call::Read), 0) << "no read after a failed write";

    instrument_.FailCall(Call::Read, 1, VI_ERROR_IO);
    EXPECT_EQ(viQueryf(vi_, "SERVice:CHANnel:ACTive?\n", "%d", &value), VI_ERROR_IO);
    ASSERT_GE(viClear(vi_), VI_SUCCESS);

    constexpr ViStatus kWarning = 0x3FFF0006;
    instrument_.FailCall(Call::Write, 1, kWarning);
    EXPECT_EQ(viQueryf(vi_, "SERVice:CHANnel:ACTive?\n", "%d", &value), kWarning);
    EXPECT_EQ(value, 1);
    instrument_.FailCall(Call::Read, 1, kWarning);
    value = 0;
    EXPECT_EQ(viQueryf(vi_, "SERVice:CHANnel:ACTive?\n", "%d", &value), kWarning);
    EXPECT_EQ(value, 1);
    instrument_.FailCall(Call::SetAttribute, 1, VI_ERROR_IO);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 5), VI_ERROR_IO);
    ViUInt32 timeout = 0;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u) << "a refused attribute is not stored";
}

TEST_F(SessionApiTest, AHundredThousandPointQueryArrivesWhole) {
    EnableLines();
    std::vector<double> sent;
    for (int i = 0; i < 100001; ++i) {
        sent.push_back(1e6 + 12345.678 * i);
    }
    instrument_.ServeAnalyzer(1, sent);
    std::vector<double> received(sent.size() + 1, -1.0);
    std::int32_t count = static_cast<std::int32_t>(sent.size());
    ASSERT_EQ(viQueryf(vi_, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", 1, &count, received.data()),
              VI_SUCCESS);
    ASSERT_EQ(count, 100001);
    received.pop_back();
    EXPECT_EQ(received, sent);
}

TEST_F(SessionApiTest, AFailedOpenLeavesNoSession) {
    instrument_.FailCall(Call::Open, 1, VI_ERROR_RSRC_NFOUND);
    ViSession other = 1234;
    EXPECT_EQ(viOpen(rm_, kResource, 0, 0, &other), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(other, VI_NULL);
    instrument_.FailCall(Call::OpenDefaultRM, 1, VI_ERROR_ALLOC);
    ViSession otherRm = 1234;
    EXPECT_EQ(viOpenDefaultRM(&otherRm), VI_ERROR_ALLOC);
    EXPECT_EQ(otherRm, VI_NULL);
}

}  // namespace
}  // namespace qvz::visa
