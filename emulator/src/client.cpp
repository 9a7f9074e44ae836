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
    Close();
    if (impl_->librarySetUp) {
        net::Cleanup();
    }
}

bool Client::Connect(const std::string& host, std::uint16_t port, std::string* error) {
    Close();
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

bool Client::Connected() const {
    return impl_->socket.Valid();
}

void Client::Close() {
    impl_->socket.Close();
    impl_->buffered.clear();
}

bool Client::Send(std::string_view line) {
    if (!Connected()) {
        return false;
    }
    std::string message(line);
    message.push_back('\n');
    return impl_->socket.SendAll(message.data(), message.size());
}

bool Client::SendRaw(std::string_view bytes) {
    return Connected() && impl_->socket.SendAll(bytes.data(), bytes.size());
}

std::optional<std::string> Client::ReadLine(int timeoutMs) {
    if (!Connected()) {
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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        if (impl_->socket.WaitReadable(static_cast<int>(left.count())) != net::WaitResult::kReady) {
            continue;  // the deadline check ends the wait
        }
        const long long got = impl_->socket.Receive(chunk, sizeof chunk);
        if (got <= 0) {
            return std::nullopt;
        }
        impl_->buffered.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> Client::Query(std::string_view line, int timeoutMs) {
    if (!Send(line)) {
        return std::nullopt;
    }
    return ReadLine(timeoutMs);
}

bool Client::WaitForClose(int timeoutMs) {
    if (!Connected()) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const net::WaitResult wait = impl_->socket.WaitReadable(static_cast<int>(left.count()));
        if (wait == net::WaitResult::kError) {
            return true;
        }
        if (wait == net::WaitResult::kReady && impl_->socket.Receive(chunk, sizeof chunk) <= 0) {
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
