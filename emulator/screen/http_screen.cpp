#include "http_screen.h"

#include <httplib.h>

#include <charconv>
#include <cstddef>
#include <thread>

#include "qvzsim/port_measurement.h"
#include "screen_json.h"

namespace qvzsim {
namespace {

// A query parameter as a number in [low, high], or 0 when absent or bad.
int NumberParam(const httplib::Request& request, const char* name, int low, int high) {
    if (!request.has_param(name)) {
        return 0;
    }
    const std::string text = request.get_param_value(name);
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < low ||
        value > high) {
        return 0;
    }
    return value;
}

void NoCache(httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
}

}  // namespace

struct HttpScreen::Impl {
    explicit Impl(const Instrument& which) : instrument(which) {}

    const Instrument& instrument;
    httplib::Server server;
    std::thread thread;
};

HttpScreen::HttpScreen(const Instrument& instrument) : impl_(std::make_unique<Impl>(instrument)) {
    httplib::Server& server = impl_->server;
    const Instrument& state = instrument;
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        NoCache(response);
        response.set_content(ScreenPage(), "text/html; charset=utf-8");
    });
    server.Get("/state.json", [&state](const httplib::Request&, httplib::Response& response) {
        NoCache(response);
        response.set_content(StateJson(state.Snapshot(), state.Devices()), "application/json");
    });
    server.Get("/trace.json",
               [&state](const httplib::Request& request, httplib::Response& response) {
                   NoCache(response);
                   const int channel = NumberParam(request, "ch", 1, state.ChannelCount());
                   const int port = NumberParam(request, "port", 1, kPortCount);
                   if (channel == 0 || port == 0) {
                       response.status = 400;
                       response.set_content("{\"error\":\"ch must be 1 to " +
                                                std::to_string(state.ChannelCount()) +
                                                ", port 1 to " + std::to_string(kPortCount) + "\"}",
                                            "application/json");
                       return;
                   }
                   const int step =
                       request.has_param("step") ? NumberParam(request, "step", 1, kMaxPoints) : 1;
                   if (step == 0) {
                       response.status = 400;
                       response.set_content(
                           "{\"error\":\"step must be 1 to " + std::to_string(kMaxPoints) + "\"}",
                           "application/json");
                       return;
                   }
                   response.set_content(
                       TraceJson(MeasurePort(state, channel, port, static_cast<std::size_t>(step)),
                                 channel, port),
                       "application/json");
               });
}

HttpScreen::~HttpScreen() {
    Stop();
}

bool HttpScreen::Start(const std::string& bindAddress, std::uint16_t port, std::string* error) {
    httplib::Server& server = impl_->server;
    int bound = -1;
    if (port == 0) {
        bound = server.bind_to_any_port(bindAddress);
    } else if (server.bind_to_port(bindAddress, port)) {
        bound = port;
    }
    if (bound <= 0) {
        if (error != nullptr) {
            *error = "cannot listen for HTTP on " + bindAddress + ":" + std::to_string(port);
        }
        return false;
    }
    port_ = static_cast<std::uint16_t>(bound);
    impl_->thread = std::thread([&server] { server.listen_after_bind(); });
    return true;
}

void HttpScreen::Stop() {
    if (impl_ && impl_->thread.joinable()) {
        impl_->server.stop();
        impl_->thread.join();
    }
}

}  // namespace qvzsim
