// A scripted in-process instrument for tests. While an instance lives it is
// the VISA layer's backend: viOpenDefaultRM and viOpen (of any well-formed
// socket resource) reach it instead of the network. It records every call and
// every byte in order, answers commands through a responder, and fails any
// call with any status on request. Formatted I/O, attributes and message
// splitting stay in the VISA layer, so what a test sees byte for byte is what
// a real socket session does. Thread-safe; one instance at a time.
//
//   qvz::testing::ScriptedInstrument instrument;
//   instrument.serveAnalyzer(1, {1e9, 2e9});
//   ... QVZ_init / QVZ_ApplyChanges ...
//   EXPECT_EQ(instrument.commands()[0], "SERVice:CHANnel:ACTive?\n");
//
// The destructor restores the built-in socket backend. Sessions opened while
// it lived keep working against its recorded state until they are closed.
#ifndef QVZ_TESTING_SCRIPTED_INSTRUMENT_H
#define QVZ_TESTING_SCRIPTED_INSTRUMENT_H

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "visa/visa.h"

namespace qvz {
namespace testing {

class ScriptedInstrument {
public:
    enum class Call { OpenDefaultRM, Open, Close, SetAttribute, Write, Read, Clear };

    // One call as the instrument saw it. `text`: the resource for Open, the
    // bytes for Write and Read, "0xATTRIBUTE=value" (attribute in upper-case
    // hex, value in decimal) for SetAttribute, empty otherwise. `status` is
    // what the call returned.
    struct Record {
        Call call;
        std::string text;
        visa::ViStatus status;
    };

    // Called with each command written (the whole text, '\n' included); the
    // returned bytes become readable on that session, std::nullopt means no
    // reply. Called without internal locks held; a responder shared by
    // sessions on several threads must be thread-safe itself.
    using Responder = std::function<std::optional<std::string>(const std::string& command)>;

    ScriptedInstrument();
    ~ScriptedInstrument();
    ScriptedInstrument(const ScriptedInstrument&) = delete;
    ScriptedInstrument& operator=(const ScriptedInstrument&) = delete;

    std::vector<Record> Records() const;
    // The bytes of every successful Write, in order.
    std::vector<std::string> Commands() const;
    int Count(Call call) const;
    void ClearRecords();

    // The nth call of `call`'s kind from now on (1-based) returns `status`. A
    // negative status fails it (a failed Write sends nothing, a failed Read
    // delivers nothing and leaves pending input alone); a positive one is a
    // completion code: the call works and returns it.
    void FailCall(Call call, int nth, visa::ViStatus status);
    // Every call of that kind from now on returns `status`.
    void FailAll(Call call, visa::ViStatus status);
    void ClearFailures();

    void SetResponder(Responder responder);

    // A responder playing an analyzer with one active channel:
    //   "SERVice:CHANnel:ACTive?\n"          -> channel
    //   "SENSe<channel>:SWEep:POINts?\n"     -> frequencies.size()
    //   ":SENSe<channel>:FREQuency:DATA?\n"  -> the frequencies, %.17g, comma-separated
    //   ":SYST:ERR?\n"                       -> errorEntry
    // each reply ending in '\n'; anything else (the fixture-simulator
    // commands, other channels) gets no reply.
    void ServeAnalyzer(int channel, std::vector<double> frequencies,
                       std::string errorEntry = "0,\"No error\"");

    // Replies become readable `delay` after their command. Without a delay a
    // read that finds nothing returns VI_ERROR_TMO at once; with one it waits
    // (for the reply or until the session's timeout), as a slow instrument.
    void SetReplyDelay(std::chrono::milliseconds delay);

    // With `reconnects`, viClear closes the session's connection and opens a
    // new one (recorded as Close and Open), as the built-in socket backend
    // does; a reply still on its way to the old connection never arrives.
    // Off by default: viClear drops pending input (recorded as Clear).
    void SetReconnectsOnClear(bool reconnects);

    // Makes `bytes` readable on the most recently opened session, as if the
    // instrument had sent them unasked.
    void QueueInput(const std::string& bytes);

    // The value last set on the most recently opened session, if any.
    std::optional<visa::ViAttrState> Attribute(visa::ViAttr attribute) const;

    struct Core;  // shared with the sessions opened through it

private:
    std::shared_ptr<Core> core_;
};

// Formats frequencies the way serveAnalyzer sends them (without the '\n').
std::string FormatFrequencyList(const std::vector<double>& frequencies);

}  // namespace testing
}  // namespace qvz

#endif
