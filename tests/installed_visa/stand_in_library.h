// The test's own handle on a stand-in VISA library: loads it by path (the
// same loaded copy the plug-in gets, so both see one state) and reaches its
// recording and scripting functions.
#ifndef QVZ_TESTS_STAND_IN_LIBRARY_H
#define QVZ_TESTS_STAND_IN_LIBRARY_H

#include <string>
#include <vector>

namespace qvz {
namespace testing {

class StandInLibrary {
public:
    explicit StandInLibrary(std::string path);
    ~StandInLibrary();
    StandInLibrary(const StandInLibrary&) = delete;
    StandInLibrary& operator=(const StandInLibrary&) = delete;

    const std::string& Path() const { return path_; }
    // False when the file could not be loaded or is not a stand-in.
    bool Loaded() const { return reset_ != nullptr; }
    bool Exports(const char* function) const;

    void Reset() const;
    void Serve(int channel, const std::vector<double>& frequencies,
               const std::string& errorEntry = "0,\"No error\"") const;
    void FailNext(const char* function, int status) const;
    void SetNextHandle(unsigned handle) const;

    // One entry per call, in order.
    std::vector<std::string> Calls() const;
    // Every byte written, split after each '\n'.
    std::vector<std::string> Commands() const;
    int OpenSessions() const;

private:
    std::string path_;
    void* library_ = nullptr;
    void (*reset_)() = nullptr;
    void (*serve_)(int, const double*, int, const char*) = nullptr;
    void (*failNext_)(const char*, int) = nullptr;
    void (*setNextHandle_)(unsigned) = nullptr;
    const char* (*calls_)() = nullptr;
    const char* (*written_)() = nullptr;
    int (*openSessions_)() = nullptr;
};

// Splits `text` after each '\n' (kept); a tail without one is an entry too.
std::vector<std::string> SplitLines(const std::string& text, bool keepNewline);

}  // namespace testing
}  // namespace qvz

#endif
