// Reading a file named by a client, whole and safely: only a regular file is
// opened (a FIFO would block the connection for good, a device such as
// /dev/zero never ends), and its size is checked before anything is read.
// The POSIX implementation lives in fs/posix, the Windows one in fs/win.
#ifndef QVZSIM_FS_REGULAR_FILE_H
#define QVZSIM_FS_REGULAR_FILE_H

#include <cstddef>
#include <string>

namespace qvzsim {
namespace fs {

enum class ReadStatus {
    kOk,
    kCannotOpen,  // missing, unreadable or a directory
    kNotRegular,  // a FIFO, device or socket; `detail` names which
    kTooLarge,    // over the size limit
};

struct ReadResult {
    ReadStatus status = ReadStatus::kOk;
    std::string text;    // the whole file when kOk
    std::string detail;  // for kNotRegular: what the name is instead
};

// Reads `path` when it is a regular file of at most `maxBytes` bytes. Never
// blocks on what is behind the name and never reads more than maxBytes + 1.
ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes);

}  // namespace fs
}  // namespace qvzsim

#endif
