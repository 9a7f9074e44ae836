// Replays saved inputs through a fuzz target's own checks, in every build
// (no libFuzzer needed): the inputs that once broke the target, kept in
// tests/regression/inputs/<target>/, and the target's seed corpus. A broken
// invariant aborts with the input's name on the trace. QVZ_REPLAY_DIRS names
// the directories, separated by '|'.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
#if QVZ_REPLAY_HAS_INITIALIZE
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
#endif

namespace {

std::vector<std::filesystem::path> SavedInputs() {
    std::vector<std::filesystem::path> files;
    const std::string list = QVZ_REPLAY_DIRS;
    std::size_t from = 0;
    while (from <= list.size()) {
        const std::size_t bar = std::min(list.find('|', from), list.size());
        const std::filesystem::path directory = list.substr(from, bar - from);
        if (std::filesystem::is_directory(directory)) {
            for (const auto& entry : std::filesystem::directory_iterator(directory)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        }
        from = bar + 1;
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzReplay, SavedInputsKeepEveryInvariant) {
    const std::vector<std::filesystem::path> files = SavedInputs();
#if QVZ_REPLAY_HAS_INITIALIZE
    int argc = 0;
    char** argv = nullptr;
    LLVMFuzzerInitialize(&argc, &argv);
#endif
    ASSERT_FALSE(files.empty());
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0);
    }
}

}  // namespace
