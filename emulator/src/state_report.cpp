#include "qvzsim/state_report.h"

#include "qvzsim/scpi_parser.h"

namespace qvzsim {
namespace {

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

void AppendSlotLine(std::string& out, const std::string& key, const FixtureSlot& slot) {
    out += ' ' + key + '=' + OnOff(slot.on);
    out += ' ' + key + ".FILE=" + QuoteString(slot.file);
}

std::string DescribeSlot(const char* name, const FixtureSlot& slot) {
    std::string text = std::string(name) + ' ' + OnOff(slot.on);
    if (slot.file.empty()) {
        return text + " (no file)";
    }
    return text + ", file " + slot.file + " (" + std::to_string(slot.filePoints) + " points)";
}

}  // namespace

std::string FormatStateLine(const InstrumentSnapshot& snapshot) {
    std::string out = "ACTIVE=" + std::to_string(snapshot.activeChannel);
    for (std::size_t c = 0; c < snapshot.channels.size(); ++c) {
        const ChannelState& channel = snapshot.channels[c];
        out += " CH" + std::to_string(c + 1);
        out += std::string(" SIM=") + OnOff(channel.simulatorOn);
        out += std::string(" PMC=") + OnOff(channel.matchingOn);
        out += std::string(" DEEM=") + OnOff(channel.deembeddingOn);
        for (int p = 1; p <= kPortCount; ++p) {
            const std::string prefix = "P" + std::to_string(p) + ".";
            AppendSlotLine(out, prefix + "PMC", channel.Port(p).matching);
            AppendSlotLine(out, prefix + "DEEM", channel.Port(p).deembedding);
        }
    }
    return out;
}

std::string FormatStateText(const InstrumentSnapshot& snapshot) {
    std::string out = "Fixture simulator state (active channel " +
                      std::to_string(snapshot.activeChannel) + "):\n";
    for (std::size_t c = 0; c < snapshot.channels.size(); ++c) {
        const ChannelState& channel = snapshot.channels[c];
        out += "  Channel " + std::to_string(c + 1) + ": simulator " + OnOff(channel.simulatorOn) +
               ", matching circuit " + OnOff(channel.matchingOn) + ", de-embedding " +
               OnOff(channel.deembeddingOn) + "; sweep " + std::to_string(channel.sweep.points) +
               " points\n";
        for (int p = 1; p <= kPortCount; ++p) {
            out += "    Port " + std::to_string(p) + ": " +
                   DescribeSlot("matching circuit", channel.Port(p).matching) + "; " +
                   DescribeSlot("de-embedding", channel.Port(p).deembedding) + "\n";
        }
    }
    out += "  Errors in the queue: " + std::to_string(snapshot.errorCount) + "\n";
    return out;
}

}  // namespace qvzsim
