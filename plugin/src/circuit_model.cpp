// The matching network is held per frequency point as a pi of three
// admittances (shunt at port 1, series link, shunt at port 2) and converted
// to 50 ohm S-parameters. The order of every complex operation below is
// deliberate: the bridged topologies cancel heavily in Delta, so their
// results depend on the exact sequence of roundings, and the analyzer must
// see the same numbers whichever build produced them. Every point stands on
// its own, so a sweep computed in parts (as the apply does, batch by batch
// on its formatting thread) gives the bits of one pass.
#include "circuit_model.h"

#include <cmath>

#include "qvzfix.h"
#include "rounding.h"

namespace qvz {
namespace {

constexpr double kTwoPi = 6.283185307179586;
// 2^-52: a branch or Delta whose parts are both below this counts as zero.
constexpr double kEpsilon = 2.220446049250313e-16;
// A series element that is not fitted becomes a one-nano-ohm link rather than
// an ideal short, so that the pi conversion never needs a special case.
constexpr double kBridgingAdmittance = 1e9;
constexpr double kReferenceImpedance = 50.0;

constexpr ComplexValue kZero{0.0, 0.0};
constexpr ComplexValue kOne{1.0, 0.0};
constexpr ComplexValue kMinusTwo{-2.0, 0.0};
constexpr ComplexValue kBridge{kBridgingAdmittance, 0.0};
constexpr ComplexValue kZ0{kReferenceImpedance, 0.0};
// sqrt(Z0 * Z0) of the two ports' reference impedances: both are Z0, so the
// root is Z0 itself, exactly.
constexpr ComplexValue kSqrtZ0Z0{kReferenceImpedance, 0.0};

bool IsBelowEpsilon(ComplexValue v) {
    return std::fabs(v.re) < kEpsilon && std::fabs(v.im) < kEpsilon;
}

// Inductor with its loss resistance in series: Z = R + j omega L.
ComplexValue InductorImpedance(double resistance, double inductance, double omega) {
    return {resistance, omega * inductance};
}

// Capacitor with its loss conductance in parallel: Y = G + j omega C.
ComplexValue CapacitorAdmittance(double conductance, double capacitance, double omega) {
    return {conductance, omega * capacitance};
}

ComplexValue SeriesInductor(double resistance, double inductance, double omega) {
    const ComplexValue z = InductorImpedance(resistance, inductance, omega);
    return IsBelowEpsilon(z) ? kBridge : Divide(kOne, z);
}

ComplexValue SeriesCapacitor(double conductance, double capacitance, double omega) {
    const ComplexValue y = CapacitorAdmittance(conductance, capacitance, omega);
    return IsBelowEpsilon(y) ? kBridge : y;
}

// An absent shunt inductor is left out; it is inverted only when fitted, so
// no division by zero can happen.
ComplexValue ShuntInductor(double resistance, double inductance, double omega) {
    const ComplexValue z = InductorImpedance(resistance, inductance, omega);
    return IsBelowEpsilon(z) ? kZero : Divide(kOne, z);
}

// A zero shunt capacitor contributes nothing anyway, so it needs no test.
ComplexValue ShuntCapacitor(double conductance, double capacitance, double omega) {
    return CapacitorAdmittance(conductance, capacitance, omega);
}

RoundedComponents RoundComponents(const SessionState& state, int port) {
    const std::int32_t mode = state.smoothing[port];
    RoundedComponents v{};
    v.R = RoundToStandardValue(state.R[port], mode);
    v.L = RoundToStandardValue(state.L[port], mode);
    v.C = RoundToStandardValue(state.C[port], mode);
    v.G = RoundToStandardValue(state.G[port], mode);
    v.L1 = RoundToStandardValue(state.L1[port], mode);
    v.R1 = RoundToStandardValue(state.R1[port], mode);
    v.L2 = RoundToStandardValue(state.L2[port], mode);
    v.R2 = RoundToStandardValue(state.R2[port], mode);
    v.C1 = RoundToStandardValue(state.C1[port], mode);
    v.G1 = RoundToStandardValue(state.G1[port], mode);
    v.C2 = RoundToStandardValue(state.C2[port], mode);
    v.G2 = RoundToStandardValue(state.G2[port], mode);
    return v;
}

struct PiNetwork {
    ComplexValue y1;  // shunt at port 1
    ComplexValue ys;  // series between the ports
    ComplexValue y2;  // shunt at port 2
};

// Sets the three admittances of `topology` at one frequency. Unknown
// topologies leave them as they are (all zero for the whole call): the
// network with no elements.
void BuildNetwork(std::int32_t topology, const RoundedComponents& v, double omega, PiNetwork& net) {
    switch (topology) {
        case QVZ_SERIES_L_SHUNT_C:
            net.y1 = kZero;
            net.ys = SeriesInductor(v.R, v.L, omega);
            net.y2 = ShuntCapacitor(v.G, v.C, omega);
            break;
        case QVZ_SHUNT_C_SERIES_L:
            net.y1 = ShuntCapacitor(v.G, v.C, omega);
            net.ys = SeriesInductor(v.R, v.L, omega);
            net.y2 = kZero;
            break;
        case QVZ_SHUNT_L_SERIES_C:
            net.y1 = ShuntInductor(v.R, v.L, omega);
            net.ys = SeriesCapacitor(v.G, v.C, omega);
            net.y2 = kZero;
            break;
        case QVZ_SERIES_C_SHUNT_L:
            net.y1 = kZero;
            net.ys = SeriesCapacitor(v.G, v.C, omega);
            net.y2 = ShuntInductor(v.R, v.L, omega);
            break;
        case QVZ_SHUNT_L_SHUNT_C:  // the two shunts are joined by the bridge
            net.y1 = ShuntInductor(v.R, v.L, omega);
            net.ys = kBridge;
            net.y2 = ShuntCapacitor(v.G, v.C, omega);
            break;
        case QVZ_SERIES_C_SHUNT_C:  // C1/G1 is always the series element
            net.y1 = kZero;
            net.ys = SeriesCapacitor(v.G1, v.C1, omega);
            net.y2 = ShuntCapacitor(v.G2, v.C2, omega);
            break;
        case QVZ_SHUNT_C_SERIES_C:
            net.y1 = ShuntCapacitor(v.G2, v.C2, omega);
            net.ys = SeriesCapacitor(v.G1, v.C1, omega);
            net.y2 = kZero;
            break;
        case QVZ_SERIES_L_SHUNT_L:  // L1/R1 is always the series element
            net.y1 = kZero;
            net.ys = SeriesInductor(v.R1, v.L1, omega);
            net.y2 = ShuntInductor(v.R2, v.L2, omega);
            break;
        case QVZ_SHUNT_L_SERIES_L:
            net.y1 = ShuntInductor(v.R2, v.L2, omega);
            net.ys = SeriesInductor(v.R1, v.L1, omega);
            net.y2 = kZero;
            break;
        default:
            break;
    }
}

struct SParameters {
    ComplexValue s11, s21, s12, s22;
};

// Pi admittances to S-parameters with reference impedance Z0 at both ports.
// Products associate from the left exactly as the algebra is written.
SParameters ConvertToSParameters(const PiNetwork& net) {
    const ComplexValue y11 = Multiply(kZ0, Add(net.y1, net.ys));
    const ComplexValue y22 = Multiply(kZ0, Add(net.y2, net.ys));
    const ComplexValue y12 = Negate(net.ys);
    const ComplexValue y21 = Negate(net.ys);
    const ComplexValue q = Multiply(Multiply(Multiply(kZ0, y12), y21), kZ0);
    const ComplexValue delta = Subtract(Multiply(Add(kOne, y11), Add(kOne, y22)), q);

    if (IsBelowEpsilon(delta)) {
        return {kZero, kOne, kOne, kZero};  // a plain through connection
    }

    SParameters s{};
    s.s11 = Divide(Add(Multiply(Subtract(kOne, y11), Add(kOne, y22)), q), delta);
    s.s12 = Divide(Multiply(Multiply(kMinusTwo, y12), kSqrtZ0Z0), delta);
    s.s21 = Divide(Multiply(Multiply(kMinusTwo, y21), kSqrtZ0Z0), delta);
    s.s22 = Divide(Add(Multiply(Add(kOne, y11), Subtract(kOne, y22)), q), delta);
    return s;
}

}  // namespace

PortNetwork::PortNetwork(const SessionState& state)
    : topology_(state.circuit[state.activePort]),
      values_(RoundComponents(state, state.activePort)) {}

// Each part starts from the empty network (an unknown topology leaves it
// empty at every point), so no point depends on the one before it.
void PortNetwork::Compute(std::int32_t first, std::int32_t last, const double* frequencies,
                          ComplexValue* s11, ComplexValue* s21, ComplexValue* s12,
                          ComplexValue* s22) const {
    PiNetwork net{kZero, kZero, kZero};
    for (std::int32_t i = first; i < last; ++i) {
        const double omega = frequencies[i] * kTwoPi;
        BuildNetwork(topology_, values_, omega, net);
        const SParameters s = ConvertToSParameters(net);
        s11[i] = s.s11;
        s21[i] = s.s21;
        s12[i] = s.s12;
        s22[i] = s.s22;
    }
}

void ComputeCircuitSParameters(const SessionState& state, std::int32_t n, const double* frequencies,
                               ComplexValue* s11, ComplexValue* s21, ComplexValue* s12,
                               ComplexValue* s22) {
    const int port = state.activePort;
    // Out-of-range ports would index past the per-port arrays; they are a
    // caller error that must not crash the host, so nothing is computed.
    if (port < 0 || port >= kPortCount) {
        return;
    }
    const PortNetwork network(state);
    if (n <= 0 || frequencies == nullptr || s11 == nullptr || s21 == nullptr || s12 == nullptr ||
        s22 == nullptr) {
        return;
    }
    network.Compute(0, n, frequencies, s11, s21, s12, s22);
}

}  // namespace qvz
