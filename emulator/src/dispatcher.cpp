#include "qvzsim/dispatcher.h"

#include <cstddef>
#include <string_view>

#include "commands/command_definition.h"
#include "commands/parameters.h"
#include "commands/reply_format.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/instrument_state.h"

namespace qvzsim {
namespace {

// A "? MIN" / "? MAX" query: only for the numeric settings that take them.
bool IsBoundQuery(const ResolvedCommand& resolved, const ScpiCommand& command) {
    return resolved.query && command.params.size() == 1 && BoundKeyword(command.params[0]) != 0 &&
           resolved.definition->numeric != nullptr;
}

std::string BoundReply(const NumericSetting& setting, int channels, const Parameter& bound) {
    const Limits limits = setting.limits(channels);
    const double value = BoundKeyword(bound) < 0 ? limits.minimum : limits.maximum;
    return setting.hertz ? FormatNumber(value) : std::to_string(static_cast<long>(value));
}

// The suffixes name the channel first (where there is one), then the port: a
// header whose only suffix is on PORT names a port alone.
bool NamesPortOnly(std::string_view pattern) {
    const std::size_t first = pattern.find('#');
    return first != std::string_view::npos && first == pattern.rfind('#') && first >= 4 &&
           pattern.compare(first - 4, 4, "PORT") == 0;
}

struct HeaderSuffixes {
    int channel = 1;  // 1 where the header names none
    int port = 1;
    bool namesChannel = false;
    bool namesPort = false;
};

HeaderSuffixes SuffixesOf(const ResolvedCommand& resolved) {
    HeaderSuffixes suffixes;
    if (NamesPortOnly(resolved.definition->pattern)) {
        suffixes.port = resolved.suffixes[0];
        suffixes.namesPort = true;
    } else {
        suffixes.channel = resolved.suffixes[0];
        suffixes.port = resolved.suffixes[1];
        suffixes.namesChannel = resolved.suffixCount >= 1;
        suffixes.namesPort = resolved.suffixCount >= 2;
    }
    return suffixes;
}

int CheckSuffixes(const HeaderSuffixes& suffixes, int channels) {
    if (suffixes.namesChannel && (suffixes.channel < 1 || suffixes.channel > channels)) {
        return errors::kHeaderSuffixOutOfRange;
    }
    if (suffixes.namesPort && (suffixes.port < 1 || suffixes.port > kPortCount)) {
        return errors::kHeaderSuffixOutOfRange;
    }
    return 0;
}

int CheckParameterCount(const CommandDefinition& definition, const ScpiCommand& command) {
    if (command.params.size() < definition.minParameters) {
        return errors::kMissingParameter;
    }
    if (command.params.size() > definition.maxParameters) {
        return errors::kParameterNotAllowed;
    }
    return 0;
}

}  // namespace

CommandResult Dispatcher::Execute(const ResolvedCommand& resolved, const ScpiCommand& command) {
    const CommandDefinition& definition = *resolved.definition;
    CommandResult result;
    // Queries take no parameters but MINimum/MAXimum on a numeric setting.
    const bool boundQuery = IsBoundQuery(resolved, command);
    if (resolved.query && !command.params.empty() && !boundQuery) {
        instrument_.PushError(errors::kParameterNotAllowed);
        return result;
    }
    if (boundQuery) {
        result.hasReply = true;
        result.reply =
            BoundReply(*definition.numeric, instrument_.ChannelCount(), command.params[0]);
        return result;
    }
    const HeaderSuffixes suffixes = SuffixesOf(resolved);
    int shapeError = CheckSuffixes(suffixes, instrument_.ChannelCount());
    if (shapeError == 0 && !resolved.query) {
        shapeError = CheckParameterCount(definition, command);
    }
    if (shapeError != 0) {
        instrument_.PushError(shapeError);
        return result;
    }
    CommandContext context{instrument_,      faults_,       resolved, command,
                           suffixes.channel, suffixes.port, result};
    ErrorEntry error = definition.handler(context);
    if (error.code != 0) {
        instrument_.PushError(error.code, std::move(error.message));
    }
    return result;
}

}  // namespace qvzsim
