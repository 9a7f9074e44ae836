// Windows: the temporary file is created exclusively, written with stdio,
// closed and moved over the final name with MoveFileEx (replacing whatever
// stands there, and returning only once the move is on disk).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/replacing_file.h"

namespace qvz {
namespace {

// _write takes an unsigned count and returns an int.
constexpr std::size_t kLargestWrite = 1u << 30;
constexpr unsigned kNameAttempts = 64;

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// "<directory>\.qv" and six letters or digits: nine characters, no longer
// than the shortest name the library writes ("Port1.s2p"), so a name that
// fits MAX_PATH still fits.
std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<std::uint64_t> counter{0};
    const auto ticks =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t bits =
        Mix(ticks ^
            Mix(counter.fetch_add(1) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)));
    const std::size_t separator = fileName.find_last_of("\\/:");
    std::string name =
        separator == std::string::npos ? std::string() : fileName.substr(0, separator + 1);
    name += ".qv";
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 6; ++i) {
        name += kDigits[bits % 36];
        bits /= 36;
    }
    return name;
}

// A directory proper; a directory link is replaced like any other link.
bool IsDirectory(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A file that someone has open without FILE_SHARE_DELETE (a reader such as
// the analyzer loading the previous version) cannot be replaced until it is
// closed again; such a reader is usually done within moments, so the move is
// retried for a while before the write counts as failed.
bool MoveOverFinalName(const std::string& from, const std::string& to) {
    constexpr DWORD kRetryForMs = 2000;
    const DWORD start = GetTickCount();
    for (DWORD pause = 1;; pause = pause < 16 ? pause * 2 : pause) {
        if (MoveFileExA(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            GetTickCount() - start >= kRetryForMs) {
            return false;
        }
        Sleep(pause);
    }
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    Abandon();
}

bool ReplacingFile::Open(const char* fileName) {
    Abandon();
    if (IsDirectory(fileName)) {
        return false;
    }
    finalName_ = fileName;
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = TemporaryNameBeside(finalName_);
        // _sopen_s rather than _open, which MSVC deprecates (C4996).
        int fd = -1;
        const errno_t opened = _sopen_s(&fd, candidate.c_str(),
                                        _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                        _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (opened != 0 || fd < 0) {
            if (opened == EEXIST) {
                continue;
            }
            return false;
        }
        fd_ = fd;
        tempName_ = std::move(candidate);
        failed_ = false;
        return true;
    }
    return false;
}

bool ReplacingFile::WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = size > kLargestWrite ? kLargestWrite : static_cast<unsigned>(size);
        const int written = _write(fd_, data, chunk);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ReplacingFile::Commit() {
    if (fd_ < 0 || failed_ || (!pending_.empty() && !WriteAll(pending_.data(), pending_.size()))) {
        Abandon();
        return false;
    }
    pending_.clear();
    const bool closed = _close(fd_) == 0;
    fd_ = -1;
    if (!closed || !MoveOverFinalName(tempName_, finalName_)) {
        Abandon();
        return false;
    }
    tempName_.clear();
    return true;
}

void ReplacingFile::Abandon() {
    if (fd_ >= 0) {
        _close(fd_);
        fd_ = -1;
    }
    pending_.clear();
    if (!tempName_.empty()) {
        DeleteFileA(tempName_.c_str());
        tempName_.clear();
    }
    failed_ = false;
}

}  // namespace qvz
