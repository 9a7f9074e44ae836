#include "loopback_server.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace qvz {
namespace testing {
namespace {

constexpr int kPollMs = 50;
// A client that stops reading cannot hold the server thread for longer.
constexpr int kSendTimeoutMs = 2000;

}  // namespace

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = loopback::ListenOnLoopback(&port_);
    try {
        wake_ = loopback::OpenWakeSocket();
    } catch (const std::runtime_error&) {
        loopback::Close(listener_);
        throw;
    }
    thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    for (const Connection& connection : connections_) {
        loopback::Close(connection.socket);
    }
    loopback::Close(listener_);
    loopback::Close(wake_);
}

std::string LoopbackServer::Resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void LoopbackServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void LoopbackServer::SetSilent(bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
}

void LoopbackServer::SetSegmentation(std::size_t segmentBytes, std::chrono::microseconds pause) {
    std::lock_guard<std::mutex> lock(mutex_);
    segmentBytes_ = segmentBytes;
    pause_ = pause;
}

void LoopbackServer::Send(std::string bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(Command{Command::Kind::kSend, std::move(bytes)});
    }
    Wake();
}

void LoopbackServer::CloseConnections() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(Command{Command::Kind::kClose, {}});
    }
    Wake();
}

std::vector<std::string> LoopbackServer::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

int LoopbackServer::ConnectionsAccepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

int LoopbackServer::PeerDisconnects() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peerDisconnects_;
}

bool LoopbackServer::WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

bool LoopbackServer::WaitForConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

bool LoopbackServer::WaitForDisconnect(std::chrono::milliseconds timeout, int count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return peerDisconnects_ >= count; });
}

bool LoopbackServer::WaitForIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return commands_.empty(); });
}

std::uint16_t LoopbackServer::UnusedPort() {
    std::uint16_t port = 0;
    loopback::Close(loopback::ListenOnLoopback(&port));
    return port;
}

void LoopbackServer::Wake() {
    loopback::Wake(wake_);
}

void LoopbackServer::Run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) {
                return;
            }
        }
        std::vector<loopback::PollEntry> entries;
        entries.push_back(loopback::PollEntry{wake_, false});
        entries.push_back(loopback::PollEntry{listener_, false});
        for (const Connection& connection : connections_) {
            entries.push_back(loopback::PollEntry{connection.socket, false});
        }
        if (!loopback::Poll(entries, kPollMs)) {
            return;
        }
        if (entries[0].ready) {
            loopback::DrainWake(wake_);
        }
        RunCommands();
        if (entries[1].ready) {
            AcceptOne();
        }
        // Connections accepted just now were not polled; only the polled ones
        // are read, matched by position.
        for (std::size_t i = 2; i < entries.size(); ++i) {
            if (!entries[i].ready) {
                continue;
            }
            for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                if (it->socket != entries[i].socket) {
                    continue;
                }
                if (!ReadFrom(*it)) {
                    loopback::Close(it->socket);
                    connections_.erase(it);
                    std::lock_guard<std::mutex> lock(mutex_);
                    ++peerDisconnects_;
                    changed_.notify_all();
                }
                break;
            }
        }
    }
}

void LoopbackServer::AcceptOne() {
    const loopback::Handle socket = loopback::Accept(listener_, kSendTimeoutMs);
    if (socket == loopback::kInvalidHandle) {
        return;
    }
    connections_.push_back(Connection{socket, {}});
    std::lock_guard<std::mutex> lock(mutex_);
    ++accepted_;
    changed_.notify_all();
}

bool LoopbackServer::ReadFrom(Connection& connection) {
    char chunk[65536];
    const long long n = loopback::Receive(connection.socket, chunk, sizeof chunk);
    if (n == 0) {
        return false;
    }
    if (n < 0) {
        return n == -1;  // nothing to read after all: the connection lives on
    }
    connection.input.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end = connection.input.find('\n'); end != std::string::npos;
         end = connection.input.find('\n', start)) {
        std::string line = connection.input.substr(start, end + 1 - start);
        start = end + 1;
        Handler handler;
        bool silent = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
            handler = handler_;
            silent = silent_;
            changed_.notify_all();
        }
        if (handler && !silent) {
            std::optional<std::string> reply = handler(line);
            if (reply) {
                SendReply(connection.socket, *reply);
            }
        }
    }
    connection.input.erase(0, start);
    return true;
}

void LoopbackServer::SendReply(loopback::Handle socket, const std::string& bytes) {
    std::size_t segment = 0;
    std::chrono::microseconds pause{0};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        segment = segmentBytes_;
        pause = pause_;
    }
    if (segment == 0) {
        segment = bytes.size();
    }
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (sent > 0 && pause.count() > 0) {
            std::this_thread::sleep_for(pause);
        }
        const std::size_t size = std::min(segment, bytes.size() - sent);
        std::size_t done = 0;
        while (done < size) {
            const std::size_t n = loopback::SendSome(socket, bytes.data() + sent + done, size - done);
            if (n == 0) {
                return;  // the client is gone or stopped reading
            }
            done += n;
        }
        sent += size;
    }
}

void LoopbackServer::RunCommands() {
    for (;;) {
        Command command;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (commands_.empty()) {
                changed_.notify_all();
                return;
            }
            command = std::move(commands_.front());
        }
        if (command.kind == Command::Kind::kSend) {
            if (!connections_.empty()) {
                SendReply(connections_.back().socket, command.bytes);
            }
        } else {
            for (const Connection& connection : connections_) {
                loopback::Close(connection.socket);
            }
            connections_.clear();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.pop_front();
    }
}

}  // namespace testing
}  // namespace qvz
