#include "apply.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "circuit_model.h"
#include "complex_value.h"
#include "touchstone_writer.h"
#include "visa/visa.h"

namespace qvz {
namespace {

using visa::ViSession;

// Beyond any analyzer's sweep; keeps a garbage reply from asking for gigabytes.
constexpr std::int32_t kMaxPointCount = 10000000;
constexpr std::size_t kFileNameSize = 256;
constexpr short kOff = 0;
constexpr short kOn = 1;

// The analyzer's fixture-simulator commands; the first %d is the channel.
constexpr const char* kMatchingPortState =
    "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:STATe %hd\n";
constexpr const char* kMatchingPortFile =
    "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:USER:FILename \"%s\"\n";
constexpr const char* kMatchingChannelState =
    "CALCulate%d:FSIMulator:SENDed:PMCircuit:STATe %hd\n";
constexpr const char* kDeembedPortState =
    "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:STATe %hd\n";
constexpr const char* kDeembedPortFile =
    "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:USER:FILename \"%s\"\n";
constexpr const char* kDeembedChannelState =
    "CALCulate%d:FSIMulator:SENDed:DEEMbed:STATe %hd\n";
constexpr const char* kSimulatorState = "CALCulate%d:FSIMulator:STATe %hd\n";

// Sends one action's command list in order; the first failure ends it.
// Whatever is to be off is switched off before its file is cleared, and what
// is to be on gets its file before it is switched on.
Status SendActionCommands(ViSession vi, std::int32_t action, int channel, int port,
                          const char* fileName) {
    Status status = 0;
    auto send = [&](auto... args) {
        if (status >= 0) {
            status = visa::viPrintf(vi, args...);
        }
    };
    switch (action) {
        case 0:  // Embedding
            send(kDeembedPortState, channel, port, kOff);
            send(kDeembedPortFile, channel, port, "");
            send(kMatchingPortFile, channel, port, fileName);
            send(kMatchingPortState, channel, port, kOn);
            send(kMatchingChannelState, channel, kOn);
            send(kSimulatorState, channel, kOn);
            break;
        case 1:  // Deembedding
            send(kMatchingPortState, channel, port, kOff);
            send(kMatchingPortFile, channel, port, "");
            send(kDeembedPortFile, channel, port, fileName);
            send(kDeembedPortState, channel, port, kOn);
            send(kDeembedChannelState, channel, kOn);
            send(kSimulatorState, channel, kOn);
            break;
        default:  // None, and every other value
            send(kMatchingPortState, channel, port, kOff);
            send(kMatchingPortFile, channel, port, "");
            send(kDeembedPortState, channel, port, kOff);
            send(kDeembedPortFile, channel, port, "");
            break;
    }
    return status < 0 ? status : 0;
}

// An error-queue number becomes a status with bit 31 set. Negative SCPI
// numbers (-256 "File name not found") keep their value and so stay failures.
Status StatusFromErrorNumber(std::int32_t errorNumber) {
    if (errorNumber == 0) {
        return 0;
    }
    return static_cast<Status>(static_cast<std::uint32_t>(errorNumber) | 0x80000000u);
}

Status FileStatus(TouchstoneWriteResult result) {
    switch (result) {
        case TouchstoneWriteResult::kOk:
            return 0;
        case TouchstoneWriteResult::kOpenFailed:
            return visa::VI_ERROR_FILE_ACCESS;
        case TouchstoneWriteResult::kWriteFailed:
            break;
    }
    return visa::VI_ERROR_FILE_IO;
}

// Trims the session's sweep storage when the run ends, on every path.
struct SweepTrim {
    SweepStorage& storage;
    std::int32_t points;
    ~SweepTrim() { TrimSweepStorage(storage, points); }
};

// Queries the frequencies into `arrays`, computes the network and writes the
// file.
Status WriteSweep(const SessionState& state, ViSession vi, std::int32_t channel,
                  std::int32_t pointCount, const char* fileName, const SweepArrays& arrays) {
    // A short reply leaves the remaining frequencies at 0; N stays the count.
    std::int32_t count = pointCount;
    const Status status = visa::viQueryf(vi, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", channel,
                                         &count, arrays.frequencies);
    if (status < 0) {
        return status;
    }
    ComputeCircuitSParameters(state, pointCount, arrays.frequencies, arrays.s11, arrays.s21,
                              arrays.s12, arrays.s22);
    // The analyzer is never told to load a file that was not written whole.
    return FileStatus(WriteTouchstoneFile(fileName, pointCount, arrays.frequencies, arrays.s11,
                                          arrays.s21, arrays.s12, arrays.s22));
}

Status RunSequence(SessionState& state) {
    const ViSession vi = state.instrSession;
    const int portIndex = state.activePort;
    if (portIndex < 0 || portIndex >= kPortCount) {
        return visa::VI_ERROR_INV_PARAMETER;
    }
    const int port = portIndex + 1;

    // The name is known before the dialogue starts; one that does not fit is
    // refused before the analyzer hears anything.
    char fileName[kFileNameSize];
    const int length = std::snprintf(fileName, sizeof fileName, "%s%sPort%d.s2p",
                                     state.filePath, state.filePrefix, port);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof fileName) {
        return visa::VI_ERROR_INV_LENGTH;
    }

    std::int32_t channel = 0;
    Status status = visa::viQueryf(vi, "SERVice:CHANnel:ACTive?\n", "%d", &channel);
    if (status < 0) {
        return status;
    }
    std::int32_t pointCount = 0;
    status = visa::viQueryf(vi, "SENSe%d:SWEep:POINts?\n", "%ld", channel, &pointCount);
    if (status < 0) {
        return status;
    }
    if (pointCount < 0 || pointCount > kMaxPointCount) {
        return visa::VI_ERROR_ALLOC;
    }

    // The arrays live in the session's storage, zero-filled for this run; a
    // huge sweep gives the memory back however the run ends.
    SweepArrays arrays{};
    if (!PrepareSweepArrays(state.sweep, pointCount, arrays)) {
        return visa::VI_ERROR_ALLOC;
    }
    const SweepTrim trim{state.sweep, pointCount};
    status = WriteSweep(state, vi, channel, pointCount, fileName, arrays);
    if (status < 0) {
        return status;
    }

    status = SendActionCommands(vi, state.action[portIndex], channel, port, fileName);
    if (status < 0) {
        return status;
    }

    std::int32_t errorNumber = 0;
    char errorMessage[257] = {};
    status = visa::viQueryf(vi, ":SYST:ERR?\n", "%ld,\"%256[^\"]", &errorNumber, errorMessage);
    if (status < 0) {
        return status;
    }
    return StatusFromErrorNumber(errorNumber);
}

}  // namespace

Status ApplyToAnalyzer(SessionState& state) {
    Status status;
    try {
        status = RunSequence(state);
    } catch (const std::bad_alloc&) {
        status = visa::VI_ERROR_ALLOC;
    } catch (...) {
        status = visa::VI_ERROR_IO;
    }
    if (status == visa::VI_ERROR_TMO) {
        // Drop whatever late reply is still on its way, so the next query
        // reads its own answer.
        visa::viClear(state.instrSession);
    }
    return status;
}

}  // namespace qvz
