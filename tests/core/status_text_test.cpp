// The public statuses: every VISA status the library's code can return has a
// name in qvzfix_status.h with the library's value and a text that starts
// with that name; analyzer errors follow the bit-31 rule both ways.
#include "qvzfix_status.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "visa/visa.h"

extern "C" const char* QvzStatusTextFromC(int32_t status);

namespace {

namespace visa = qvz::visa;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool StartsWith(const std::string& text, const std::string& lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

const std::filesystem::path kSourceDir = QVZ_SOURCE_DIR;

// The library's own constants against the public ones, by name.
TEST(PublicStatuses, MatchTheLibrarysValuesAndNameThemselves) {
    const struct {
        const char* name;
        int32_t published;
        visa::ViStatus internal;
    } statuses[] = {
#define QVZ_STATUS_ROW(NAME) {#NAME, QVZ_##NAME, visa::NAME}
        QVZ_STATUS_ROW(VI_SUCCESS),
        QVZ_STATUS_ROW(VI_ERROR_INV_OBJECT),
        QVZ_STATUS_ROW(VI_ERROR_RSRC_NFOUND),
        QVZ_STATUS_ROW(VI_ERROR_INV_RSRC_NAME),
        QVZ_STATUS_ROW(VI_ERROR_TMO),
        QVZ_STATUS_ROW(VI_ERROR_NSUP_ATTR),
        QVZ_STATUS_ROW(VI_ERROR_NSUP_ATTR_STATE),
        QVZ_STATUS_ROW(VI_ERROR_ALLOC),
        QVZ_STATUS_ROW(VI_ERROR_IO),
        QVZ_STATUS_ROW(VI_ERROR_INV_FMT),
        QVZ_STATUS_ROW(VI_ERROR_NSUP_FMT),
        QVZ_STATUS_ROW(VI_ERROR_NSUP_OPER),
        QVZ_STATUS_ROW(VI_ERROR_USER_BUF),
        QVZ_STATUS_ROW(VI_ERROR_INV_PARAMETER),
        QVZ_STATUS_ROW(VI_ERROR_INV_LENGTH),
        QVZ_STATUS_ROW(VI_ERROR_FILE_ACCESS),
        QVZ_STATUS_ROW(VI_ERROR_FILE_IO),
        QVZ_STATUS_ROW(VI_ERROR_CONN_LOST),
#undef QVZ_STATUS_ROW
    };
    for (const auto& s : statuses) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.published, s.internal);
        EXPECT_TRUE(StartsWith(qvz_status_text(s.published), std::string(s.name) + ": "))
            << qvz_status_text(s.published);
        EXPECT_STREQ(QvzStatusTextFromC(s.published), qvz_status_text(s.published));
        if (s.published != 0) {
            EXPECT_TRUE(qvz_status_is_visa(s.published));
            EXPECT_FALSE(qvz_status_is_analyzer_error(s.published));
        }
    }
}

// Whatever VI_ERROR_ the sources name, now or after a change, must be
// published: the header is read as a host's tools would read it.
TEST(PublicStatuses, CoverEveryVisaErrorTheSourcesUse) {
    const std::string header = ReadFile(kSourceDir / "plugin/include/qvzfix_status.h");
    ASSERT_FALSE(header.empty()) << "cannot read qvzfix_status.h under " << kSourceDir;
    std::map<std::string, std::uint32_t> published;
    const std::regex define(
        R"(#define QVZ_(VI_ERROR_[A-Z_]+)\s+QVZ_STATUS_FROM_BITS\((0x[0-9A-F]{8})\))");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
        published[(*it)[1]] = static_cast<std::uint32_t>(std::stoul((*it)[2], nullptr, 16));
    }

    std::set<std::string> used;
    const std::regex name(R"(\bVI_ERROR_[A-Z_]+\b)");
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(kSourceDir / "plugin/src")) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string text = ReadFile(entry.path());
        for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) {
            used.insert(it->str());
        }
    }
    ASSERT_GT(used.size(), 10u) << "found too few statuses under " << kSourceDir / "plugin/src";

    for (const std::string& status : used) {
        SCOPED_TRACE(status);
        const auto found = published.find(status);
        ASSERT_NE(found, published.end()) << "qvzfix_status.h lacks QVZ_" << status;
        const int32_t value = static_cast<int32_t>(found->second);
        EXPECT_TRUE(StartsWith(qvz_status_text(value), status + ": ")) << qvz_status_text(value);
    }
}

TEST(PublicStatuses, AnalyzerErrorsFollowTheBit31Rule) {
    const struct {
        int32_t status;
        int32_t number;
        const char* text;
    } cases[] = {
        {-222, -222, "analyzer error -222"},
        {-256, -256, "analyzer error -256"},
        {-1, -1, "analyzer error -1"},
        {QVZ_ANALYZER_ERROR(101), 101, "analyzer error 101"},
        {QVZ_ANALYZER_ERROR(1), 1, "analyzer error 1"},
        {QVZ_ANALYZER_ERROR(65535), 65535, "analyzer error 65535"},
        {INT32_MIN, INT32_MIN, "analyzer error -2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(qvz_status_is_analyzer_error(c.status));
        EXPECT_FALSE(qvz_status_is_visa(c.status));
        EXPECT_EQ(qvz_analyzer_error_number(c.status), c.number);
        EXPECT_STREQ(qvz_status_text(c.status), c.text);
        EXPECT_STREQ(QvzStatusTextFromC(c.status), c.text);
    }
    EXPECT_EQ(QVZ_ANALYZER_ERROR(101), static_cast<int32_t>(0x80000065u));
}

TEST(PublicStatuses, OtherStatusesStillGetAText) {
    EXPECT_STREQ(qvz_status_text(static_cast<int32_t>(0xBFFF00FFu)), "VISA error 0xBFFF00FF");
    EXPECT_STREQ(qvz_status_text(0x3FFF0082), "VISA completion code 0x3FFF0082");
    EXPECT_EQ(qvz_analyzer_error_number(QVZ_VI_ERROR_TMO), 0);
    EXPECT_EQ(qvz_analyzer_error_number(0), 0);
}

}  // namespace
