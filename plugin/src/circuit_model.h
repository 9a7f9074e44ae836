// Two-port S-parameters (50 ohm) of a port's two-element matching network.
#ifndef QVZ_CIRCUIT_MODEL_H
#define QVZ_CIRCUIT_MODEL_H

#include <cstdint>

#include "complex_value.h"
#include "session_state.h"

namespace qvz {

// From this many points on, the sweep is computed in two halves side by
// side: starting a thread then costs far less than computing half of it.
constexpr std::int32_t kModelSplitMinPoints = 16384;

// Fills s11, s21, s12 and s22 (n elements each) with the network of the
// active port of `state` at `frequencies` (Hz). The port's twelve component
// values are rounded with its smoothing mode first. n <= 0 writes nothing.
// Precondition: state.activePort in 0..3.
void ComputeCircuitSParameters(const SessionState& state, std::int32_t n, const double* frequencies,
                               ComplexValue* s11, ComplexValue* s21, ComplexValue* s12,
                               ComplexValue* s22);

}  // namespace qvz

#endif
