// Tells whether a Touchstone file holds exactly one write: the three header
// lines, then data lines that all belong to one sweep, point after point.
// Two writes that got mixed (interleaved lines, or the tail of a longer old
// file behind a shorter new one) show as a line of another sweep, a line at
// the wrong place, a broken line or more lines than the sweep has.
#ifndef QVZ_TESTS_SOAK_SINGLE_WRITE_CHECK_H
#define QVZ_TESTS_SOAK_SINGLE_WRITE_CHECK_H

#include <string>
#include <vector>

namespace qvz {
namespace testing {

enum class WriteState {
    kComplete,    // every point of one sweep
    kInProgress,  // the beginning of one write (a writer may still be at it)
};

struct SingleWriteResult {
    bool ok = false;
    int sweep = -1;  // index of the sweep the data belongs to, -1 if none yet
    std::string problem;
};

// `sweeps`: the frequencies each possible writer uses; their first values
// must differ. With kComplete the file must hold every point of its sweep;
// with kInProgress a beginning of one write is accepted too.
SingleWriteResult CheckSingleWrite(const std::string& text,
                                   const std::vector<std::vector<double>>& sweeps,
                                   WriteState expected);

std::string ReadWholeFile(const std::string& path);

}  // namespace testing
}  // namespace qvz

#endif
