// Windows: the C runtime's stat, open and read on the name as given.
#include "fs/regular_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>

namespace qvzsim {
namespace fs {
namespace {

constexpr unsigned kChunkBytes = 1u << 16;

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::_close(fd);
        }
    }
};

unsigned TypeOf(unsigned short mode) {
    return static_cast<unsigned>(mode) & static_cast<unsigned>(_S_IFMT);
}

const char* KindOf(unsigned short mode) {
    switch (TypeOf(mode)) {
        case _S_IFIFO:
            return "a pipe";
        case _S_IFCHR:
            return "a device";
        default:
            return "a special file";
    }
}

// Sorts a name by what it is; true when it may be read.
bool Classify(const struct _stat64& info, std::size_t maxBytes, ReadResult& result) {
    const unsigned type = TypeOf(info.st_mode);
    if (type == _S_IFDIR) {
        result.status = ReadStatus::kCannotOpen;
    } else if (type != _S_IFREG) {
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
    // Looked at before opening: opening a device (CON, COM1, ...) can have
    // effects of its own.
    struct _stat64 info;
    if (::_stat64(path.c_str(), &info) != 0) {
        result.status = ReadStatus::kCannotOpen;
        return result;
    }
    if (!Classify(info, maxBytes, result)) {
        return result;
    }
    // What was actually opened is checked again: the name may have changed.
    // _sopen_s rather than _open, which MSVC deprecates (C4996).
    int fd = -1;
    if (::_sopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0) != 0) {
        fd = -1;
    }
    const Descriptor file{fd};
    if (file.fd < 0 || ::_fstat64(file.fd, &info) != 0) {
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
        const int got = ::_read(file.fd, &chunk[0],
                                static_cast<unsigned>(std::min<std::size_t>(room, kChunkBytes)));
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
