#include "stand_in_library.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qvz {
namespace testing {
namespace {

void* Load(const std::string& path) {
#if defined(_WIN32)
    return LoadLibraryA(path.c_str());
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* Symbol(void* library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <typename Function>
void Resolve(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(Symbol(library, name));
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text, bool keepNewline) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start + (keepNewline ? 1 : 0)));
        start = end + 1;
    }
    return lines;
}

StandInLibrary::StandInLibrary(std::string path) : path_(std::move(path)), library_(Load(path_)) {
    Resolve(library_, "stand_in_reset", &reset_);
    Resolve(library_, "stand_in_serve", &serve_);
    Resolve(library_, "stand_in_fail_next", &failNext_);
    Resolve(library_, "stand_in_set_next_handle", &setNextHandle_);
    Resolve(library_, "stand_in_calls", &calls_);
    Resolve(library_, "stand_in_written", &written_);
    Resolve(library_, "stand_in_open_sessions", &openSessions_);
    if (reset_ != nullptr) {
        reset_();
    }
}

StandInLibrary::~StandInLibrary() {
    if (library_ != nullptr) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(library_));
#else
        dlclose(library_);
#endif
    }
}

bool StandInLibrary::Exports(const char* function) const {
    return Symbol(library_, function) != nullptr;
}

void StandInLibrary::Reset() const {
    reset_();
}

void StandInLibrary::Serve(int channel, const std::vector<double>& frequencies,
                           const std::string& errorEntry) const {
    serve_(channel, frequencies.data(), static_cast<int>(frequencies.size()), errorEntry.c_str());
}

void StandInLibrary::FailNext(const char* function, int status) const {
    failNext_(function, status);
}

void StandInLibrary::SetNextHandle(unsigned handle) const {
    setNextHandle_(handle);
}

std::vector<std::string> StandInLibrary::Calls() const {
    return SplitLines(calls_(), false);
}

std::vector<std::string> StandInLibrary::Commands() const {
    return SplitLines(written_(), true);
}

int StandInLibrary::OpenSessions() const {
    return openSessions_();
}

}  // namespace testing
}  // namespace qvz
