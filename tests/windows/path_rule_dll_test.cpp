// The path rule on Windows, through the real DLL: the separator appended is
// the backslash (a slash is an ordinary character here), and a new state's
// path is the current directory.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "loaded_qvzfix.h"

namespace qvz {
namespace testing {
namespace {

constexpr const char* kUnopenableResource = "not a resource";

class PathRuleDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load()) << kQvzfixDll << " beside the test, error " << GetLastError();
        ASSERT_LT(library.init(kUnopenableResource), 0) << "fails to open, keeps a state";
    }
    void TearDown() override {
        if (library.Module() != nullptr) {
            library.close();
        }
    }
    LoadedQvzfix library;
};

struct PathCase {
    const char* given;
    const char* stored;
};

TEST_F(PathRuleDll, TheBackslashIsAppendedOnlyWhenMissing) {
    const PathCase cases[] = {
        {"C:\\data", "C:\\data\\"},
        {"C:\\data\\", "C:\\data\\"},
        {"C:\\", "C:\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"C:/data/", "C:/data/\\"},  // not a separator on Windows
        {"", "\\"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.given);
        ASSERT_EQ(library.setS2PFilePath(c.given), 0);
        EXPECT_EQ(StoredPath(library), c.stored);
    }
}

TEST_F(PathRuleDll, TheStoredPathAgainIsANoOpButTheBarePathIsAChange) {
    // Without a connection every apply fails, so a negative status shows
    // that a setter applied and 0 that it did not.
    ASSERT_LT(library.setApplyImmediate(1), 0);
    EXPECT_LT(library.setS2PFilePath("C:\\data"), 0) << "a change applies";
    EXPECT_EQ(StoredPath(library), "C:\\data\\");
    EXPECT_EQ(library.setS2PFilePath("C:\\data\\"), 0) << "the stored path: no apply";
    EXPECT_LT(library.setS2PFilePath("C:\\data"), 0) << "the bare path differs from the stored one";
    EXPECT_EQ(StoredPath(library), "C:\\data\\");
}

TEST_F(PathRuleDll, ANewStateStartsInTheCurrentDirectory) {
    char original[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, original), 0u);
    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    std::string tempWithoutSeparator = temp;
    if (tempWithoutSeparator.size() > 3 && tempWithoutSeparator.back() == '\\') {
        tempWithoutSeparator.pop_back();
    }
    struct DirectoryCase {
        std::string directory;
        std::string stored;
    };
    const DirectoryCase cases[] = {
        {tempWithoutSeparator, tempWithoutSeparator + "\\"},
        {"C:\\", "C:\\"},
    };
    for (const DirectoryCase& c : cases) {
        SCOPED_TRACE(c.directory);
        ASSERT_TRUE(SetCurrentDirectoryA(c.directory.c_str()));
        ASSERT_EQ(library.close(), 0);
        ASSERT_LT(library.init(kUnopenableResource), 0);
        EXPECT_EQ(StoredPath(library), c.stored);
    }
    SetCurrentDirectoryA(original);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
