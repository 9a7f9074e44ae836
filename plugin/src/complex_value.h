// A complex number as the S-parameter arrays carry it.
#ifndef QVZ_COMPLEX_VALUE_H
#define QVZ_COMPLEX_VALUE_H

namespace qvz {

struct ComplexValue {
    double re;
    double im;
};

}  // namespace qvz

#endif
