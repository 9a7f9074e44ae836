// The exported QVZ_ functions: each finds the calling thread's SessionState,
// acts on it and, where a setting changed and apply-immediate is on, runs the
// apply sequence. Only statuses cross this boundary.
#include <cmath>
#include <cstring>

#include "apply.h"
#include "platform/thread_slot.h"
#include "qvzfix.h"
#include "rounding.h"
#include "session_slot.h"
#include "session_state.h"
#include "status.h"
#include "visa/visa.h"

namespace qvz {
namespace {

using visa::VI_ERROR_INV_OBJECT;
using visa::VI_ERROR_INV_PARAMETER;
using visa::VI_ERROR_IO;
using visa::VI_ERROR_USER_BUF;

constexpr double kUnchangedTolerance = 2.220446049250313e-16;
constexpr visa::ViAttrState kIoTimeoutMs = 2000;

// Positive VISA completion codes are successes to the host.
Status ReportStatus(Status status) {
    return status < 0 ? status : 0;
}

Status Apply(SessionState& state) {
    return ReportStatus(ApplyToAnalyzer(state));
}

Status ApplyIfImmediate(SessionState& state) {
    return state.applyImmediate != 0 ? Apply(state) : 0;
}

// Closes the instrument session, then the resource manager, and forgets both.
// Returns the status of the last close made (0 when none was).
Status CloseSessions(SessionState& state) {
    Status status = 0;
    if (state.instrSession != 0) {
        status = visa::viClose(state.instrSession);
    }
    if (state.rmSession != 0) {
        status = visa::viClose(state.rmSession);
    }
    state.instrSession = 0;
    state.rmSession = 0;
    return status;
}

// The one-integer setters: store and apply only when the value changes.
template <typename Member>
Status SetInteger(Member member, std::int32_t value) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    std::int32_t& stored = (state->*member)[state->activePort];
    if (stored == value) {
        return 0;
    }
    stored = value;
    return ApplyIfImmediate(*state);
}

template <typename Member>
Status GetInteger(Member member, std::int32_t* out) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (out == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *out = (state->*member)[state->activePort];
    return 0;
}

using PortValues = double (SessionState::*)[kPortCount];

// The four-value setters: a change of any one by 2^-52 or more (absolute)
// stores all four and applies once.
Status SetFourValues(const PortValues (&members)[4], const double (&values)[4]) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    const int port = state->activePort;
    bool unchanged = true;
    for (int i = 0; i < 4; ++i) {
        if (!(std::fabs(values[i] - (state->*members[i])[port]) < kUnchangedTolerance)) {
            unchanged = false;
        }
    }
    if (unchanged) {
        return 0;
    }
    for (int i = 0; i < 4; ++i) {
        (state->*members[i])[port] = values[i];
    }
    return ApplyIfImmediate(*state);
}

Status GetFourValues(const PortValues (&members)[4], double* const (&outputs)[4]) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    for (double* out : outputs) {
        if (out == nullptr) {
            return VI_ERROR_USER_BUF;
        }
    }
    const int port = state->activePort;
    const std::int32_t mode = state->smoothing[port];
    for (int i = 0; i < 4; ++i) {
        *outputs[i] = RoundToStandardValue((state->*members[i])[port], mode);
    }
    return 0;
}

// Fixed-length copy: exactly `size` bytes, zero-padded, no terminator when
// the text fills them. A size of 0 or less copies nothing.
Status CopyTextOut(const char (&field)[kTextFieldSize], std::int32_t size, char* buffer) {
    if (size <= 0) {
        return 0;
    }
    if (buffer == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    const std::size_t capacity = static_cast<std::size_t>(size);
    const std::size_t length = std::strlen(field);
    const std::size_t copied = length < capacity ? length : capacity;
    std::memcpy(buffer, field, copied);
    std::memset(buffer + copied, 0, capacity - copied);
    return 0;
}

constexpr PortValues kRLCG[4] = {&SessionState::R, &SessionState::L, &SessionState::C,
                                 &SessionState::G};
constexpr PortValues kL1R1L2R2[4] = {&SessionState::L1, &SessionState::R1, &SessionState::L2,
                                     &SessionState::R2};
constexpr PortValues kC1G1C2G2[4] = {&SessionState::C1, &SessionState::G1, &SessionState::C2,
                                     &SessionState::G2};

}  // namespace
}  // namespace qvz

using namespace qvz;

extern "C" {

QVZ_API int32_t QVZ_init(const char* resourceName) {
    CloseSessionsOfEndedThreads();
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        state = CreateThreadSession();
        if (state == nullptr) {
            return VI_ERROR_INV_OBJECT;
        }
    } else {
        // A repeated init keeps the settings but must not leak the previous
        // connection.
        CloseSessions(*state);
    }

    visa::ViSession rm = 0;
    Status status = visa::viOpenDefaultRM(&rm);
    state->rmSession = status < 0 ? 0 : rm;
    if (status >= 0) {
        visa::ViSession instrument = 0;
        status = visa::viOpen(state->rmSession, resourceName, 0, 0, &instrument);
        if (status < 0) {
            visa::viClose(state->rmSession);
            // The handle may be reused by the VISA layer; never close it twice.
            state->rmSession = 0;
            state->instrSession = 0;
        } else {
            state->instrSession = instrument;
        }
    }
    if (status < 0) {
        return status;
    }
    status = visa::viSetAttribute(state->instrSession, visa::VI_ATTR_TMO_VALUE, kIoTimeoutMs);
    if (status < 0) {
        return status;
    }
    status = visa::viSetAttribute(state->instrSession, visa::VI_ATTR_TERMCHAR_EN, 1);
    return ReportStatus(status);
}

QVZ_API int32_t QVZ_close(void) {
    CloseSessionsOfEndedThreads();
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    const Status status = CloseSessions(*state);
    EndThreadSession(state);
    return ReportStatus(status);
}

QVZ_API int32_t QVZ_ResetValues(void) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    ResetPortDefaults(*state, state->activePort);
    return ApplyIfImmediate(*state);
}

QVZ_API int32_t QVZ_SetActivePort(int32_t port) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (port < 1 || port > kPortCount) {
        return VI_ERROR_INV_PARAMETER;
    }
    state->activePort = port - 1;
    return 0;
}

QVZ_API int32_t QVZ_GetActivePort(int32_t* port) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (port == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *port = state->activePort + 1;
    return 0;
}

QVZ_API int32_t QVZ_SetCircuit(int32_t circuit) {
    return SetInteger(&SessionState::circuit, circuit);
}

QVZ_API int32_t QVZ_GetCircuit(int32_t* circuit) {
    return GetInteger(&SessionState::circuit, circuit);
}

QVZ_API int32_t QVZ_SetSmoothing(int32_t smoothing) {
    return SetInteger(&SessionState::smoothing, smoothing);
}

QVZ_API int32_t QVZ_GetSmoothing(int32_t* smoothing) {
    return GetInteger(&SessionState::smoothing, smoothing);
}

QVZ_API int32_t QVZ_SetAction(int32_t action) {
    return SetInteger(&SessionState::action, action);
}

QVZ_API int32_t QVZ_GetAction(int32_t* action) {
    return GetInteger(&SessionState::action, action);
}

QVZ_API int32_t QVZ_SetRLCGValues(double R, double L, double C, double G) {
    return SetFourValues(kRLCG, {R, L, C, G});
}

QVZ_API int32_t QVZ_GetRLCGValues(double* R, double* L, double* C, double* G) {
    return GetFourValues(kRLCG, {R, L, C, G});
}

QVZ_API int32_t QVZ_SetL1R1L2R2Values(double L1, double R1, double L2, double R2) {
    return SetFourValues(kL1R1L2R2, {L1, R1, L2, R2});
}

QVZ_API int32_t QVZ_GetL1R1L2R2Values(double* L1, double* R1, double* L2, double* R2) {
    return GetFourValues(kL1R1L2R2, {L1, R1, L2, R2});
}

QVZ_API int32_t QVZ_SetC1G1C2G2Values(double C1, double G1, double C2, double G2) {
    return SetFourValues(kC1G1C2G2, {C1, G1, C2, G2});
}

QVZ_API int32_t QVZ_GetC1G1C2G2Values(double* C1, double* G1, double* C2, double* G2) {
    return GetFourValues(kC1G1C2G2, {C1, G1, C2, G2});
}

QVZ_API int32_t QVZ_SetS2PFilePath(const char* path) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (path == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    if (std::strcmp(path, state->filePath) == 0) {
        return 0;
    }
    StoreFilePath(*state, path);
    return ApplyIfImmediate(*state);
}

QVZ_API int32_t QVZ_GetS2PFilePath(int32_t size, char* buffer) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    return CopyTextOut(state->filePath, size, buffer);
}

QVZ_API int32_t QVZ_SetS2PFilePrefix(const char* prefix) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (prefix == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    if (std::strcmp(prefix, state->filePrefix) == 0) {
        return 0;
    }
    StoreFilePrefix(*state, prefix);
    return ApplyIfImmediate(*state);
}

QVZ_API int32_t QVZ_GetS2PFilePrefix(int32_t size, char* buffer) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    return CopyTextOut(state->filePrefix, size, buffer);
}

QVZ_API int32_t QVZ_SetApplyImmediate(uint16_t flag) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    const std::uint8_t setting = flag != 0 ? 1 : 0;
    if (setting == state->applyImmediate) {
        return 0;
    }
    state->applyImmediate = setting;
    return setting != 0 ? Apply(*state) : 0;
}

QVZ_API int32_t QVZ_GetApplyImmediate(uint16_t* flag) {
    const SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    if (flag == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *flag = state->applyImmediate != 0 ? 1 : 0;
    return 0;
}

QVZ_API int32_t QVZ_ApplyChanges(void) {
    SessionState* state = ThreadSlotGet();
    if (state == nullptr) {
        return VI_ERROR_IO;
    }
    return Apply(*state);
}

}  // extern "C"
