// Serialises writes of one file name within the process: two threads that
// write the same Touchstone file never interleave their lines, while writes
// of different names go ahead in parallel.
#ifndef QVZ_FILE_NAME_LOCKS_H
#define QVZ_FILE_NAME_LOCKS_H

namespace qvz {

// Holds the write lock of one file name from construction to destruction,
// waiting first while another thread holds the same name. Names are compared
// as strings. `fileName` must stay valid and unchanged while the lock lives
// (the lock keeps the pointer, not a copy, so that taking it never
// allocates). std::mutex may throw std::system_error; callers at the C
// boundary catch it.
class FileNameLock {
public:
    explicit FileNameLock(const char* fileName);
    ~FileNameLock();

    FileNameLock(const FileNameLock&) = delete;
    FileNameLock& operator=(const FileNameLock&) = delete;

private:
    int slot_;
};

}  // namespace qvz

#endif
