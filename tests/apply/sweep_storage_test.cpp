// The apply arrays' storage: zeroed at every apply, kept up to
// kKeptSweepMaxPoints and given back above it.
#include <gtest/gtest.h>

#include <cstdint>

#include "sweep_storage.h"

namespace qvz {
namespace {

void Scribble(const SweepArrays& a, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        a.frequencies[i] = 1.0 + i;
        a.s11[i] = a.s21[i] = a.s12[i] = a.s22[i] = ComplexValue{-1.0, 2.0};
    }
}

bool AllZero(const SweepArrays& a, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        for (const ComplexValue* column : {a.s11, a.s21, a.s12, a.s22}) {
            if (column[i].re != 0.0 || column[i].im != 0.0) return false;
        }
        if (a.frequencies[i] != 0.0) return false;
    }
    return true;
}

TEST(SweepStorage, ReusedArraysAreZeroedAndDoNotOverlap) {
    SweepStorage storage{};
    SweepArrays a{};
    ASSERT_TRUE(PrepareSweepArrays(storage, 1000, a));
    Scribble(a, 1000);
    void* const block = storage.block;
    ASSERT_TRUE(PrepareSweepArrays(storage, 700, a));
    EXPECT_EQ(storage.block, block) << "a smaller sweep reuses the block";
    EXPECT_TRUE(AllZero(a, 700));
    // Each array's last element is its own: writing it leaves the next
    // array's first element alone.
    a.frequencies[699] = 5.0;
    a.s11[699] = a.s21[699] = a.s12[699] = ComplexValue{7.0, 7.0};
    EXPECT_EQ(a.s11[0].re, 0.0);
    EXPECT_EQ(a.s21[0].re, 0.0);
    EXPECT_EQ(a.s12[0].re, 0.0);
    EXPECT_EQ(a.s22[0].re, 0.0);
    ReleaseSweepStorage(storage);
    EXPECT_EQ(storage.block, nullptr);
}

struct TrimCase {
    std::int32_t points;
    bool kept;
};

class SweepTrimming : public ::testing::TestWithParam<TrimCase> {};

TEST_P(SweepTrimming, KeepsOnlySweepsUpToTheLimit) {
    SweepStorage storage{};
    SweepArrays a{};
    ASSERT_TRUE(PrepareSweepArrays(storage, GetParam().points, a));
    TrimSweepStorage(storage, GetParam().points);
    EXPECT_EQ(storage.block != nullptr, GetParam().kept);
    ReleaseSweepStorage(storage);
}

INSTANTIATE_TEST_SUITE_P(Table, SweepTrimming,
                         ::testing::Values(TrimCase{0, true}, TrimCase{201, true},
                                           TrimCase{kKeptSweepMaxPoints, true},
                                           TrimCase{kKeptSweepMaxPoints + 1, false}));

}  // namespace
}  // namespace qvz
