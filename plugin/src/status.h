// The one result type of the library's operations and exported functions.
#ifndef QVZ_STATUS_H
#define QVZ_STATUS_H

#include <cstdint>

namespace qvz {

// 0 success, negative an error (VISA style); positive VISA completion codes
// are reported to the host as 0.
using Status = std::int32_t;

}  // namespace qvz

#endif
