// The library's one complex number: what the S-parameter arrays carry and
// what the network model computes with. The arithmetic is written out here,
// in one place, because the Touchstone files must hold the same bits on every
// build: each operation rounds exactly as written, and callers keep the order
// of operations the algebra gives.
#ifndef QVZ_COMPLEX_VALUE_H
#define QVZ_COMPLEX_VALUE_H

#include <complex>

namespace qvz {

struct ComplexValue {
    double re;
    double im;
};

inline ComplexValue Add(ComplexValue a, ComplexValue b) {
    return {a.re + b.re, a.im + b.im};
}

inline ComplexValue Subtract(ComplexValue a, ComplexValue b) {
    return {a.re - b.re, a.im - b.im};
}

inline ComplexValue Negate(ComplexValue a) {
    return {-a.re, -a.im};
}

// Written out rather than left to std::complex so that no NaN/infinity
// recovery path or library variant can change a finite result.
inline ComplexValue Multiply(ComplexValue a, ComplexValue b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// The standard library's division scales its operands, which keeps the
// quotient accurate when the divisor is large (the bridged Delta is ~1e11).
inline ComplexValue Divide(ComplexValue a, ComplexValue b) {
    const std::complex<double> q =
        std::complex<double>(a.re, a.im) / std::complex<double>(b.re, b.im);
    return {q.real(), q.imag()};
}

}  // namespace qvz

#endif
