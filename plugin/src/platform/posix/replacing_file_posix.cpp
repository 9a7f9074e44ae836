// POSIX: the temporary file is created exclusively (never through a link
// someone left at its name), written with write(2), closed and renamed over
// the final name; rename replaces the directory entry whatever it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/replacing_file.h"

namespace qvz {
namespace {

constexpr unsigned kNameAttempts = 64;

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// "<directory>/.qv" and six letters or digits: nine characters, no longer
// than the shortest name the library writes ("Port1.s2p"), so a name that
// fits the file system still fits.
std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<std::uint64_t> counter{0};
    const auto ticks =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t bits =
        Mix(ticks ^ Mix(counter.fetch_add(1) ^ (static_cast<std::uint64_t>(::getpid()) << 32)));
    const std::size_t slash = fileName.rfind('/');
    std::string name = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    name += ".qv";
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 6; ++i) {
        name += kDigits[bits % 36];
        bits /= 36;
    }
    return name;
}

bool IsDirectory(const char* name) {
    struct stat info;
    return ::lstat(name, &info) == 0 && S_ISDIR(info.st_mode);
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
        // Permissions as an ordinary create gives them (0666 less the umask),
        // so the analyzer can read the file as before.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR) {
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
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
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
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed || ::rename(tempName_.c_str(), finalName_.c_str()) != 0) {
        Abandon();
        return false;
    }
    tempName_.clear();
    return true;
}

void ReplacingFile::Abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    pending_.clear();
    if (!tempName_.empty()) {
        ::unlink(tempName_.c_str());
        tempName_.clear();
    }
    failed_ = false;
}

}  // namespace qvz
