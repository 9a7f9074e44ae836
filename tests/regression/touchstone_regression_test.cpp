// Touchstone reader inputs that fuzzing showed to be accepted wrongly.
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "qvzsim/touchstone_reader.h"

namespace qvzsim {
namespace {

struct RefusedFile {
    const char* name;
    const char* text;
};

void PrintTo(const RefusedFile& file, std::ostream* os) {
    *os << file.name;
}

class FrequencyOverflowTest : public ::testing::TestWithParam<RefusedFile> {};

// A finite number times the file's unit overflowed to an infinite frequency,
// which was accepted, and an infinite last point covers every sweep.
TEST_P(FrequencyOverflowTest, IsRefusedNotTakenAsInfinity) {
    const TouchstoneResult result = ParseTouchstone(GetParam().text);
    EXPECT_EQ(result.status, TouchstoneStatus::kInvalid);
    EXPECT_NE(result.reason.find("frequency"), std::string::npos) << result.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Overflow, FrequencyOverflowTest,
    ::testing::Values(RefusedFile{"DefaultGigahertz", "1e300 0 0 0 0 0 0 0 0\n"},
                      RefusedFile{"LastPointOnly",
                                  "# MHz S RI R 50\n1 0 0 1 0 1 0 0 0\n1e303 0 0 1 0 1 0 0 0\n"}),
    [](const ::testing::TestParamInfo<RefusedFile>& p) { return p.param.name; });

TEST(FrequencyOverflow, AHugeButFiniteFrequencyIsStillAccepted) {
    const TouchstoneResult result = ParseTouchstone("# Hz S RI R 50\n1e300 0 0 1 0 1 0 0 0\n");
    ASSERT_EQ(result.status, TouchstoneStatus::kOk) << result.reason;
    EXPECT_EQ(result.data.frequenciesHz.front(), 1e300);
}

}  // namespace
}  // namespace qvzsim
