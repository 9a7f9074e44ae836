// The emulator's screen over HTTP: a page showing the fixture simulator's
// state and each port's raw and simulated measurement, updated live, and the
// numbers behind it as JSON.
//
//   GET /                          the page
//   GET /state.json                channels, switches, files, devices
//   GET /trace.json?ch=1&port=1    one port's measurement on one channel
//       [&step=K]                  every K-th sweep point only (and the last)
#ifndef QVZSIM_HTTP_SCREEN_H
#define QVZSIM_HTTP_SCREEN_H

#include <cstdint>
#include <memory>
#include <string>

#include "qvzsim/instrument.h"

namespace qvzsim {

class HttpScreen {
public:
    explicit HttpScreen(const Instrument& instrument);
    ~HttpScreen();
    HttpScreen(const HttpScreen&) = delete;
    HttpScreen& operator=(const HttpScreen&) = delete;

    // Binds (port 0 picks a free one) and serves on a thread of its own.
    // Returns false, with the reason in *error when given, if it cannot bind.
    bool Start(const std::string& bindAddress, std::uint16_t port, std::string* error = nullptr);
    void Stop();
    std::uint16_t Port() const { return port_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint16_t port_ = 0;
};

// The page itself (screen_page.html, built in).
const char* ScreenPage();

}  // namespace qvzsim

#endif
