#include "qvzsim/touchstone_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <future>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_files.h"

namespace {

using qvzsim::ParseTouchstone;
using qvzsim::TouchstoneResult;
using qvzsim::TouchstoneStatus;

constexpr const char* kRow = " 0.1 -0.2 0.95 0 0.95 0 -0.05 0.25";

struct ValidCase {
    const char* name;
    std::string text;
    std::size_t points;
    double firstHz;
    double lastHz;
    double ohms;
    std::complex<double> firstS11;
    std::complex<double> firstS22;
};

TEST(TouchstoneReader, ReadsValidFiles) {
    const ValidCase cases[] = {
        {"plug-in layout",
         qvzsim_test::LibraryStyleTouchstone(std::vector<double>{1e7, 4.2545e7, 8.5e9}),
         3,
         1e7,
         8.5e9,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"kHz, LF line ends",
         "# kHz S RI R 50\n1" + std::string(kRow) + "\n2" + kRow + "\n",
         2,
         1e3,
         2e3,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"MHz",
         "# MHz S RI R 50\r\n1.5" + std::string(kRow) + "\r\n",
         1,
         1.5e6,
         1.5e6,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"GHz and another R",
         "# GHz S RI R 75\n1" + std::string(kRow) + "\n",
         1,
         1e9,
         1e9,
         75,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"magnitude-angle",
         "# Hz S MA R 50\n1 2 90 1 0 1 0 0.5 180\n",
         1,
         1,
         1,
         50,
         {0.0, 2.0},
         {-0.5, 0.0}},
        {"dB-angle",
         "# Hz S DB R 50\n1 20 0 0 0 0 0 -6.0205999 -90\n",
         1,
         1,
         1,
         50,
         {10.0, 0.0},
         {0.0, -0.5}},
        {"defaults GHz MA R 50 without an option line",
         "1 1 0 1 0 1 0 1 90\n",
         1,
         1e9,
         1e9,
         50,
         {1.0, 0.0},
         {0.0, 1.0}},
        {"options in any order and case",
         "#ri r 60 s hZ\n5" + std::string(kRow) + "\n",
         1,
         5,
         5,
         60,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"comments everywhere, blank lines, tabs",
         "! header comment\n\n# Hz S RI R 50 ! trailing\n\t1" + std::string(kRow) +
             " ! point one\n   \n! x\n2" + kRow + "\n",
         2,
         1,
         2,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"a point over two lines",
         "# Hz S RI R 50\n1 0.1 -0.2 0.95 0\n 0.95 0 -0.05 0.25\n2" + std::string(kRow) + "\n",
         2,
         1,
         2,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"leading plus signs and exponents",
         "# Hz S RI R 50\n+1.0E+009 +1E-001 -2.0e-1 1 0 1 0 -5E-2 +.25\n",
         1,
         1e9,
         1e9,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"later option lines are ignored",
         "# Hz S RI R 50\n# GHz S MA R 10\n1" + std::string(kRow) + "\n",
         1,
         1,
         1,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
        {"no final line end",
         "# Hz S RI R 50\n1" + std::string(kRow),
         1,
         1,
         1,
         50,
         {0.1, -0.2},
         {-0.05, 0.25}},
    };
    for (const ValidCase& c : cases) {
        SCOPED_TRACE(c.name);
        TouchstoneResult result = ParseTouchstone(c.text);
        ASSERT_EQ(result.status, TouchstoneStatus::kOk) << result.reason;
        ASSERT_EQ(result.data.GetPoints(), c.points);
        ASSERT_EQ(result.data.sParameters.size(), 4 * c.points);
        EXPECT_DOUBLE_EQ(result.data.frequenciesHz.front(), c.firstHz);
        EXPECT_DOUBLE_EQ(result.data.frequenciesHz.back(), c.lastHz);
        EXPECT_DOUBLE_EQ(result.data.referenceOhms, c.ohms);
        EXPECT_NEAR(result.data.sParameters[0].real(), c.firstS11.real(), 1e-6);
        EXPECT_NEAR(result.data.sParameters[0].imag(), c.firstS11.imag(), 1e-6);
        EXPECT_NEAR(result.data.sParameters[3].real(), c.firstS22.real(), 1e-6);
        EXPECT_NEAR(result.data.sParameters[3].imag(), c.firstS22.imag(), 1e-6);
    }
}

TEST(TouchstoneReader, KeepsS21AndS12Apart) {
    // Two-port version 1 order is S11 S21 S12 S22.
    TouchstoneResult result = ParseTouchstone("# Hz S RI R 50\n1 1 2 3 4 5 6 7 8\n");
    ASSERT_EQ(result.status, TouchstoneStatus::kOk);
    EXPECT_EQ(result.data.sParameters[1], std::complex<double>(3, 4));  // S21
    EXPECT_EQ(result.data.sParameters[2], std::complex<double>(5, 6));  // S12
}

struct InvalidCase {
    const char* name;
    std::string text;
    const char* reason;  // a part of the reason given
};

TEST(TouchstoneReader, RefusesInvalidFiles) {
    const InvalidCase cases[] = {
        {"empty", "", "no data points"},
        {"comments only", "! nothing\n# Hz S RI R 50\n", "no data points"},
        {"Z parameters", "# Hz Z RI R 50\n1" + std::string(kRow) + "\n", "only S-parameter"},
        {"unknown option", "# Hz S XY R 50\n", "unknown option XY"},
        {"R without a value", "# Hz S RI R\n", "reference resistance"},
        {"R not positive", "# Hz S RI R -5\n", "reference resistance"},
        {"R not a number", "# Hz S RI R fifty\n", "reference resistance"},
        {"decreasing frequency", "# Hz S RI R 50\n2" + std::string(kRow) + "\n1" + kRow + "\n",
         "line 3: frequencies must increase"},
        {"repeated frequency", "# Hz S RI R 50\n1" + std::string(kRow) + "\n1" + kRow + "\n",
         "frequencies must increase"},
        {"negative frequency", "# Hz S RI R 50\n-1" + std::string(kRow) + "\n",
         "negative frequency"},
        {"eight values", "# Hz S RI R 50\n1 0.1 -0.2 0.95 0 0.95 0 -0.05\n", "8 of 9 values"},
        {"one-port data", "# Hz S RI R 50\n1 0.1 0.2\n2 0.1 0.2\n3 0.1 0.2\n4 0.1 0.2\n",
         "3 of 9 values"},
        {"ten values on a line", "# Hz S RI R 50\n1" + std::string(kRow) + " 7\n",
         "more than 9 values"},
        {"two points on a line", "# Hz S RI R 50\n1" + std::string(kRow) + " 2" + kRow + "\n",
         "more than 9 values"},
        {"a word among the numbers", "# Hz S RI R 50\n1 0.1 x 0.95 0 0.95 0 -0.05 0.25\n",
         "line 2: not a number"},
        {"a number with a unit", "# Hz S RI R 50\n1GHz" + std::string(kRow) + "\n", "not a number"},
        {"a malformed number", "# Hz S RI R 50\n1 0.1 -0.2 0.9.5 0 0.95 0 -0.05 0.25\n",
         "not a number"},
        {"infinity", "# Hz S RI R 50\n1 inf -0.2 0.95 0 0.95 0 -0.05 0.25\n", "not a number"},
        {"version 2 keywords", "[Version] 2.0\n# Hz S RI R 50\n", "version 2"},
        {"option line after the data", "1" + std::string(kRow) + "\n# Hz S RI R 50\n",
         "option line after"},
    };
    for (const InvalidCase& c : cases) {
        SCOPED_TRACE(c.name);
        TouchstoneResult result = ParseTouchstone(c.text);
        EXPECT_EQ(result.status, TouchstoneStatus::kInvalid);
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
    }
}

TEST(TouchstoneReader, ReadsFromDisk) {
    qvzsim_test::TempDir dir;
    const std::string body = "# Hz S RI R 50\r\n1" + std::string(kRow) + "\r\n2" + kRow + "\r\n";

    TouchstoneResult ok = qvzsim::ReadTouchstoneFile(dir.Write("P_Port1.s2p", body));
    ASSERT_EQ(ok.status, TouchstoneStatus::kOk) << ok.reason;
    EXPECT_EQ(ok.data.GetPoints(), 2u);

    EXPECT_EQ(qvzsim::ReadTouchstoneFile(dir.Write("UPPER.S2P", body)).status,
              TouchstoneStatus::kOk);
    EXPECT_EQ(qvzsim::ReadTouchstoneFile(dir.Write("noext", body)).status, TouchstoneStatus::kOk);
    EXPECT_EQ(qvzsim::ReadTouchstoneFile(dir.File("missing.s2p")).status,
              TouchstoneStatus::kNotFound);
    EXPECT_EQ(qvzsim::ReadTouchstoneFile(dir.Path()).status, TouchstoneStatus::kNotFound);

    TouchstoneResult onePort = qvzsim::ReadTouchstoneFile(dir.Write("one.s1p", body));
    EXPECT_EQ(onePort.status, TouchstoneStatus::kInvalid);
    EXPECT_NE(onePort.reason.find("not a two-port"), std::string::npos) << onePort.reason;
    EXPECT_EQ(qvzsim::ReadTouchstoneFile(dir.Write("four.s4p", body)).status,
              TouchstoneStatus::kInvalid);

    TouchstoneResult broken =
        qvzsim::ReadTouchstoneFile(dir.Write("broken.s2p", "# Hz S RI R 50\n1 2 3\n"));
    EXPECT_EQ(broken.status, TouchstoneStatus::kInvalid);
}

#ifndef _WIN32
// Only regular files are read: a FIFO would block the connection for good and
// a device or a huge sparse file would be read into memory. Each is refused
// at once as an invalid file, with the reason.
TEST(TouchstoneReader, RefusesWhatIsNotASmallRegularFile) {
    qvzsim_test::TempDir dir;
    const std::string fifo = dir.File("fifo.s2p");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = dir.File("sparse.s2p");
    {
        const int fd = ::open(sparse.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (off_t{256} << 20) + 1), 0);
        ::close(fd);
    }
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {sparse, "larger than 256 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto reading =
            std::async(std::launch::async, [&] { return qvzsim::ReadTouchstoneFile(c.path); });
        if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "the read blocks";
            // Let a reader stuck on the FIFO see the end of the stream.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
        const TouchstoneResult result = reading.get();
        EXPECT_EQ(result.status, TouchstoneStatus::kInvalid);
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
    }
}
#endif

#ifdef _WIN32
// A device name opens a device, not a file: it is refused without being
// opened (as missing where the C runtime cannot stat it, as under Wine, or
// as not a regular file), never read as an empty file.
TEST(TouchstoneReader, NeverReadsADeviceName) {
    const TouchstoneResult result = qvzsim::ReadTouchstoneFile("NUL");
    if (result.status == TouchstoneStatus::kInvalid) {
        EXPECT_NE(result.reason.find("not a regular file"), std::string::npos) << result.reason;
    } else {
        EXPECT_EQ(result.status, TouchstoneStatus::kNotFound);
    }
}
#endif

TEST(TouchstoneReader, CoverageAllowsTenDigitRounding) {
    qvzsim::TouchstoneData data;
    data.frequenciesHz = {1e7, 4.245e9, 8.5e9};
    const struct {
        double low;
        double high;
        bool covered;
    } cases[] = {
        {1e7, 8.5e9, true},
        {2e7, 8e9, true},
        {1e7, 1e7, true},
        {1.0000000004e7, 8.4999999996e9, true},  // written with 10 digits, the ends round
        {1.0000000004e7, 8.5000000004e9, true},
        {0.99999999e7, 8.5e9, false},  // really below the file
        {1e7, 8.50000001e9, false},    // really above the file
        {0, 8.5e9, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qvzsim::CoversRange(data, c.low, c.high), c.covered) << c.low << " " << c.high;
    }
    EXPECT_FALSE(qvzsim::CoversRange(qvzsim::TouchstoneData{}, 1, 2));
}

}  // namespace
