// Input that arrives before a query's command is not that query's answer:
// viQueryf drops it (a reply that came after its own query had timed out
// would otherwise shift every later answer by one), while viScanf, which
// sends nothing, still reads it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "scripted_instrument.h"
#include "visa/visa.h"

namespace qvz::visa {
namespace {

using testing::ScriptedInstrument;

constexpr const char* kResource = "TCPIP0::127.0.0.1::5025::SOCKET";

class StaleInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm_, kResource, 0, 0, &vi_), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
        instrument_.SetResponder([](const std::string& command) -> std::optional<std::string> {
            if (command == "POINTS?\n") return "201\n";
            if (command == "CHANNEL?\n") return "2\n";
            return std::nullopt;
        });
    }
    void TearDown() override { viClose(rm_); }

    ScriptedInstrument instrument_;
    ViSession rm_ = VI_NULL;
    ViSession vi_ = VI_NULL;
};

struct StaleCase {
    const char* name;
    const char* unasked;  // bytes that arrive before the query
    bool readPartFirst;   // a read takes the first message (or times out on a partial one)
};

void PrintTo(const StaleCase& c, std::ostream* os) {
    *os << c.name;
}

class StaleBeforeQueryTest : public StaleInputTest,
                             public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleBeforeQueryTest, TheQueryReadsItsOwnAnswer) {
    const StaleCase& c = GetParam();
    instrument_.QueueInput(c.unasked);
    std::int32_t value = 0;
    if (c.readPartFirst) {
        // Leaves the rest (or a partial message) in the session's own buffer.
        ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 10), VI_SUCCESS);
        viScanf(vi_, "%d", &value);
    }
    value = 0;
    ASSERT_EQ(viQueryf(vi_, "CHANNEL?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(viQueryf(vi_, "POINTS?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 201) << "the next query must not be one answer behind";
}

INSTANTIATE_TEST_SUITE_P(Unasked, StaleBeforeQueryTest,
                         ::testing::Values(StaleCase{"LateReply", "201\n", false},
                                           StaleCase{"SeveralLateReplies",
                                                     "1\n201\n0,\"No error\"\n", false},
                                           StaleCase{"RestOfABufferedBurst", "5\n201\n", true},
                                           StaleCase{"PartialMessageLeftByATimeout", "20", true}),
                         [](const ::testing::TestParamInfo<StaleCase>& p) { return p.param.name; });

TEST_F(StaleInputTest, ALateReplyAfterTheDeviceClearIsNotTheNextAnswer) {
    // The apply sequence's recovery: a query times out, the session is
    // cleared, and only then does the instrument's late reply come in.
    instrument_.SetResponder([](const std::string&) { return std::optional<std::string>(); });
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 10), VI_SUCCESS);
    std::int32_t value = 0;
    ASSERT_EQ(viQueryf(vi_, "POINTS?\n", "%d", &value), VI_ERROR_TMO);
    ASSERT_GE(viClear(vi_), VI_SUCCESS);
    instrument_.QueueInput("201\n");

    instrument_.SetResponder([](const std::string&) { return std::optional<std::string>("2\n"); });
    ASSERT_EQ(viQueryf(vi_, "CHANNEL?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 2);
}

// The built-in socket layer's device clear: the connection that carried the
// exchange that timed out is ended and a new one opened, so a reply still on
// its way can never be read, not even after the next command has gone out.
TEST_F(StaleInputTest, TheClearOpensANewConnectionWithTheSessionsSettings) {
    instrument_.SetReconnectsOnClear(true);
    instrument_.SetReplyDelay(std::chrono::milliseconds(300));  // the reply comes late
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 50), VI_SUCCESS);
    std::int32_t value = 0;
    ASSERT_EQ(viQueryf(vi_, "POINTS?\n", "%d", &value), VI_ERROR_TMO);
    instrument_.ClearRecords();
    ASSERT_EQ(viClear(vi_), VI_SUCCESS);
    EXPECT_EQ(instrument_.Count(ScriptedInstrument::Call::Close), 1);
    EXPECT_EQ(instrument_.Count(ScriptedInstrument::Call::Open), 1);
    EXPECT_EQ(instrument_.Attribute(VI_ATTR_TMO_VALUE), std::optional<ViAttrState>(50));
    EXPECT_EQ(instrument_.Attribute(VI_ATTR_TERMCHAR_EN), std::optional<ViAttrState>(VI_TRUE));

    // The next query is sent while the late reply would still be on its way.
    instrument_.SetReplyDelay(std::chrono::milliseconds(0));
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    ASSERT_EQ(viQueryf(vi_, "CHANNEL?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 2);
}

// A clear whose reconnect fails reports that failure; the session is then
// lost (VI_ERROR_CONN_LOST) until an operation manages to reconnect, each
// operation trying once.
TEST_F(StaleInputTest, AFailedReconnectLeavesTheSessionLostUntilOneSucceeds) {
    using Call = ScriptedInstrument::Call;
    instrument_.SetReconnectsOnClear(true);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 40), VI_SUCCESS);
    instrument_.FailCall(Call::Open, 1, VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viClear(vi_), VI_ERROR_RSRC_NFOUND);

    std::int32_t value = 0;
    instrument_.FailCall(Call::Open, 1, VI_ERROR_RSRC_NFOUND);
    instrument_.ClearRecords();
    EXPECT_EQ(viQueryf(vi_, "CHANNEL?\n", "%d", &value), VI_ERROR_CONN_LOST);
    EXPECT_EQ(instrument_.Count(Call::Open), 1) << "one attempt per operation";
    EXPECT_TRUE(instrument_.Commands().empty());
    ViUInt32 timeout = 0;
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 40u);

    ASSERT_EQ(viQueryf(vi_, "CHANNEL?\n", "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(instrument_.Attribute(VI_ATTR_TMO_VALUE), std::optional<ViAttrState>(40));
}

TEST_F(StaleInputTest, ScanfStillReadsWhatArrivedUnasked) {
    instrument_.QueueInput("17\n");
    std::int32_t value = 0;
    ASSERT_EQ(viScanf(vi_, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 17);
}

}  // namespace
}  // namespace qvz::visa
