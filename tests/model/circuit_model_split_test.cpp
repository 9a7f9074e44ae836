// The apply computes a large sweep batch by batch on its formatting thread:
// the numbers must be the very bits one pass over the whole sweep gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "circuit_model.h"
#include "model_test_state.h"
#include "public_settings.h"

namespace qvz {
namespace {

struct Result {
    std::vector<ComplexValue> s11, s21, s12, s22;
    explicit Result(std::size_t n) : s11(n), s21(n), s12(n), s22(n) {}
};

bool SameBits(const std::vector<ComplexValue>& a, const std::vector<ComplexValue>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(ComplexValue)) == 0;
}

class SplitSweep : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(SplitSweep, BatchesGiveTheBitsOfOnePass) {
    constexpr std::int32_t kPoints = 32771;
    constexpr std::int32_t kPiece = 256;  // the formatting thread's batch
    SessionState state = test::DefaultState();
    state.circuit[0] = GetParam();
    std::vector<double> f(kPoints);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        f[static_cast<std::size_t>(i)] = 1e5 + 2.6e5 * i;  // to about 8.5 GHz
    }
    Result whole(kPoints), pieces(kPoints);
    ComputeCircuitSParameters(state, kPoints, f.data(), whole.s11.data(), whole.s21.data(),
                              whole.s12.data(), whole.s22.data());
    const PortNetwork network(state);
    for (std::int32_t first = 0; first < kPoints; first += kPiece) {
        const std::int32_t last = first + kPiece <= kPoints ? first + kPiece : kPoints;
        network.Compute(first, last, f.data(), pieces.s11.data(), pieces.s21.data(),
                        pieces.s12.data(), pieces.s22.data());
    }
    EXPECT_TRUE(SameBits(whole.s11, pieces.s11));
    EXPECT_TRUE(SameBits(whole.s21, pieces.s21));
    EXPECT_TRUE(SameBits(whole.s12, pieces.s12));
    EXPECT_TRUE(SameBits(whole.s22, pieces.s22));
}

// Every topology, and one outside them (the empty network at every point).
INSTANTIATE_TEST_SUITE_P(EveryTopology, SplitSweep, ::testing::ValuesIn([] {
                             std::vector<std::int32_t> topologies(
                                 std::begin(qvz_test::kEveryCircuitType),
                                 std::end(qvz_test::kEveryCircuitType));
                             topologies.push_back(12);
                             return topologies;
                         }()));

}  // namespace
}  // namespace qvz
