#include "visa/format_write.h"

#include <ostream>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cctype>
#include <functional>
#include <string>

namespace qvz::visa {
namespace {

ViStatus Format(std::string* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus status = FormatWrite(format, &args, out);
    va_end(args);
    return status;
}

struct WriteCase {
    const char* name;
    std::function<ViStatus(std::string*)> format;
    ViStatus status;
    std::string text;  // expected output when the status is VI_SUCCESS
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class FormatWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(FormatWriteTest, ProducesExactBytes) {
    const WriteCase& c = GetParam();
    std::string out = "prefix|";
    EXPECT_EQ(c.format(&out), c.status) << c.name;
    if (c.status == VI_SUCCESS) {
        EXPECT_EQ(out, "prefix|" + c.text) << c.name;
    } else {
        EXPECT_EQ(out, "prefix|") << c.name << ": a failed format appends nothing";
    }
}

const std::string kLongName(255, 'x');

INSTANTIATE_TEST_SUITE_P(
    Table, FormatWriteTest,
    ::testing::Values(
        WriteCase{"literal", [](std::string* o) { return Format(o, "SERVice:CHANnel:ACTive?\n"); },
                  VI_SUCCESS, "SERVice:CHANnel:ACTive?\n"},
        WriteCase{"int", [](std::string* o) { return Format(o, "SENSe%d:SWEep:POINts?\n", 12); },
                  VI_SUCCESS, "SENSe12:SWEep:POINts?\n"},
        WriteCase{"negative int", [](std::string* o) { return Format(o, "%d", -2147483647 - 1); },
                  VI_SUCCESS, "-2147483648"},
        WriteCase{"ld is 32-bit",
                  [](std::string* o) { return Format(o, "%ld", std::int32_t{2147483647}); },
                  VI_SUCCESS, "2147483647"},
        WriteCase{"hd on/off", [](std::string* o) { return Format(o, "STATe %hd\n", 1); },
                  VI_SUCCESS, "STATe 1\n"},
        WriteCase{"hd keeps 16 bits",
                  [](std::string* o) { return Format(o, "%hd|%hd", 65537, 40000); }, VI_SUCCESS,
                  "1|-25536"},
        WriteCase{
            "string",
            [](std::string* o) { return Format(o, "FILename \"%s\"\n", "C:\\d\\P_Port3.s2p"); },
            VI_SUCCESS, "FILename \"C:\\d\\P_Port3.s2p\"\n"},
        WriteCase{"empty string", [](std::string* o) { return Format(o, "FILename \"%s\"\n", ""); },
                  VI_SUCCESS, "FILename \"\"\n"},
        WriteCase{"long string whole",
                  [](std::string* o) { return Format(o, "F \"%s\"\n", kLongName.c_str()); },
                  VI_SUCCESS, "F \"" + kLongName + "\"\n"},
        WriteCase{"percent", [](std::string* o) { return Format(o, "100%% %d%%", 5); }, VI_SUCCESS,
                  "100% 5%"},
        WriteCase{"arguments in order",
                  [](std::string* o) {
                      return Format(o, "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:STATe %hd\n",
                                    2, 3, 0);
                  },
                  VI_SUCCESS, "CALCulate2:FSIMulator:SENDed:PMCircuit:PORT3:STATe 0\n"},
        WriteCase{"empty format", [](std::string* o) { return Format(o, ""); }, VI_SUCCESS, ""},
        WriteCase{"float refused", [](std::string* o) { return Format(o, "%d %f", 1, 2.0); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"width refused", [](std::string* o) { return Format(o, "%5d", 1); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"flag refused", [](std::string* o) { return Format(o, "%-d", 1); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"lf refused", [](std::string* o) { return Format(o, "%lf", 1.0); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"x refused", [](std::string* o) { return Format(o, "%x", 1); }, VI_ERROR_NSUP_FMT,
                  ""},
        WriteCase{"char refused", [](std::string* o) { return Format(o, "%c", 'a'); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"refused late", [](std::string* o) { return Format(o, "A%s%d%u", "x", 1, 2u); },
                  VI_ERROR_NSUP_FMT, ""},
        WriteCase{"lone percent", [](std::string* o) { return Format(o, "abc%"); },
                  VI_ERROR_INV_FMT, ""},
        WriteCase{
            "null string",
            [](std::string* o) { return Format(o, "a%sb", static_cast<const char*>(nullptr)); },
            VI_ERROR_USER_BUF, ""}),
    [](const ::testing::TestParamInfo<WriteCase>& param) {
        std::string name = param.param.name;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(FormatWrite, NullFormatIsInvalid) {
    std::string out;
    EXPECT_EQ(Format(&out, nullptr), VI_ERROR_INV_FMT);
    EXPECT_EQ(ValidateWriteFormat(nullptr), VI_ERROR_INV_FMT);
}

TEST(FormatWrite, ValidationMatchesFormatting) {
    EXPECT_EQ(ValidateWriteFormat("SENSe%d:%ld %hd \"%s\" %%\n"), VI_SUCCESS);
    EXPECT_EQ(ValidateWriteFormat("%d %e"), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(ValidateWriteFormat("%l"), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(ValidateWriteFormat("%"), VI_ERROR_INV_FMT);
}

}  // namespace
}  // namespace qvz::visa
