#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#include "platform/canonical_path.h"

namespace qvz {

// GetFullPathName settles `.`, `..`, repeated separators and the current
// drive and directory; file names on Windows compare without case, so the
// key is folded to upper case.
std::string CanonicalFileKey(const char* fileName) {
    std::vector<char> full(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFullPathNameA(fileName, static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            break;
        }
        if (length < full.size()) {
            std::string key(full.data(), length);
            if (!key.empty()) {
                CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
            }
            return key;
        }
        full.resize(static_cast<std::size_t>(length) + 1);
    }
    std::string key(fileName);
    if (!key.empty()) {
        CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    }
    return key;
}

}  // namespace qvz
