// The spelling of a file name that all spellings of the same file share, so
// that `dir/x`, `dir/./x` and `dir//x` (on Windows also `C:\VNA\x` and
// `c:\vna\x`) are known to be one file. Implemented per platform (posix/:
// realpath of the directory; win/: GetFullPathName, folded to one case).
#ifndef QVZ_CANONICAL_PATH_H
#define QVZ_CANONICAL_PATH_H

#include <string>

namespace qvz {

// The file's directory resolved to its canonical form, joined with the last
// component unresolved (a link at the name is the file, not its target).
// When the directory cannot be resolved (it does not exist) the name itself
// is the key: no other spelling of it can be written either. May throw
// std::bad_alloc.
std::string CanonicalFileKey(const char* fileName);

}  // namespace qvz

#endif
