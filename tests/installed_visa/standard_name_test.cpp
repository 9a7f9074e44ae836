// Windows: the loader finds the installed library by its standard name,
// visa64.dll, through the ordinary DLL search, as it does on a host with a
// VISA installed. The stand-in is copied under that name into a directory
// of the test's own, added to the search for this process only.
#include <windows.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installed_visa_fixture.h"

namespace qvz {
namespace testing {
namespace {

TEST(StandardName, Visa64DllIsFoundByItsNameAndServesTheSession) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("qvz_visa64_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory);
    const std::filesystem::path visa64 = directory / "visa64.dll";
    std::filesystem::copy_file(STAND_IN_VISA_PATH, visa64);
    ASSERT_NE(SetDllDirectoryA(directory.string().c_str()), FALSE);

    // The standard names, not a test path: only the search can find it.
    visa::ResetInstalledVisaForTesting();
    ASSERT_EQ(QVZ_init(kInstrResource), 0);

    // The module the plug-in loaded is our copy, found by the search.
    const HMODULE loaded = GetModuleHandleA("visa64.dll");
    ASSERT_NE(loaded, nullptr);
    char loadedPath[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(loaded, loadedPath, MAX_PATH), 0u);
    EXPECT_TRUE(std::filesystem::equivalent(loadedPath, visa64)) << loadedPath;

    // Its own record of the calls it served (read without resetting it).
    using CallsFunction = const char* (*)();
    const auto callsOf = reinterpret_cast<CallsFunction>(
        reinterpret_cast<void*>(GetProcAddress(loaded, "stand_in_calls")));
    ASSERT_NE(callsOf, nullptr);
    const std::vector<std::string> calls = SplitLines(callsOf(), false);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "viOpenDefaultRM -> 1");
    EXPECT_EQ(calls[1], std::string("viOpen 1 ") + kInstrResource + " 0 0 -> 2");
    EXPECT_EQ(QVZ_close(), 0);
    EXPECT_EQ(SplitLines(callsOf(), false).size(), 6u) << "both sessions closed through it";

    SetDllDirectoryA(nullptr);
    visa::SetInstalledVisaCandidatesForTesting({});
    // The library stays loaded for the process's life, so its file stays too.
}

}  // namespace
}  // namespace testing
}  // namespace qvz
