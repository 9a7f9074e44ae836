// The powers of ten a double holds exactly. Multiplying or dividing by one of
// them rounds once, correctly, on every platform, which pow(10, n) does not
// promise (some C runtimes' pow is a few units in the last place off).
#ifndef QVZ_EXACT_POWERS_OF_TEN_H
#define QVZ_EXACT_POWERS_OF_TEN_H

namespace qvz {

// 10^0 .. 10^22, indexed by the exponent.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kLargestExactPowerOfTen = 22;

static_assert(sizeof kExactPowersOfTen / sizeof kExactPowersOfTen[0] == kLargestExactPowerOfTen + 1,
              "one entry per exponent");

}  // namespace qvz

#endif
