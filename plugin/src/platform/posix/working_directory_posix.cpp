#include <unistd.h>

#include "platform/working_directory.h"

namespace qvz {

bool ReadWorkingDirectory(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (::getcwd(buffer, size) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace qvz
