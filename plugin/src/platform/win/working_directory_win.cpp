#include <windows.h>

#include "platform/working_directory.h"

namespace qvz {

bool ReadWorkingDirectory(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0 || size > MAXDWORD) {
        return false;
    }
    const DWORD written = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
    // Zero means failure; a value of `size` or more is the length needed.
    if (written == 0 || written >= size) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace qvz
