// A large sweep is computed in two halves on two threads: the numbers must
// be the very bits a sweep computed piece by piece on one thread gives.
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

TEST_P(SplitSweep, GivesTheSameBitsAsSmallPieces) {
    constexpr std::int32_t kPoints = 2 * kModelSplitMinPoints + 3;
    constexpr std::int32_t kPiece = 1000;  // below the split
    SessionState state = test::DefaultState();
    state.circuit[0] = GetParam();
    std::vector<double> f(kPoints);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        f[static_cast<std::size_t>(i)] = 1e5 + 2.6e5 * i;  // to about 8.5 GHz
    }
    Result whole(kPoints), pieces(kPoints);
    ComputeCircuitSParameters(state, kPoints, f.data(), whole.s11.data(), whole.s21.data(),
                              whole.s12.data(), whole.s22.data());
    for (std::int32_t first = 0; first < kPoints; first += kPiece) {
        const std::int32_t n = first + kPiece <= kPoints ? kPiece : kPoints - first;
        const std::size_t at = static_cast<std::size_t>(first);
        ComputeCircuitSParameters(state, n, f.data() + at, pieces.s11.data() + at,
                                  pieces.s21.data() + at, pieces.s12.data() + at,
                                  pieces.s22.data() + at);
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
