// Serialises the use of one file within the process: two threads that write
// (and have the analyzer load) the same Touchstone file take turns, while
// different files go ahead in parallel. Spellings of one file (`dir/x`,
// `dir/./x`, `dir//x`; on Windows any case) are the same file.
#ifndef QVZ_FILE_NAME_LOCKS_H
#define QVZ_FILE_NAME_LOCKS_H

#include <string>

namespace qvz {

// Holds the lock of one file from construction to destruction, waiting first
// while another thread holds the same file. May throw std::bad_alloc or
// std::system_error; callers at the C boundary catch them.
class FileNameLock {
public:
    explicit FileNameLock(const char* fileName);
    ~FileNameLock();

    FileNameLock(const FileNameLock&) = delete;
    FileNameLock& operator=(const FileNameLock&) = delete;

private:
    std::string key_;
};

}  // namespace qvz

#endif
