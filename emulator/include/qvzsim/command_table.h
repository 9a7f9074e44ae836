// The instrument's command tree: which headers exist, in which forms (query,
// setting), and how a parsed header maps onto one of them. Each command's
// entry, with its handler, is in the file of its subsystem under
// src/commands/.
#ifndef QVZSIM_COMMAND_TABLE_H
#define QVZSIM_COMMAND_TABLE_H

#include <array>
#include <optional>
#include <vector>

#include "qvzsim/scpi_parser.h"

namespace qvzsim {

// Names a command for tests, faults and logs.
enum class CommandId {
    kIdentify,              // *IDN?
    kReset,                 // *RST
    kClearStatus,           // *CLS
    kOperationComplete,     // *OPC, *OPC?
    kWait,                  // *WAI
    kSystemError,           // SYSTem:ERRor[:NEXT]?
    kSystemErrorCount,      // SYSTem:ERRor:COUNt?
    kSystemPreset,          // SYSTem:PRESet
    kStateReport,           // SYSTem:FSIMulator:REPort?
    kFaultSilence,          // SYSTem:FAULt:SILence
    kFaultDelay,            // SYSTem:FAULt:DELay
    kFaultGarbage,          // SYSTem:FAULt:GARBage
    kFaultClose,            // SYSTem:FAULt:CLOSe
    kFaultError,            // SYSTem:FAULt:ERRor
    kFaultClear,            // SYSTem:FAULt:CLEar
    kFaultCount,            // SYSTem:FAULt:COUNt?
    kActiveChannel,         // SERVice:CHANnel:ACTive
    kChannelCount,          // SERVice:CHANnel:COUNt?
    kSweepPoints,           // [SENSe<ch>]:SWEep:POINts
    kStartFrequency,        // [SENSe<ch>]:FREQuency:STARt
    kStopFrequency,         // [SENSe<ch>]:FREQuency:STOP
    kFrequencyData,         // [SENSe<ch>]:FREQuency:DATA?
    kSimulatorState,        // CALCulate<ch>:FSIMulator:STATe
    kMatchingState,         // CALCulate<ch>:FSIMulator:SENDed:PMCircuit:STATe
    kMatchingPortState,     // ...:PMCircuit:PORT<n>:STATe
    kMatchingPortFile,      // ...:PMCircuit:PORT<n>:USER:FILename
    kDeembeddingState,      // CALCulate<ch>:FSIMulator:SENDed:DEEMbed:STATe
    kDeembeddingPortState,  // ...:DEEMbed:PORT<n>:STATe
    kDeembeddingPortFile,   // ...:DEEMbed:PORT<n>:USER:FILename
    kEventStatus,           // *ESR?
    kEventStatusEnable,     // *ESE, *ESE?
    kServiceRequestEnable,  // *SRE, *SRE?
    kStatusByte,            // *STB?
    kSelfTest,              // *TST?
    kSystemVersion,         // SYSTem:VERSion?
    kStatusPreset,          // STATus:PRESet
    kOperationStatus,       // STATus:OPERation[:EVENt]?
    kQuestionableStatus,    // STATus:QUEStionable[:EVENt]?
    kDeviceFile,            // SYSTem:DUT:PORT<n>:FILename
    kTraceData,             // CALCulate<ch>:DATA:PORT<n>:SDATa?  (the last)
};

struct CommandDefinition;

struct ResolvedCommand {
    CommandId id = CommandId::kIdentify;
    const CommandDefinition* definition = nullptr;  // the table entry, with its handler
    bool query = false;
    // The header's numeric suffixes in order (channel, then port); 1 where a
    // suffix may stand but was not written.
    std::array<int, 2> suffixes{{1, 1}};
    std::array<bool, 2> suffixWritten{{false, false}};
    int suffixCount = 0;
};

// Looks up the command that a header names. Returns nothing when no command
// has that header, or when the command does not exist in the requested form
// (a query of a setting-only command, or the reverse). The second form takes
// the nodes separately, for headers completed by a compound message's path.
std::optional<ResolvedCommand> ResolveHeader(const ScpiCommand& command);
std::optional<ResolvedCommand> ResolveHeader(const std::vector<HeaderNode>& nodes, bool common,
                                             bool query);

// The long form of a command's header with <ch>/<n> placeholders, for logs.
const char* CanonicalHeader(CommandId id);

// True for the fault-control commands, which faults never apply to.
bool IsFaultControl(CommandId id);

}  // namespace qvzsim

#endif
