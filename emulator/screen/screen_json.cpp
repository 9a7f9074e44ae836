#include "screen_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace qvzsim {
namespace {

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    out.append(text, result.ptr);
}

void AppendBool(std::string& out, bool value) {
    out += value ? "true" : "false";
}

template <typename Item, typename Write>
void AppendArray(std::string& out, const std::vector<Item>& items, Write write) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        write(out, items[i]);
    }
    out += ']';
}

void AppendComplex(std::string& out, Complex value) {
    out += '[';
    AppendNumber(out, value.real());
    out += ',';
    AppendNumber(out, value.imag());
    out += ']';
}

void AppendSlot(std::string& out, const FixtureSlot& slot) {
    out += "{\"on\":";
    AppendBool(out, slot.on);
    out += ",\"file\":" + JsonString(slot.file) + ",\"points\":" + std::to_string(slot.filePoints) +
           "}";
}

std::vector<double> Losses(const std::vector<Complex>& values) {
    std::vector<double> out;
    out.reserve(values.size());
    for (Complex value : values) {
        out.push_back(LossDb(value));
    }
    return out;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string StateJson(const InstrumentSnapshot& snapshot, const DeviceBank& devices) {
    std::string out = "{\"activeChannel\":" + std::to_string(snapshot.activeChannel) +
                      ",\"errorCount\":" + std::to_string(snapshot.errorCount) + ",\"devices\":[";
    for (int port = 1; port <= kPortCount; ++port) {
        out += port == 1 ? "" : ",";
        out += "{\"port\":" + std::to_string(port) +
               ",\"file\":" + JsonString(devices.GetDevice(port)->File()) + "}";
    }
    out += "],\"channels\":[";
    for (std::size_t c = 0; c < snapshot.channels.size(); ++c) {
        const ChannelState& channel = snapshot.channels[c];
        out += c == 0 ? "{" : ",{";
        out += "\"channel\":" + std::to_string(c + 1) + ",\"simulator\":";
        AppendBool(out, channel.simulatorOn);
        out += ",\"matching\":";
        AppendBool(out, channel.matchingOn);
        out += ",\"deembedding\":";
        AppendBool(out, channel.deembeddingOn);
        out += ",\"sweep\":{\"points\":" + std::to_string(channel.sweep.points) + ",\"startHz\":";
        AppendNumber(out, channel.sweep.startHz);
        out += ",\"stopHz\":";
        AppendNumber(out, channel.sweep.stopHz);
        out += "},\"ports\":[";
        for (int port = 1; port <= kPortCount; ++port) {
            out += port == 1 ? "{" : ",{";
            out += "\"port\":" + std::to_string(port) + ",\"matching\":";
            AppendSlot(out, channel.Port(port).matching);
            out += ",\"deembedding\":";
            AppendSlot(out, channel.Port(port).deembedding);
            out += '}';
        }
        out += "]}";
    }
    out += "]}";
    return out;
}

std::string TraceJson(const PortMeasurement& m, int channel, int port) {
    std::string out =
        "{\"channel\":" + std::to_string(channel) + ",\"port\":" + std::to_string(port);
    out.reserve(m.frequencies.size() * 200);
    out += ",\"frequencies\":";
    AppendArray(out, m.frequencies, AppendNumber);
    out += ",\"raw\":";
    AppendArray(out, m.raw, AppendComplex);
    out += ",\"simulated\":";
    AppendArray(out, m.simulated, AppendComplex);
    out += ",\"rawReturnLossDb\":";
    AppendArray(out, Losses(m.raw), AppendNumber);
    out += ",\"simulatedReturnLossDb\":";
    AppendArray(out, Losses(m.simulated), AppendNumber);
    out += ",\"networks\":[";
    for (std::size_t n = 0; n < m.networks.size(); ++n) {
        const LoadedNetwork& network = m.networks[n];
        std::vector<double> s11Db;
        std::vector<double> s21Db;
        for (const TwoPort& s : network.sParameters) {
            s11Db.push_back(-LossDb(s.s11));
            s21Db.push_back(-LossDb(s.s21));
        }
        out += n == 0 ? "{" : ",{";
        out += std::string("\"function\":\"") +
               (network.function == FixtureFunction::kMatching ? "matching" : "deembedding") +
               "\",\"file\":" + JsonString(network.file) + ",\"applied\":";
        AppendBool(out, network.applied);
        out += ",\"s11Db\":";
        AppendArray(out, s11Db, AppendNumber);
        out += ",\"s21Db\":";
        AppendArray(out, s21Db, AppendNumber);
        out += '}';
    }
    out += "]}";
    return out;
}

}  // namespace qvzsim
