// A stand-in for the VISA library a host has installed, built as a shared
// library that tests hand to the plug-in's loader by path. It exports the
// standard vi* C functions, answers like an analyzer with one active channel
// (channel, sweep points, frequencies, error queue; the fixture-simulator
// commands are accepted), and records every call and every byte written.
// Its formatted I/O walks the va_list it is given, so what it records is what
// the caller's formats and arguments really say.
//
// Built in variants: STAND_IN_OMIT_<function> leaves that function out.
// Portable C++ with no platform calls, so it builds as a DLL as well.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#if defined(_WIN32)
#define STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// The standard VISA types, as wide as the standard makes them.
using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViObject = std::uint32_t;
using ViUInt32 = std::uint32_t;
using ViUInt16 = std::uint16_t;
using ViAttr = std::uint32_t;
using ViAccessMode = std::uint32_t;
using ViAttrState = std::uintptr_t;

constexpr ViStatus FromBits(std::uint32_t bits) {
    return static_cast<ViStatus>(bits);
}
constexpr ViStatus kSuccess = 0;
constexpr ViStatus kErrorInvObject = FromBits(0xBFFF000Eu);
constexpr ViStatus kErrorTmo = FromBits(0xBFFF0015u);
constexpr ViStatus kErrorNsupAttr = FromBits(0xBFFF001Du);
constexpr ViStatus kErrorInvFmt = FromBits(0xBFFF003Fu);
constexpr ViStatus kErrorNsupFmt = FromBits(0xBFFF0041u);
constexpr ViStatus kErrorUserBuf = FromBits(0xBFFF0071u);

constexpr ViAttr kAttrTmoValue = 0x3FFF001Au;
constexpr ViAttr kAttrTermCharEn = 0x3FFF0038u;

struct Session {
    bool manager = false;
    ViSession parent = 0;
    ViUInt32 timeoutMs = 2000;
    bool termCharEnabled = false;
    std::string pending;  // replies not read yet
};

struct Analyzer {
    int channel = 1;
    std::vector<double> frequencies;
    std::string errorEntry = "0,\"No error\"";
    bool unknownCommandSeen = false;
};

struct State {
    std::mutex mutex;
    std::map<ViSession, Session> sessions;
    ViSession nextHandle = 1;
    Analyzer analyzer;
    std::map<std::string, ViStatus> failNext;
    std::string calls;    // one line per call
    std::string written;  // every byte written, in order
    std::string callsSnapshot;
    std::string writtenSnapshot;
};

State& TheState() {
    static State state;
    return state;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A failure the test asked for, consumed by the call it names.
bool TakeFailure(State& state, const char* function, ViStatus* status) {
    const auto it = state.failNext.find(function);
    if (it == state.failNext.end()) {
        return false;
    }
    *status = it->second;
    state.failNext.erase(it);
    return true;
}

Session* FindInstrument(State& state, ViSession vi) {
    const auto it = state.sessions.find(vi);
    return it == state.sessions.end() || it->second.manager ? nullptr : &it->second;
}

ViSession NewHandle(State& state) {
    while (state.nextHandle == 0 || state.sessions.count(state.nextHandle) != 0) {
        ++state.nextHandle;
    }
    return state.nextHandle++;
}

// Write conversions: %d, %ld (32-bit), %hd, %s and %%.
ViStatus FormatWrite(const char* format, va_list* args, std::string* out) {
    if (format == nullptr) {
        return kErrorInvFmt;
    }
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out->push_back(*p);
            continue;
        }
        ++p;
        if (*p == '%') {
            out->push_back('%');
        } else if (*p == 'd') {
            *out += std::to_string(va_arg(*args, int));
        } else if (*p == 'l' && p[1] == 'd') {
            ++p;
            *out += std::to_string(static_cast<std::int32_t>(va_arg(*args, int)));
        } else if (*p == 'h' && p[1] == 'd') {
            ++p;
            *out += std::to_string(static_cast<short>(va_arg(*args, int)));
        } else if (*p == 's') {
            const char* text = va_arg(*args, const char*);
            if (text == nullptr) {
                return kErrorUserBuf;
            }
            *out += text;
        } else {
            return *p == '\0' ? kErrorInvFmt : kErrorNsupFmt;
        }
    }
    return kSuccess;
}

bool ScanInteger(const char** in, std::int32_t* value) {
    char* end = nullptr;
    const long parsed = std::strtol(*in, &end, 10);
    if (end == *in) {
        return false;
    }
    *value = static_cast<std::int32_t>(parsed);
    *in = end;
    return true;
}

// %,#lf: a comma-separated list into (count in/out, array).
bool ScanDoubleList(const char** in, std::int32_t* count, double* values) {
    const std::int32_t capacity = *count;
    std::int32_t stored = 0;
    while (true) {
        char* end = nullptr;
        const double value = std::strtod(*in, &end);
        if (end == *in) {
            break;
        }
        if (stored < capacity) {
            values[stored++] = value;
        }
        *in = end;
        if (**in != ',') {
            break;
        }
        ++*in;
    }
    *count = stored;
    return stored > 0 || capacity == 0;
}

// %N[set] and %N[^set]: at most N characters (plus a terminator).
bool ScanSet(const char** format, const char** in, long width, char* buffer) {
    const char* p = *format;  // just after '['
    const bool negated = *p == '^';
    if (negated) {
        ++p;
    }
    const char* setStart = p;
    if (*p == ']') {
        ++p;
    }
    while (*p != '\0' && *p != ']') {
        ++p;
    }
    if (*p != ']') {
        return false;
    }
    const std::string set(setStart, p);
    *format = p + 1;
    long taken = 0;
    while (**in != '\0' && (width <= 0 || taken < width) &&
           (set.find(**in) != std::string::npos) != negated) {
        buffer[taken++] = *(*in)++;
    }
    buffer[taken] = '\0';
    return true;
}

// Read conversions: %d, %ld, %lf, %,#lf, %N[^set]; literals must match.
ViStatus Scan(const std::string& message, const char* format, va_list* args) {
    if (format == nullptr) {
        return kErrorInvFmt;
    }
    const char* in = message.c_str();
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            if (std::isspace(static_cast<unsigned char>(*p)) != 0) {
                while (std::isspace(static_cast<unsigned char>(*in)) != 0) {
                    ++in;
                }
            } else if (*in++ != *p) {
                return kErrorInvFmt;
            }
            ++p;
            continue;
        }
        ++p;
        bool list = false;
        while (*p == ',' || *p == '#') {
            list = list || *p == ',';
            ++p;
        }
        char* widthEnd = nullptr;
        const long width = std::strtol(p, &widthEnd, 10);
        p = widthEnd;
        bool filled = false;
        if (*p == 'd' || (*p == 'l' && p[1] == 'd')) {
            p += *p == 'l' ? 2 : 1;
            filled = ScanInteger(&in, va_arg(*args, std::int32_t*));
        } else if (*p == 'l' && p[1] == 'f') {
            p += 2;
            if (list) {
                std::int32_t* count = va_arg(*args, std::int32_t*);
                double* values = va_arg(*args, double*);
                filled = ScanDoubleList(&in, count, values);
            } else {
                char* end = nullptr;
                *va_arg(*args, double*) = std::strtod(in, &end);
                filled = end != in;
                in = end;
            }
        } else if (*p == '[') {
            ++p;
            filled = ScanSet(&p, &in, width, va_arg(*args, char*));
        } else {
            return kErrorNsupFmt;
        }
        if (!filled) {
            return kErrorInvFmt;
        }
    }
    return kSuccess;
}

std::string FrequencyList(const std::vector<double>& frequencies) {
    std::string text;
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", frequencies[i]);
        if (i != 0) {
            text += ',';
        }
        text += number;
    }
    return text;
}

// The analyzer's answer to one command ('\n' included); empty for none.
std::string Respond(Analyzer& analyzer, const std::string& command) {
    const std::string channel = std::to_string(analyzer.channel);
    if (command == "SERVice:CHANnel:ACTive?\n") {
        return channel + "\n";
    }
    if (command == "SENSe" + channel + ":SWEep:POINts?\n") {
        return std::to_string(analyzer.frequencies.size()) + "\n";
    }
    if (command == ":SENSe" + channel + ":FREQuency:DATA?\n") {
        return FrequencyList(analyzer.frequencies) + "\n";
    }
    if (command == ":SYST:ERR?\n") {
        if (analyzer.unknownCommandSeen) {
            analyzer.unknownCommandSeen = false;
            return "-113,\"Undefined header\"\n";
        }
        return analyzer.errorEntry + "\n";
    }
    if (command.rfind("CALCulate" + channel + ":FSIMulator:", 0) != 0) {
        analyzer.unknownCommandSeen = true;
    }
    return "";
}

ViStatus Send(State& state, Session& session, const char* format, va_list* args) {
    std::string command;
    const ViStatus status = FormatWrite(format, args, &command);
    if (status != kSuccess) {
        return status;
    }
    state.written += command;
    session.pending += Respond(state.analyzer, command);
    return kSuccess;
}

// Takes one message through the line feed (which is not part of it).
ViStatus Receive(Session& session, const char* format, va_list* args) {
    const std::size_t end = session.pending.find('\n');
    if (end == std::string::npos) {
        return kErrorTmo;  // an instrument that says nothing
    }
    const std::string message = session.pending.substr(0, end);
    session.pending.erase(0, end + 1);
    return Scan(message, format, args);
}

}  // namespace

#ifndef STAND_IN_OMIT_viOpenDefaultRM
STAND_IN_EXPORT ViStatus viOpenDefaultRM(ViSession* rm) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    ViStatus status = kSuccess;
    if (TakeFailure(state, "viOpenDefaultRM", &status)) {
        state.calls += "viOpenDefaultRM\n";
        return status;
    }
    const ViSession handle = NewHandle(state);
    state.sessions[handle].manager = true;
    *rm = handle;
    state.calls += "viOpenDefaultRM -> " + std::to_string(handle) + "\n";
    return kSuccess;
}
#endif

#ifndef STAND_IN_OMIT_viOpen
STAND_IN_EXPORT ViStatus viOpen(ViSession rm, const char* resource, ViAccessMode mode,
                                ViUInt32 openTimeout, ViSession* vi) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::string line = "viOpen " + std::to_string(rm) + " " + resource + " " +
                       std::to_string(mode) + " " + std::to_string(openTimeout);
    ViStatus status = kSuccess;
    const auto manager = state.sessions.find(rm);
    if (manager == state.sessions.end() || !manager->second.manager) {
        status = kErrorInvObject;
    } else if (!TakeFailure(state, "viOpen", &status)) {
        const ViSession handle = NewHandle(state);
        state.sessions[handle].parent = rm;
        *vi = handle;
        line += " -> " + std::to_string(handle);
    }
    state.calls += line + "\n";
    return status;
}
#endif

#ifndef STAND_IN_OMIT_viClose
STAND_IN_EXPORT ViStatus viClose(ViObject vi) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viClose " + std::to_string(vi) + "\n";
    const auto it = state.sessions.find(vi);
    if (it == state.sessions.end()) {
        return kErrorInvObject;
    }
    if (it->second.manager) {
        for (auto child = state.sessions.begin(); child != state.sessions.end();) {
            child = child->second.parent == vi ? state.sessions.erase(child) : std::next(child);
        }
    }
    state.sessions.erase(vi);
    return kSuccess;
}
#endif

#ifndef STAND_IN_OMIT_viSetAttribute
STAND_IN_EXPORT ViStatus viSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viSetAttribute " + std::to_string(vi) + " " + Hex(attribute) + " " +
                   std::to_string(value) + "\n";
    Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    ViStatus status = kSuccess;
    if (TakeFailure(state, "viSetAttribute", &status)) {
        return status;
    }
    if (attribute == kAttrTmoValue) {
        session->timeoutMs = static_cast<ViUInt32>(value);
    } else if (attribute == kAttrTermCharEn) {
        session->termCharEnabled = value != 0;
    } else {
        return kErrorNsupAttr;
    }
    return kSuccess;
}
#endif

STAND_IN_EXPORT ViStatus viGetAttribute(ViObject vi, ViAttr attribute, void* value) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viGetAttribute " + std::to_string(vi) + " " + Hex(attribute) + "\n";
    const Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    if (attribute == kAttrTmoValue) {
        std::memcpy(value, &session->timeoutMs, sizeof session->timeoutMs);
    } else if (attribute == kAttrTermCharEn) {
        const ViUInt16 enabled = session->termCharEnabled ? 1 : 0;
        std::memcpy(value, &enabled, sizeof enabled);
    } else {
        return kErrorNsupAttr;
    }
    return kSuccess;
}

#ifndef STAND_IN_OMIT_viVPrintf
STAND_IN_EXPORT ViStatus viVPrintf(ViSession vi, const char* writeFormat, va_list args) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viVPrintf " + std::to_string(vi) + "\n";
    Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    ViStatus status = kSuccess;
    if (TakeFailure(state, "viVPrintf", &status)) {
        return status;
    }
    va_list walk;
    va_copy(walk, args);
    status = Send(state, *session, writeFormat, &walk);
    va_end(walk);
    return status;
}
#endif

STAND_IN_EXPORT ViStatus viVScanf(ViSession vi, const char* readFormat, va_list args) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viVScanf " + std::to_string(vi) + "\n";
    Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    va_list walk;
    va_copy(walk, args);
    const ViStatus status = Receive(*session, readFormat, &walk);
    va_end(walk);
    return status;
}

#ifndef STAND_IN_OMIT_viVQueryf
STAND_IN_EXPORT ViStatus viVQueryf(ViSession vi, const char* writeFormat, const char* readFormat,
                                   va_list args) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viVQueryf " + std::to_string(vi) + "\n";
    Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    ViStatus status = kSuccess;
    if (TakeFailure(state, "viVQueryf", &status)) {
        return status;
    }
    // One walk over the arguments: the write format's first, then the read
    // format's, as the caller laid them out.
    va_list walk;
    va_copy(walk, args);
    status = Send(state, *session, writeFormat, &walk);
    if (status == kSuccess) {
        status = Receive(*session, readFormat, &walk);
    }
    va_end(walk);
    return status;
}
#endif

#ifndef STAND_IN_OMIT_viClear
STAND_IN_EXPORT ViStatus viClear(ViSession vi) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls += "viClear " + std::to_string(vi) + "\n";
    Session* session = FindInstrument(state, vi);
    if (session == nullptr) {
        return kErrorInvObject;
    }
    session->pending.clear();
    return kSuccess;
}
#endif

// What the tests use to drive and read the stand-in.

// Forgets every session, record and pending failure; handles start at 1
// again and the analyzer has channel 1, no points and no error.
STAND_IN_EXPORT void stand_in_reset(void) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.sessions.clear();
    state.nextHandle = 1;
    state.analyzer = Analyzer();
    state.failNext.clear();
    state.calls.clear();
    state.written.clear();
}

STAND_IN_EXPORT void stand_in_serve(int channel, const double* frequencies, int count,
                                    const char* errorEntry) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.analyzer.channel = channel;
    state.analyzer.frequencies.assign(frequencies, frequencies + count);
    state.analyzer.errorEntry = errorEntry;
}

// The next call of `function` (a vi* name) returns `status` and does nothing.
STAND_IN_EXPORT void stand_in_fail_next(const char* function, int status) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.failNext[function] = status;
}

// Handles are given out from `handle` on (skipping those in use).
STAND_IN_EXPORT void stand_in_set_next_handle(unsigned handle) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.nextHandle = handle;
}

// The call log, one line per call ("viOpen 1 <resource> 0 0 -> 2"). Valid
// until the next call of this function.
STAND_IN_EXPORT const char* stand_in_calls(void) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.callsSnapshot = state.calls;
    return state.callsSnapshot.c_str();
}

// Every byte written so far. Valid until the next call of this function.
STAND_IN_EXPORT const char* stand_in_written(void) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.writtenSnapshot = state.written;
    return state.writtenSnapshot.c_str();
}

STAND_IN_EXPORT int stand_in_open_sessions(void) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return static_cast<int>(state.sessions.size());
}
