#include "apply.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "circuit_model.h"
#include "complex_value.h"
#include "file_name_locks.h"
#include "qvzfix.h"
#include "touchstone_line_pipeline.h"
#include "touchstone_writer.h"
#include "visa/visa.h"

namespace qvz {
namespace {

using visa::ViSession;

// Just beyond the largest sweep of any analyzer; keeps a garbage reply from
// asking for gigabytes of arrays and file.
constexpr std::int32_t kMaxPointCount = 1000001;
constexpr std::size_t kFileNameSize = 256;
// The name inside the FILename string, each '"' doubled.
constexpr std::size_t kQuotedNameSize = 2 * (kFileNameSize - 1) + 1;
constexpr short kOff = 0;
constexpr short kOn = 1;

// The analyzer's fixture-simulator commands; the first %d is the channel.
constexpr const char* kMatchingPortState =
    "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:STATe %hd\n";
constexpr const char* kMatchingPortFile =
    "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:USER:FILename \"%s\"\n";
constexpr const char* kMatchingChannelState = "CALCulate%d:FSIMulator:SENDed:PMCircuit:STATe %hd\n";
constexpr const char* kDeembedPortState =
    "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:STATe %hd\n";
constexpr const char* kDeembedPortFile =
    "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:USER:FILename \"%s\"\n";
constexpr const char* kDeembedChannelState = "CALCulate%d:FSIMulator:SENDed:DEEMbed:STATe %hd\n";
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
        case QVZ_EMBEDDING:
            send(kDeembedPortState, channel, port, kOff);
            send(kDeembedPortFile, channel, port, "");
            send(kMatchingPortFile, channel, port, fileName);
            send(kMatchingPortState, channel, port, kOn);
            send(kMatchingChannelState, channel, kOn);
            send(kSimulatorState, channel, kOn);
            break;
        case QVZ_DEEMBEDDING:
            send(kMatchingPortState, channel, port, kOff);
            send(kMatchingPortFile, channel, port, "");
            send(kDeembedPortFile, channel, port, fileName);
            send(kDeembedPortState, channel, port, kOn);
            send(kDeembedChannelState, channel, kOn);
            send(kSimulatorState, channel, kOn);
            break;
        default:  // QVZ_NONE, and every other value
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

// A control character (CR and LF among them) in a name would end or split
// the command that carries it; such a name is refused, never sent.
bool HasControlCharacter(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// The name as the inside of a SCPI string in double quotes: a '"' of the name
// is doubled, so the analyzer reads it back as one and opens the file that
// was written, and the string cannot end early.
void QuoteForScpiString(const char* name, char (&quoted)[kQuotedNameSize]) {
    std::size_t n = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted[n++] = '"';
        }
        quoted[n++] = *p;
    }
    quoted[n] = '\0';
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

// Computes the network, part by part, as the writer asks for it: for a large
// sweep on the thread that formats the lines ahead of the writes, so the
// model's time (and the first touch of the arrays' memory) passes while the
// lines before it are written.
class NetworkColumns final : public ColumnProducer {
public:
    NetworkColumns(const SessionState& state, const SweepArrays& arrays)
        : network_(state), arrays_(arrays) {}

    void Produce(std::size_t first, std::size_t last) override {
        network_.Compute(static_cast<std::int32_t>(first), static_cast<std::int32_t>(last),
                         arrays_.frequencies, arrays_.s11, arrays_.s21, arrays_.s12, arrays_.s22);
    }

private:
    const PortNetwork network_;
    const SweepArrays arrays_;
};

Status RunSequence(SessionState& state) {
    const ViSession vi = state.instrSession;
    const int portIndex = state.activePort;
    if (portIndex < 0 || portIndex >= kPortCount) {
        return visa::VI_ERROR_INV_PARAMETER;
    }
    const int port = portIndex + 1;

    // The name is known before the dialogue starts; one that does not fit, or
    // that could not travel inside a command, is refused before the analyzer
    // hears anything.
    if (HasControlCharacter(state.filePath) || HasControlCharacter(state.filePrefix)) {
        return visa::VI_ERROR_INV_PARAMETER;
    }
    char fileName[kFileNameSize];
    const int length = std::snprintf(fileName, sizeof fileName, "%s%sPort%d.s2p", state.filePath,
                                     state.filePrefix, port);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof fileName) {
        return visa::VI_ERROR_INV_LENGTH;
    }
    char quotedName[kQuotedNameSize];
    QuoteForScpiString(fileName, quotedName);

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
    // A short reply leaves the remaining frequencies at 0; N stays the count.
    std::int32_t count = pointCount;
    status = visa::viQueryf(vi, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", channel, &count,
                            arrays.frequencies);
    if (status < 0) {
        return status;
    }
    // From the write until the analyzer has answered the error query, no
    // other thread of this process replaces this file: the analyzer loads
    // exactly the network written here.
    const FileNameLock fileLock(fileName);
    // The network at each frequency is computed as its lines are written.
    // The analyzer is never told to load a file that was not written whole.
    NetworkColumns network(state, arrays);
    status = FileStatus(WriteTouchstoneFile(fileName, pointCount, arrays.frequencies, arrays.s11,
                                            arrays.s21, arrays.s12, arrays.s22, &network));
    if (status < 0) {
        return status;
    }

    status = SendActionCommands(vi, state.action[portIndex], channel, port, quotedName);
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
        // A late reply must never be read as a later query's answer: the
        // built-in layer's clear starts a new connection, an installed VISA
        // clears the device its own way.
        visa::viClear(state.instrSession);
    }
    return status;
}

}  // namespace qvz
