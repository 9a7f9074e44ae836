// What the exported API promises about a thread's settings, kept as an
// independent model so that the fuzz driver can tell whether the library's
// own state went where the calls said it should: every port's values,
// circuit, action and smoothing, the selected port, path, prefix and the
// apply-immediate flag.
#ifndef QVZ_FUZZ_API_MODEL_H
#define QVZ_FUZZ_API_MODEL_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "platform/working_directory.h"
#include "session_state.h"

namespace qvz {
namespace fuzz {

enum class ValueGroup { kRLCG, kL1R1L2R2, kC1G1C2G2 };

struct PortModel {
    // In call order of the group setters: R L C G, L1 R1 L2 R2, C1 G1 C2 G2.
    double values[3][4] = {
        {50.0, 1e-9, 1e-12, 0.02}, {1e-9, 50.0, 1e-9, 50.0}, {1e-12, 0.02, 1e-12, 0.02}};
    std::int32_t circuit = QVZ_SERIES_L_SHUNT_C;
    std::int32_t action = QVZ_NONE;
    std::int32_t smoothing = QVZ_SMOOTH;
};

struct ApiModel {
    static constexpr double kUnchangedTolerance = 2.220446049250313e-16;
    static constexpr std::size_t kFieldChars = 255;  // 256-byte fields, terminator included

    bool hasState = false;
    std::int32_t activePort = 0;
    PortModel ports[4];
    std::string prefix = "Prefix_";
    std::string path;
    std::uint8_t applyImmediate = 0;

    void Create(const std::string& workingDirectory) {
        *this = ApiModel();
        hasState = true;
        path = PathAsStored(workingDirectory);
    }

    PortModel& Active() { return ports[activePort]; }

    // The path rule: at most 255 characters, then the platform's separator
    // (a backslash on Windows, '/' elsewhere) appended when it is missing and fits.
    static std::string PathAsStored(const std::string& text) {
        std::string stored = Truncated(text);
        if ((stored.empty() || stored.back() != kPathSeparator) &&
            stored.size() + 2 <= kFieldChars + 1) {
            stored.push_back(kPathSeparator);
        }
        return stored;
    }

    static std::string Truncated(const std::string& text) {
        const std::string cString(text.c_str());  // up to the first NUL
        return cString.substr(0, kFieldChars);
    }

    // Whether a set of four counts as unchanged (all within 2^-52, absolute).
    bool SameValues(ValueGroup group, const double (&values)[4]) const {
        const auto& stored = ports[activePort].values[static_cast<int>(group)];
        for (int i = 0; i < 4; ++i) {
            if (!(std::fabs(values[i] - stored[i]) < kUnchangedTolerance)) {
                return false;
            }
        }
        return true;
    }
};

inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every setting of the real state must equal the model's, on every port.
inline void CheckStateMatches(const ApiModel& model, const SessionState& state) {
    FUZZ_CHECK(state.activePort == model.activePort, "selected port");
    FUZZ_CHECK(state.applyImmediate == model.applyImmediate, "apply-immediate flag");
    FUZZ_CHECK(model.prefix == state.filePrefix, "prefix");
    FUZZ_CHECK(model.path == state.filePath, "path");
    for (int p = 0; p < kPortCount; ++p) {
        const PortModel& port = model.ports[p];
        const double* const fields[3][4] = {
            {&state.R[p], &state.L[p], &state.C[p], &state.G[p]},
            {&state.L1[p], &state.R1[p], &state.L2[p], &state.R2[p]},
            {&state.C1[p], &state.G1[p], &state.C2[p], &state.G2[p]}};
        for (int g = 0; g < 3; ++g) {
            for (int i = 0; i < 4; ++i) {
                FUZZ_CHECK(SameBits(*fields[g][i], port.values[g][i]),
                           "component values are stored exactly as set, on their own port");
            }
        }
        FUZZ_CHECK(state.circuit[p] == port.circuit, "circuit of each port");
        FUZZ_CHECK(state.action[p] == port.action, "action of each port");
        FUZZ_CHECK(state.smoothing[p] == port.smoothing, "smoothing of each port");
    }
}

}  // namespace fuzz
}  // namespace qvz

#endif
