// The soak's mixture check must refuse what a broken writer would leave.
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "single_write_check.h"

namespace qvz {
namespace testing {
namespace {

const std::vector<std::vector<double>> kSweeps = {{1e6, 2e6, 3e6}, {5e6, 6e6}};

std::string Header() {
    return "# Hz S RI R 50\r\n! Date: Monday, March 02, 2026 14:05:09\r\n! Freq    S11\r\n";
}

std::string Point(double hertz) {
    char line[200];
    std::snprintf(line, sizeof line, "%.9E  0  0  1  0  1  0  0  0\r\n", hertz);
    return line;
}

struct FileCase {
    const char* name;
    std::string text;
    WriteState state;
    bool accepted;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class SingleWriteCheckTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(SingleWriteCheckTest, TellsOneWriteFromAMixture) {
    const FileCase& c = GetParam();
    const SingleWriteResult result = CheckSingleWrite(c.text, kSweeps, c.state);
    EXPECT_EQ(result.ok, c.accepted) << result.problem;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SingleWriteCheckTest,
    ::testing::Values(
        FileCase{"Whole", Header() + Point(1e6) + Point(2e6) + Point(3e6), WriteState::kComplete,
                 true},
        FileCase{"WholeOtherSweep", Header() + Point(5e6) + Point(6e6), WriteState::kComplete,
                 true},
        FileCase{"BeginningWhileWriting", Header() + Point(5e6) + "6.0000", WriteState::kInProgress,
                 true},
        FileCase{"BeginningWhenDone", Header() + Point(1e6), WriteState::kComplete, false},
        FileCase{"InterleavedSweeps", Header() + Point(1e6) + Point(6e6) + Point(3e6),
                 WriteState::kInProgress, false},
        FileCase{"OldTailBehindShorterWrite", Header() + Point(5e6) + Point(6e6) + Point(3e6),
                 WriteState::kInProgress, false},
        FileCase{"TwoHeaders", Header() + Point(1e6) + Header(), WriteState::kInProgress, false},
        FileCase{"BrokenLine", Header() + "1.000000000E+006  0  0\r\n", WriteState::kInProgress,
                 false}),
    [](const ::testing::TestParamInfo<FileCase>& p) { return p.param.name; });

}  // namespace
}  // namespace testing
}  // namespace qvz
