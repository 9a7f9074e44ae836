// Builds SessionState values for the model tests without the session code:
// a zeroed block with the factory defaults on every port.
#ifndef QVZ_TESTS_MODEL_TEST_STATE_H
#define QVZ_TESTS_MODEL_TEST_STATE_H

#include <cstring>

#include "session_state.h"

namespace qvz::test {

inline SessionState DefaultState() {
    SessionState state;
    std::memset(&state, 0, sizeof state);
    for (int p = 0; p < kPortCount; ++p) {
        state.R[p] = 50.0;
        state.L[p] = 1e-9;
        state.C[p] = 1e-12;
        state.G[p] = 0.02;
        state.L1[p] = 1e-9;
        state.L2[p] = 1e-9;
        state.R1[p] = 50.0;
        state.R2[p] = 50.0;
        state.C1[p] = 1e-12;
        state.C2[p] = 1e-12;
        state.G1[p] = 0.02;
        state.G2[p] = 0.02;
        state.circuit[p] = QVZ_SERIES_L_SHUNT_C;
        state.action[p] = QVZ_NONE;
        state.smoothing[p] = QVZ_SMOOTH;
    }
    return state;
}

// Every resistance and conductance zero: a lossless network.
inline SessionState LosslessState(double inductance, double capacitance) {
    SessionState state = DefaultState();
    for (int p = 0; p < kPortCount; ++p) {
        state.R[p] = state.R1[p] = state.R2[p] = 0.0;
        state.G[p] = state.G1[p] = state.G2[p] = 0.0;
        state.L[p] = state.L1[p] = state.L2[p] = inductance;
        state.C[p] = state.C1[p] = state.C2[p] = capacitance;
    }
    return state;
}

}  // namespace qvz::test

#endif
