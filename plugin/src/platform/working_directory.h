// Where the Touchstone files go by default: the process's working directory,
// and the separator that ends a directory path on this platform. Implemented
// per platform (posix/working_directory_posix.cpp, win/working_directory_win.cpp).
#ifndef QVZ_WORKING_DIRECTORY_H
#define QVZ_WORKING_DIRECTORY_H

#include <cstddef>

namespace qvz {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Writes the current working directory into `buffer` (zero-terminated).
// False when it cannot be read or does not fit.
bool ReadWorkingDirectory(char* buffer, std::size_t size);

}  // namespace qvz

#endif
