// Two-port S-parameters (50 ohm) of a port's two-element matching network.
#ifndef QVZ_CIRCUIT_MODEL_H
#define QVZ_CIRCUIT_MODEL_H

#include <cstdint>

#include "complex_value.h"
#include "session_state.h"

namespace qvz {

// The port's component values after standard-value rounding; they live only
// for one apply and are never written back to the session.
struct RoundedComponents {
    double R, L, C, G, L1, R1, L2, R2, C1, G1, C2, G2;
};

// The active port's network with its values rounded once, computed over a
// sweep in parts, on any thread: every point stands on its own, so the parts
// give the numbers one pass over the whole sweep gives.
class PortNetwork {
public:
    // Rounds the active port's twelve values with its smoothing mode.
    // Precondition: state.activePort in 0..3.
    explicit PortNetwork(const SessionState& state);

    // Fills points first..last-1 of s11, s21, s12 and s22 from the same
    // points of `frequencies` (Hz).
    void Compute(std::int32_t first, std::int32_t last, const double* frequencies,
                 ComplexValue* s11, ComplexValue* s21, ComplexValue* s12, ComplexValue* s22) const;

private:
    std::int32_t topology_;
    RoundedComponents values_;
};

// Fills s11, s21, s12 and s22 (n elements each) with the network of the
// active port of `state` at `frequencies` (Hz). The port's twelve component
// values are rounded with its smoothing mode first. n <= 0 writes nothing.
// Precondition: state.activePort in 0..3.
void ComputeCircuitSParameters(const SessionState& state, std::int32_t n, const double* frequencies,
                               ComplexValue* s11, ComplexValue* s21, ComplexValue* s12,
                               ComplexValue* s22);

}  // namespace qvz

#endif
