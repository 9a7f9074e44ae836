#include "raw_peer.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace qvz {
namespace testing {
namespace {

namespace net = qvzsim::net;

// Waits are bounded so that a stop or a hang-up is noticed within this time.
constexpr int kPollMs = 50;

}  // namespace

RawPeer::RawPeer(Handler handler) : handler_(std::move(handler)) {
    std::string error;
    if (!net::Startup(error)) {
        throw std::runtime_error(error);
    }
    if (!net::Listen("127.0.0.1", 0, listener_, port_, error)) {
        net::Cleanup();
        throw std::runtime_error(error);
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

RawPeer::~RawPeer() {
    stop_.store(true);
    listener_.ShutdownBoth();
    acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const std::unique_ptr<Connection>& connection : connections_) {
            connection->socket.ShutdownBoth();
        }
    }
    Reap(true);
    listener_.Close();
    net::Cleanup();
}

std::string RawPeer::Resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void RawPeer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void RawPeer::SetSilent(bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
}

void RawPeer::SetSegmentation(std::size_t segmentBytes, std::chrono::microseconds pause) {
    std::lock_guard<std::mutex> lock(mutex_);
    segmentBytes_ = segmentBytes;
    pause_ = pause;
}

void RawPeer::Send(const std::string& bytes) {
    // Held throughout, so the connection cannot be reaped while it sends.
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    if (!connections_.empty()) {
        SendSegmented(*connections_.back(), bytes);
    }
}

void RawPeer::CloseConnections() {
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const std::unique_ptr<Connection>& connection : connections_) {
            connection->hungUpHere.store(true);
            connection->socket.ShutdownBoth();
        }
    }
    Reap(true);
}

std::vector<std::string> RawPeer::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

int RawPeer::ConnectionsAccepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

int RawPeer::PeerDisconnects() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peerDisconnects_;
}

bool RawPeer::WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

bool RawPeer::WaitForConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

bool RawPeer::WaitForDisconnect(std::chrono::milliseconds timeout, int count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return peerDisconnects_ >= count; });
}

std::uint16_t RawPeer::UnusedPort() {
    std::string error;
    if (!net::Startup(error)) {
        throw std::runtime_error(error);
    }
    net::Socket listener;
    std::uint16_t port = 0;
    const bool bound = net::Listen("127.0.0.1", 0, listener, port, error);
    listener.Close();
    net::Cleanup();
    if (!bound) {
        throw std::runtime_error(error);
    }
    return port;
}

void RawPeer::Count(int& counter) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counter;
    changed_.notify_all();
}

void RawPeer::AcceptLoop() {
    while (!stop_.load()) {
        const net::WaitResult wait = listener_.WaitReadable(kPollMs);
        Reap(false);
        if (stop_.load() || wait != net::WaitResult::kReady) {
            continue;
        }
        net::Socket socket = net::Accept(listener_);
        if (!socket.Valid()) {
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = std::move(socket);
        Connection& ref = *connection;
        {
            std::lock_guard<std::mutex> lock(connectionsMutex_);
            connections_.push_back(std::move(connection));
            ref.thread = std::thread([this, &ref] { Serve(ref); });
        }
        Count(accepted_);
    }
}

void RawPeer::Serve(Connection& connection) {
    std::string input;
    char chunk[65536];
    while (!stop_.load() && !connection.hungUpHere.load()) {
        const net::WaitResult wait = connection.socket.WaitReadable(kPollMs);
        if (wait == net::WaitResult::kTimeout) {
            continue;
        }
        const long long n =
            wait == net::WaitResult::kReady ? connection.socket.Receive(chunk, sizeof chunk) : -1;
        if (n <= 0) {
            if (!stop_.load() && !connection.hungUpHere.load()) {
                Count(peerDisconnects_);
            }
            break;
        }
        input.append(chunk, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end = input.find('\n'); end != std::string::npos;
             end = input.find('\n', start)) {
            Answer(connection, input.substr(start, end + 1 - start));
            start = end + 1;
        }
        input.erase(0, start);
    }
    connection.finished.store(true);
}

void RawPeer::Answer(Connection& connection, const std::string& line) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        changed_.notify_all();
        if (silent_) {
            return;
        }
        handler = handler_;
    }
    if (handler) {
        if (const std::optional<std::string> reply = handler(line)) {
            SendSegmented(connection, *reply);
        }
    }
}

void RawPeer::SendSegmented(Connection& connection, const std::string& bytes) {
    std::size_t segment = 0;
    std::chrono::microseconds pause{0};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        segment = segmentBytes_ == 0 ? bytes.size() : segmentBytes_;
        pause = pause_;
    }
    std::lock_guard<std::mutex> lock(connection.sending);
    for (std::size_t sent = 0; sent < bytes.size() && !stop_.load(); sent += segment) {
        if (sent > 0 && pause.count() > 0) {
            std::this_thread::sleep_for(pause);
        }
        const std::size_t size = std::min(segment, bytes.size() - sent);
        // A client that stops reading holds this thread only until the stop.
        if (!connection.socket.SendAllUnless(bytes.data() + sent, size, stop_, kPollMs)) {
            return;
        }
    }
}

void RawPeer::Reap(bool all) {
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            const auto next = std::next(it);
            if (all || (*it)->finished.load()) {
                done.splice(done.end(), connections_, it);
            }
            it = next;
        }
    }
    // Sockets close only after their thread has ended.
    for (const std::unique_ptr<Connection>& connection : done) {
        connection->thread.join();
    }
}

}  // namespace testing
}  // namespace qvz
