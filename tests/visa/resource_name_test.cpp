#include "visa/resource_name.h"

#include <ostream>

#include <gtest/gtest.h>

#include <string>
#include "param_names.h"

namespace qvz::visa {
namespace {

struct ResourceCase {
    const char* text;
    ViStatus status;
    const char* host;  // expected when status is VI_SUCCESS
    std::uint16_t port;
    std::uint16_t board;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const ResourceCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ResourceNameTest : public ::testing::TestWithParam<ResourceCase> {};

TEST_P(ResourceNameTest, ParsesAsVisaDoes) {
    const ResourceCase& c = GetParam();
    SocketResource parsed;
    parsed.host = "untouched";
    EXPECT_EQ(ParseResourceName(c.text, &parsed), c.status) << c.text;
    if (c.status == VI_SUCCESS) {
        EXPECT_EQ(parsed.host, c.host);
        EXPECT_EQ(parsed.port, c.port);
        EXPECT_EQ(parsed.board, c.board);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResourceNameTest,
    ::testing::Values(
        // Valid socket resources.
        ResourceCase{"TCPIP0::127.0.0.1::5025::SOCKET", VI_SUCCESS, "127.0.0.1", 5025, 0},
        ResourceCase{"TCPIP::127.0.0.1::5025::SOCKET", VI_SUCCESS, "127.0.0.1", 5025, 0},
        ResourceCase{"TCPIP3::analyzer.lab-1::1::SOCKET", VI_SUCCESS, "analyzer.lab-1", 1, 3},
        ResourceCase{"tcpip0::localhost::65535::socket", VI_SUCCESS, "localhost", 65535, 0},
        ResourceCase{"TcpIp12::host_name::80::Socket", VI_SUCCESS, "host_name", 80, 12},
        ResourceCase{"TCPIP0::[::1]::5025::SOCKET", VI_SUCCESS, "::1", 5025, 0},
        ResourceCase{"TCPIP0::::1::5025::SOCKET", VI_SUCCESS, "::1", 5025, 0},
        ResourceCase{"TCPIP0::fe80::1%eth0::5025::SOCKET", VI_SUCCESS, "fe80::1%eth0", 5025, 0},
        ResourceCase{"TCPIP0::[2001:db8::7]::5025::SOCKET", VI_SUCCESS, "2001:db8::7", 5025, 0},
        ResourceCase{"TCPIP0::::ffff:127.0.0.1::5025::SOCKET", VI_SUCCESS, "::ffff:127.0.0.1", 5025,
                     0},
        ResourceCase{"TCPIP65535::h::5025::SOCKET", VI_SUCCESS, "h", 5025, 65535},
        // Classes this layer does not serve.
        ResourceCase{"TCPIP0::127.0.0.1::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"TCPIP0::127.0.0.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"TCPIP0::127.0.0.1::hislip0::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"TCPIP0::127.0.0.1", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"GPIB0::20::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"gpib::20::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"USB0::0x0957::0x1234::SN42::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"ASRL1::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"PXI0::3-18::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"VXI0::1::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        ResourceCase{"GPIB-VXI0::1::INSTR", VI_ERROR_RSRC_NFOUND, "", 0, 0},
        // Malformed.
        ResourceCase{"", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"garbage", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"COM1", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIPx::h::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP65536::h::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0:127.0.0.1::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::127.0.0.1::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h::0::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h::65536::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h::-1::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h::50x25::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h:5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::host name::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::[::1::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::[]::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::[host]::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{"TCPIP0::h::5025::SOCKET::", VI_ERROR_INV_RSRC_NAME, "", 0, 0},
        ResourceCase{" TCPIP0::h::5025::SOCKET", VI_ERROR_INV_RSRC_NAME, "", 0, 0}),
    qvz_test::NameByField<&ResourceCase::text>());

TEST(ResourceName, NullTextIsAnInvalidName) {
    SocketResource parsed;
    EXPECT_EQ(ParseResourceName(nullptr, &parsed), VI_ERROR_INV_RSRC_NAME);
}

}  // namespace
}  // namespace qvz::visa
