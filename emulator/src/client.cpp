#include "qvzsim/client.h"

#include <chrono>

#include "net/socket.h"

namespace qvzsim {

struct Client::Impl {
    bool librarySetUp = false;
    net::Socket socket;
    std::string buffered;  // received bytes not yet returned as a line
};

Client::Client() : impl_(std::make_unique<Impl>()) {}

Client::~Client() {
    close();
    if (impl_->librarySetUp) {
        net::Cleanup();
    }
}

bool Client::connect(const std::string& host, std::uint16_t port, std::string* error) {
    close();
    std::string problem;
    if (!impl_->librarySetUp) {
        if (!net::Startup(problem)) {
            if (error != nullptr) {
                *error = problem;
            }
            return false;
        }
        impl_->librarySetUp = true;
    }
    if (!net::Connect(host, port, impl_->socket, problem)) {
        if (error != nullptr) {
            *error = problem;
        }
        return false;
    }
    return true;
}

bool Client::connected() const { return impl_->socket.valid(); }

void Client::close() {
    impl_->socket.close();
    impl_->buffered.clear();
}

bool Client::send(std::string_view line) {
    if (!connected()) {
        return false;
    }
    std::string message(line);
    message.push_back('\n');
    return impl_->socket.sendAll(message.data(), message.size());
}

bool Client::sendRaw(std::string_view bytes) {
    return connected() && impl_->socket.sendAll(bytes.data(), bytes.size());
}

std::optional<std::string> Client::readLine(int timeoutMs) {
    if (!connected()) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t scanned = 0;
    char chunk[1 << 16];
    for (;;) {
        const std::size_t newline = impl_->buffered.find('\n', scanned);
        if (newline != std::string::npos) {
            std::string line = impl_->buffered.substr(0, newline);
            impl_->buffered.erase(0, newline + 1);
            return line;
        }
        scanned = impl_->buffered.size();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        if (impl_->socket.waitReadable(static_cast<int>(left.count())) != net::WaitResult::kReady) {
            continue;  // the deadline check ends the wait
        }
        const long long got = impl_->socket.receive(chunk, sizeof chunk);
        if (got <= 0) {
            return std::nullopt;
        }
        impl_->buffered.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> Client::query(std::string_view line, int timeoutMs) {
    if (!send(line)) {
        return std::nullopt;
    }
    return readLine(timeoutMs);
}

bool Client::waitForClose(int timeoutMs) {
    if (!connected()) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const net::WaitResult wait = impl_->socket.waitReadable(static_cast<int>(left.count()));
        if (wait == net::WaitResult::kError) {
            return true;
        }
        if (wait == net::WaitResult::kReady && impl_->socket.receive(chunk, sizeof chunk) <= 0) {
            return true;
        }
    }
}

bool ExpectsReply(std::string_view message) {
    char quote = '\0';
    for (const char c : message) {
        if (quote != '\0') {
            // A doubled quote closes and reopens the string: same outcome.
            if (c == quote) {
                quote = '\0';
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '?') {
            return true;
        }
    }
    return false;
}

}  // namespace qvzsim
