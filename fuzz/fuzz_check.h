// Invariant checks for the fuzz targets. A broken invariant must stop the
// run the way a sanitizer report does, so that libFuzzer saves the input.
#ifndef QVZ_FUZZ_CHECK_H
#define QVZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what, \
                         #condition);                                                            \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

#endif
