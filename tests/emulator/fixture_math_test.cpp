// The fixture simulator's arithmetic against an independent computation: each
// of the plug-in's nine matching topologies as a cascade of ABCD matrices,
// terminated by the device's impedance, gives the reflection the analyzer
// must see through it.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <complex>
#include <random>
#include <vector>

#include "qvzsim/dut.h"
#include "qvzsim/fixture_math.h"

namespace {

using qvzsim::Complex;
using qvzsim::TwoPort;

constexpr double kZ0 = 50.0;

struct Abcd {
    Complex a, b, c, d;
};

Abcd Series(Complex z) {
    return {1.0, z, 0.0, 1.0};
}
Abcd Shunt(Complex y) {
    return {1.0, 0.0, y, 1.0};
}
Abcd Cascade(const Abcd& m, const Abcd& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d};
}

// The nine topologies, port 1 named first: lossy L (R + jwL) and C (G + jwC).
Abcd Topology(int topology, double hertz) {
    const double w = 2.0 * 3.141592653589793 * hertz;
    const Complex j(0.0, 1.0);
    const Complex zL = 3.3 + j * w * 6.8e-9;
    const Complex yC = 1.5e-3 + j * w * 2.7e-12;
    const Complex zL1 = 1.8 + j * w * 12e-9;
    const Complex zL2 = 0.56 + j * w * 4.7e-9;
    const Complex yC1 = 2.2e-4 + j * w * 1.2e-12;
    const Complex yC2 = 8.2e-4 + j * w * 3.9e-12;
    switch (topology) {
        case 0:
            return Cascade(Series(zL), Shunt(yC));
        case 1:
            return Cascade(Shunt(yC), Series(zL));
        case 2:
            return Cascade(Shunt(1.0 / zL), Series(1.0 / yC));
        case 3:
            return Cascade(Series(1.0 / yC), Shunt(1.0 / zL));
        case 4:
            return Cascade(Shunt(1.0 / zL), Shunt(yC));
        case 5:
            return Cascade(Series(1.0 / yC1), Shunt(yC2));
        case 6:
            return Cascade(Shunt(yC2), Series(1.0 / yC1));
        case 7:
            return Cascade(Series(zL1), Shunt(1.0 / zL2));
        default:
            return Cascade(Shunt(1.0 / zL2), Series(zL1));
    }
}

TwoPort ToS(const Abcd& m) {
    const Complex den = m.a + m.b / kZ0 + m.c * kZ0 + m.d;
    return {(m.a + m.b / kZ0 - m.c * kZ0 - m.d) / den, 2.0 / den,
            2.0 * (m.a * m.d - m.b * m.c) / den, (-m.a + m.b / kZ0 - m.c * kZ0 + m.d) / den};
}

Complex ImpedanceOf(Complex gamma) {
    return kZ0 * (1.0 + gamma) / (1.0 - gamma);
}
Complex ReflectionOf(Complex z) {
    return (z - kZ0) / (z + kZ0);
}

// The input impedance of the network terminated by `load`, from ABCD alone.
Complex InputImpedance(const Abcd& m, Complex load) {
    return (m.a * load + m.b) / (m.c * load + m.d);
}

const std::vector<double> kFrequencies = {1e6, 10e6, 5e7, 3e8, 1e9, 2.44e9, 6e9, 8.5e9};
// Where every test network lets a fair share through (|S21*S12| > 0.1).
const std::vector<double> kWellConditioned = {3e8, 1e9, 2.44e9, 6e9, 8.5e9};

class EveryTopology : public ::testing::TestWithParam<int> {};

TEST_P(EveryTopology, EmbeddingAgreesWithTheAbcdCascade) {
    for (double f : kFrequencies) {
        SCOPED_TRACE(f);
        const Abcd network = Topology(GetParam(), f);
        const Complex device = qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f);
        const Complex want = ReflectionOf(InputImpedance(network, ImpedanceOf(device)));
        const Complex got = qvzsim::Embed(ToS(network), device);
        EXPECT_LT(std::abs(got - want), 1e-9) << got << " vs " << want;
    }
}

TEST_P(EveryTopology, DeembeddingRecoversTheDeviceBehindTheCascade) {
    for (double f : kFrequencies) {
        SCOPED_TRACE(f);
        const Abcd network = Topology(GetParam(), f);
        const Complex device = qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f);
        const Complex measured = ReflectionOf(InputImpedance(network, ImpedanceOf(device)));
        EXPECT_LT(std::abs(qvzsim::Deembed(ToS(network), measured) - device), 1e-9);
    }
}

// Worst |Deembed(S, Embed(S, g)) - g| over the frequencies, for random g with
// |g| <= maxMagnitude.
double WorstRoundTrip(int topology, const std::vector<double>& frequencies, double maxMagnitude) {
    std::mt19937 random(static_cast<unsigned>(topology));
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    double worst = 0.0;
    for (double f : frequencies) {
        const TwoPort s = ToS(Topology(topology, f));
        const Complex device = qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f);
        worst = std::max(worst, std::abs(qvzsim::Deembed(s, qvzsim::Embed(s, device)) - device));
        for (int k = 0; k < 200; ++k) {
            const Complex gamma(unit(random), unit(random));
            if (std::abs(gamma) <= maxMagnitude) {
                worst =
                    std::max(worst, std::abs(qvzsim::Deembed(s, qvzsim::Embed(s, gamma)) - gamma));
            }
        }
    }
    return worst;
}

TEST_P(EveryTopology, DeembeddingUndoesEmbeddingTo1e12) {
    EXPECT_LT(WorstRoundTrip(GetParam(), kWellConditioned, 0.9), 1e-12);
}

// Behind a network that lets little through (a few pF in series at 50 MHz:
// |S21*S12| ~ 7e-3; at 1 MHz ~ 3e-6) de-embedding is ill-conditioned: the
// measurement's last bit, divided by S21*S12, is what comes back as error
// (1.2e-12 at 50 MHz, 2e-12 at 10 MHz), whatever the formula.
TEST_P(EveryTopology, IllConditionedRoundTripsStayClose) {
    EXPECT_LT(WorstRoundTrip(GetParam(), kFrequencies, 0.999), 1e-10);
}

INSTANTIATE_TEST_SUITE_P(FixtureMath, EveryTopology, ::testing::Range(0, 9));

TEST(FixtureMath, SingularNetworksGiveNotANumber) {
    const TwoPort open{1.0, 0.0, 0.0, 1.0};  // no transmission at all
    EXPECT_TRUE(std::isnan(qvzsim::Deembed(open, Complex(0.3, 0.1)).real()));
    const TwoPort thru{0.0, 1.0, 1.0, 1.0};  // S22 = 1 facing a total reflection
    EXPECT_TRUE(std::isnan(qvzsim::Embed(thru, Complex(1.0, 0.0)).imag()));
    EXPECT_EQ(qvzsim::Embed(TwoPort{0.0, 1.0, 1.0, 0.0}, Complex(0.25, -0.5)), Complex(0.25, -0.5));
}

TEST(FixtureMath, InterpolatesLinearlyAndHoldsTheEnds) {
    const std::vector<double> f = {1e9, 2e9, 4e9};
    const std::vector<Complex> v = {{0.0, 1.0}, {1.0, -1.0}, {3.0, 0.0}};
    const std::vector<double> targets = {0.5e9, 1e9, 1.25e9, 2e9, 3e9, 4e9, 9e9};
    const std::vector<Complex> want = {{0.0, 1.0},  {0.0, 1.0}, {0.25, 0.5}, {1.0, -1.0},
                                       {2.0, -0.5}, {3.0, 0.0}, {3.0, 0.0}};
    const std::vector<Complex> got = qvzsim::InterpolateOnto(f, v, targets);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_LT(std::abs(got[i] - want[i]), 1e-15) << targets[i];
    }
}

TEST(FixtureMath, NetworkOntoKeepsTheFileOrderOfParameters) {
    qvzsim::TouchstoneData data;
    data.frequenciesHz = {1e9, 3e9};
    data.sParameters = {{0.1, 0}, {0.2, 0}, {0.3, 0}, {0.4, 0},
                        {0.5, 0}, {0.6, 0}, {0.7, 0}, {0.8, 0}};
    const std::vector<qvzsim::TwoPort> s = qvzsim::NetworkOnto(data, {2e9});
    ASSERT_EQ(s.size(), 1u);
    EXPECT_NEAR(s[0].s11.real(), 0.3, 1e-15);
    EXPECT_NEAR(s[0].s21.real(), 0.4, 1e-15);
    EXPECT_NEAR(s[0].s12.real(), 0.5, 1e-15);
    EXPECT_NEAR(s[0].s22.real(), 0.6, 1e-15);
}

TEST(SmallAntenna, ResonatesInsideTheDefaultSweepFarFrom50Ohm) {
    const double resonance =
        1.0 / (2.0 * 3.141592653589793 *
               std::sqrt(qvzsim::kSmallAntenna.henries * qvzsim::kSmallAntenna.farads));
    EXPECT_GT(resonance, 10e6);
    EXPECT_LT(resonance, 8.5e9);
    const Complex atResonance = qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, resonance);
    EXPECT_NEAR(atResonance.real(), (12.0 - 50.0) / (12.0 + 50.0), 1e-9);
    EXPECT_NEAR(atResonance.imag(), 0.0, 1e-9);
    EXPECT_GT(std::abs(qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, 10e6)), 0.99);
}

}  // namespace
