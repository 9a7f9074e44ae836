// The platform-independent half of ReplacingFile: lines that are not to be
// flushed on their own wait for the next flushed one.
#include "platform/replacing_file.h"

namespace qvz {

bool ReplacingFile::WriteLine(const char* data, std::size_t size, bool flush) {
    if (fd_ < 0 || failed_) {
        return false;
    }
    if (!flush) {
        pending_.append(data, size);
        return true;
    }
    bool written;
    if (pending_.empty()) {
        written = WriteAll(data, size);
    } else {
        pending_.append(data, size);
        written = WriteAll(pending_.data(), pending_.size());
        pending_.clear();
    }
    failed_ = !written;
    return written;
}

}  // namespace qvz
