// Small platform facts the session needs.
#ifndef QVZ_PLATFORM_H
#define QVZ_PLATFORM_H

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
