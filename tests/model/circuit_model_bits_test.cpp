// The model's numbers, bit for bit, far outside the values the other tests
// pick: random component values from 1e-15 to 1e6 (some absent) and random
// frequencies from 1 Hz to 1 THz, in every topology and smoothing mode. The
// Touchstone files carry these bits, so any change to the order of the
// complex operations, the division or the rounding shows up here. The
// digests were recorded from the model as it stood when they were taken.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "circuit_model.h"
#include "model_test_state.h"
#include "public_settings.h"

namespace qvz {
namespace {

constexpr int kValueSets = 200;
constexpr int kPointsPerSet = 32;

// splitmix64: the same sequence on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // A random mantissa in [1, 2) times 2^exponent, exponent in [low, high]:
    // built with ldexp alone, so no library rounding enters the inputs.
    double Scaled(int low, int high) {
        const double mantissa = 1.0 + static_cast<double>(Next() >> 12) * 0x1p-52;
        const int span = high - low + 1;
        return std::ldexp(mantissa, low + static_cast<int>(Next() % static_cast<unsigned>(span)));
    }

private:
    std::uint64_t state_;
};

// FNV-1a over each double's bit pattern, least significant byte first.
class Digest {
public:
    void Add(double value) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            hash_ = (hash_ ^ ((bits >> (8 * byte)) & 0xFFu)) * 0x100000001B3u;
        }
    }
    std::uint64_t Value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

std::uint64_t DigestOf(std::int32_t topology, std::int32_t mode) {
    Random random(0x5EED0000u + static_cast<std::uint64_t>(topology * 16 + mode));
    Digest digest;
    std::vector<double> f(kPointsPerSet);
    std::vector<ComplexValue> s11(kPointsPerSet), s21(kPointsPerSet), s12(kPointsPerSet),
        s22(kPointsPerSet);
    for (int set = 0; set < kValueSets; ++set) {
        SessionState state = test::DefaultState();
        state.circuit[0] = topology;
        state.smoothing[0] = mode;
        for (double* values : {state.R, state.L, state.C, state.G, state.L1, state.L2, state.R1,
                               state.R2, state.C1, state.C2, state.G1, state.G2}) {
            // About 2^-50 (1e-15) to 2^20 (1e6); one in eight absent.
            values[0] = random.Next() % 8 == 0 ? 0.0 : random.Scaled(-50, 19);
        }
        for (double& frequency : f) {
            frequency = random.Scaled(0, 39);  // 1 Hz to about 1.1e12 Hz
        }
        f[0] = 1.0;
        f[1] = 1e12;
        ComputeCircuitSParameters(state, kPointsPerSet, f.data(), s11.data(), s21.data(),
                                  s12.data(), s22.data());
        for (int i = 0; i < kPointsPerSet; ++i) {
            for (const ComplexValue& s : {s11[i], s21[i], s12[i], s22[i]}) {
                digest.Add(s.re);
                digest.Add(s.im);
            }
        }
    }
    return digest.Value();
}

// Rows by topology, columns by smoothing mode (E6, E12, E24, Smooth).
constexpr std::uint64_t kRecordedDigests[9][4] = {
    {0x802EAF9D64479E76u, 0xE12710E70616F0B0u, 0xC10B02019138379Du, 0x06D4DB8CC11424A6u},
    {0xCDAA6082F52CD05Au, 0xAD8BF30A50837C84u, 0x1AF51E88D8BAE3B9u, 0x140BBE92ACA5030Eu},
    {0xDDA08B36EAD2A588u, 0xC6CC32C88A446642u, 0xD3EA718B1D7004F6u, 0x279AAF777D9FF99Cu},
    {0xB7CDE1FF73C7D154u, 0xEE6B45F97FFCA195u, 0xADED8B0DE7924366u, 0x2E5DC30C52E3F44Bu},
    {0xC540966F8E23E093u, 0x68A039F061F0B230u, 0x1467F001EAD0C9E1u, 0xEED07C3306AB9487u},
    {0xE1AECB1516010806u, 0xBE3F62A6988CC53Au, 0x702E09BC7D75069Eu, 0x4327036517C642F0u},
    {0x37DD01522585B87Du, 0x9F5CD8A17B073930u, 0xCF8406FD6CC63B62u, 0x142A1C3813A7A279u},
    {0x5BC0A4418CC960D6u, 0x4F64EBADD1A2886Du, 0x4016FDF074555946u, 0x331B372E04418F35u},
    {0xF6FDB712D2E13C74u, 0x6CFECCB5D9DCAE14u, 0x0387E33778C95DA0u, 0xE25ABD96E62774EBu},
};

TEST(CircuitModelBits, EveryTopologyAndModeGivesTheRecordedBits) {
    for (const std::int32_t topology : qvz_test::kEveryCircuitType) {
        for (const std::int32_t mode : qvz_test::kEverySmoothingMode) {
            EXPECT_EQ(DigestOf(topology, mode), kRecordedDigests[topology][mode])
                << "topology " << topology << ", smoothing mode " << mode;
        }
    }
}

}  // namespace
}  // namespace qvz
