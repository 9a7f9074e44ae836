#include "emulated_analyzer.h"

#include <optional>
#include <string>
#include <string_view>

#include "qvzsim/session.h"

namespace qvz {
namespace testing {

qvzsim::InstrumentConfig Sweep(int points, double startHz, double stopHz) {
    qvzsim::InstrumentConfig config;
    config.sweep.points = points;
    config.sweep.startHz = startHz;
    config.sweep.stopHz = stopHz;
    return config;
}

EmulatedAnalyzer::EmulatedAnalyzer(const qvzsim::InstrumentConfig& config) : instrument_(config) {}

ScriptedInstrument::Responder EmulatedAnalyzer::Responder() {
    return [this](const std::string& command) -> std::optional<std::string> {
        std::string_view message(command);
        if (!message.empty() && message.back() == '\n') {
            message.remove_suffix(1);
        }
        // A session per command: sessions hold parser state and are not
        // shared between threads; the instrument behind them is.
        qvzsim::Session session(instrument_, faults_, nullptr, 1);
        qvzsim::MessageOutcome outcome = session.HandleMessage(message);
        if (outcome.reply.empty()) {
            return std::nullopt;
        }
        return outcome.reply;
    };
}

}  // namespace testing
}  // namespace qvz
