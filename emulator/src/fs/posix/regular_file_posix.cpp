// POSIX: stat before opening, open without blocking, fstat what was opened.
#include "fs/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>

namespace qvzsim {
namespace fs {
namespace {

#ifdef O_CLOEXEC
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#else
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#endif
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a special file";
}

// Sorts a name by what it is; true when it may be read.
bool Classify(const struct stat& info, std::size_t maxBytes, ReadResult& result) {
    if (S_ISDIR(info.st_mode)) {
        result.status = ReadStatus::kCannotOpen;
    } else if (!S_ISREG(info.st_mode)) {
        result.status = ReadStatus::kNotRegular;
        result.detail = KindOf(info.st_mode);
    } else if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxBytes) {
        result.status = ReadStatus::kTooLarge;
    } else {
        return true;
    }
    return false;
}

}  // namespace

ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    ReadResult result;
    // Looked at before opening: opening a device can have effects of its own.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        result.status = ReadStatus::kCannotOpen;
        return result;
    }
    if (!Classify(info, maxBytes, result)) {
        return result;
    }
    // Non-blocking, in case the name was replaced by a FIFO in between; what
    // was actually opened is checked again.
    const Descriptor file{::open(path.c_str(), kOpenFlags)};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        result.status = ReadStatus::kCannotOpen;
        return result;
    }
    if (!Classify(info, maxBytes, result)) {
        return result;
    }

    result.text.reserve(static_cast<std::size_t>(info.st_size));
    std::string chunk(kChunkBytes, '\0');
    for (;;) {
        // One byte beyond the limit is enough to tell a file that grew.
        const std::size_t room = maxBytes + 1 - result.text.size();
        const ssize_t got = ::read(file.fd, &chunk[0], std::min(room, chunk.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result.status = ReadStatus::kCannotOpen;
            result.text.clear();
            return result;
        }
        if (got == 0) {
            break;
        }
        result.text.append(chunk.data(), static_cast<std::size_t>(got));
        if (result.text.size() > maxBytes) {
            result.status = ReadStatus::kTooLarge;
            result.text.clear();
            return result;
        }
    }
    return result;
}

}  // namespace fs
}  // namespace qvzsim
