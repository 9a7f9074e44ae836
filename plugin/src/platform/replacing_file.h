// A file written under a temporary name beside its final name and put in
// place in one step. Whoever opens the final name sees the previous complete
// file or the new complete one, never part of either; a write that fails
// leaves the previous file as it was. Whatever stands at the final name (a
// link, a FIFO, a device) is replaced, never written through. Implemented per
// platform (posix/: rename; win/: MoveFileEx).
#ifndef QVZ_REPLACING_FILE_H
#define QVZ_REPLACING_FILE_H

#include <cstddef>
#include <string>

namespace qvz {

class ReplacingFile {
public:
    ReplacingFile() = default;
    // Closes and removes the temporary file unless Commit succeeded.
    ~ReplacingFile();

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file in the directory of `fileName`. False when
    // it cannot be created or when a directory stands at `fileName`.
    bool Open(const char* fileName);

    // Appends `size` bytes; with `flush` they (and any unflushed bytes before
    // them) are handed to the system at once, in one write where the system
    // takes it whole, so the temporary file grows line by line. False once
    // any write has failed.
    bool WriteLine(const char* data, std::size_t size, bool flush);

    // Closes the temporary file and renames it over the final name. False
    // when the close or the rename fails; the temporary file is then gone and
    // the final name untouched.
    bool Commit();

private:
    void Abandon();
    // Hands `size` bytes to the system, in as many writes as it takes (per
    // platform). A plain descriptor rather than a stream: a flushed line is
    // then one system call and one copy less.
    bool WriteAll(const char* data, std::size_t size);

    int fd_ = -1;
    std::string pending_;  // bytes written without a flush, sent with the next flush
    std::string finalName_;
    std::string tempName_;
    bool failed_ = false;
};

}  // namespace qvz

#endif
