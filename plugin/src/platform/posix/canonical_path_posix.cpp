#include <cstdlib>
#include <memory>

#include "platform/canonical_path.h"

namespace qvz {

std::string CanonicalFileKey(const char* fileName) {
    const std::string name(fileName);
    const std::size_t slash = name.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(directory.c_str(), nullptr), &std::free);
    if (!resolved) {
        return name;
    }
    std::string key(resolved.get());
    if (key.empty() || key.back() != '/') {
        key += '/';
    }
    return key + last;
}

}  // namespace qvz
