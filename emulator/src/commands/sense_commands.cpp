// SERVice:CHANnel and SENSe: the channels and each channel's sweep.
#include <string>

#include "commands/command_definition.h"
#include "commands/parameters.h"
#include "commands/reply_format.h"
#include "qvzsim/instrument_state.h"

namespace qvzsim {
namespace {

const NumericSetting kChannelNumber{false, [](int channels) {
                                        return Limits{1.0, static_cast<double>(channels)};
                                    }};
const NumericSetting kPointCount{false, [](int) {
                                     return Limits{1.0, static_cast<double>(kMaxPoints)};
                                 }};
const NumericSetting kFrequency{true, [](int) { return Limits{0.0, kMaxFrequencyHz}; }};

// The setting's number, or its MINimum/MAXimum.
int ToSettingValue(const CommandContext& context, double& value) {
    const NumericSetting& setting = *context.resolved.definition->numeric;
    const Parameter& parameter = context.Param(0);
    const int bound = BoundKeyword(parameter);
    if (bound != 0) {
        const Limits limits = setting.limits(context.instrument.ChannelCount());
        value = bound < 0 ? limits.minimum : limits.maximum;
        return 0;
    }
    if (setting.hertz) {
        return ToFrequency(parameter, value);
    }
    long integer = 0;
    const int error = ToInteger(parameter, integer);
    value = static_cast<double>(integer);
    return error;
}

ErrorEntry ActiveChannel(CommandContext& context) {
    Instrument& instrument = context.instrument;
    if (context.IsQuery()) {
        context.Reply(std::to_string(instrument.ActiveChannel()));
        return Done();
    }
    double number = 0.0;
    if (const int error = ToSettingValue(context, number); error != 0) {
        return Failed(error);
    }
    const long value = static_cast<long>(number);
    if (value < 1 || value > instrument.ChannelCount()) {
        return Failed(errors::kDataOutOfRange);
    }
    instrument.SetActiveChannel(static_cast<int>(value));
    return Done();
}

ErrorEntry ChannelCount(CommandContext& context) {
    context.Reply(std::to_string(context.instrument.ChannelCount()));
    return Done();
}

ErrorEntry SweepPoints(CommandContext& context) {
    if (context.IsQuery()) {
        context.Reply(std::to_string(context.instrument.GetSweep(context.channel).points));
        return Done();
    }
    double value = 0.0;
    int error = 0;
    if ((error = ToSettingValue(context, value)) != 0 ||
        (error = context.instrument.SetSweepPoints(context.channel, static_cast<long>(value))) !=
            0) {
        return Failed(error);
    }
    return Done();
}

// STARt and STOP: the query reads one end of the sweep, the setting moves it.
ErrorEntry SweepEnd(CommandContext& context, double SweepSettings::*end,
                    int (Instrument::*set)(int channel, double hertz)) {
    if (context.IsQuery()) {
        context.Reply(FormatNumber(context.instrument.GetSweep(context.channel).*end));
        return Done();
    }
    double value = 0.0;
    int error = 0;
    if ((error = ToSettingValue(context, value)) != 0 ||
        (error = (context.instrument.*set)(context.channel, value)) != 0) {
        return Failed(error);
    }
    return Done();
}

ErrorEntry StartFrequency(CommandContext& context) {
    return SweepEnd(context, &SweepSettings::startHz, &Instrument::SetStartFrequency);
}

ErrorEntry StopFrequency(CommandContext& context) {
    return SweepEnd(context, &SweepSettings::stopHz, &Instrument::SetStopFrequency);
}

ErrorEntry FrequencyData(CommandContext& context) {
    context.Reply(FormatFrequencyList(context.instrument.SweepFrequencies(context.channel)));
    return Done();
}

const CommandDefinition kCommands[] = {
    {CommandId::kActiveChannel, "SERVice:CHANnel:ACTive", kBothForms, "SERVice:CHANnel:ACTive",
     ActiveChannel, 1, 1, &kChannelNumber},
    {CommandId::kChannelCount, "SERVice:CHANnel:COUNt", kQueryForm, "SERVice:CHANnel:COUNt?",
     ChannelCount},
    {CommandId::kSweepPoints, "[SENSe#]:SWEep:POINts", kBothForms, "SENSe<ch>:SWEep:POINts",
     SweepPoints, 1, 1, &kPointCount},
    {CommandId::kStartFrequency, "[SENSe#]:FREQuency:STARt", kBothForms,
     "SENSe<ch>:FREQuency:STARt", StartFrequency, 1, 1, &kFrequency},
    {CommandId::kStopFrequency, "[SENSe#]:FREQuency:STOP", kBothForms, "SENSe<ch>:FREQuency:STOP",
     StopFrequency, 1, 1, &kFrequency},
    {CommandId::kFrequencyData, "[SENSe#]:FREQuency:DATA", kQueryForm, "SENSe<ch>:FREQuency:DATA?",
     FrequencyData},
};

}  // namespace

CommandList SenseCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
