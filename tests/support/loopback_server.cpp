#include "loopback_server.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace qvz {
namespace testing {
namespace {

constexpr int kPollMs = 50;
// A client that stops reading cannot hold the server thread for longer.
constexpr int kSendTimeoutSeconds = 2;

int ListenOnLoopback(std::uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ListenOnLoopback(&port_);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("pipe2() failed");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
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
        ::close(connection.fd);
    }
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

std::string LoopbackServer::resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void LoopbackServer::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void LoopbackServer::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
}

void LoopbackServer::setSegmentation(std::size_t segmentBytes, std::chrono::microseconds pause) {
    std::lock_guard<std::mutex> lock(mutex_);
    segmentBytes_ = segmentBytes;
    pause_ = pause;
}

void LoopbackServer::send(std::string bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(Command{Command::Kind::kSend, std::move(bytes)});
    }
    Wake();
}

void LoopbackServer::closeConnections() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(Command{Command::Kind::kClose, {}});
    }
    Wake();
}

std::vector<std::string> LoopbackServer::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

int LoopbackServer::connectionsAccepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

int LoopbackServer::peerDisconnects() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peerDisconnects_;
}

bool LoopbackServer::waitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

bool LoopbackServer::waitForConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

bool LoopbackServer::waitForDisconnect(std::chrono::milliseconds timeout, int count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return peerDisconnects_ >= count; });
}

bool LoopbackServer::waitForIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return commands_.empty(); });
}

std::uint16_t LoopbackServer::UnusedPort() {
    std::uint16_t port = 0;
    const int fd = ListenOnLoopback(&port);
    ::close(fd);
    return port;
}

void LoopbackServer::Wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost when this fails.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &byte, 1);
}

void LoopbackServer::Run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) {
                return;
            }
        }
        std::vector<pollfd> fds;
        fds.push_back(pollfd{wakeRead_, POLLIN, 0});
        fds.push_back(pollfd{listenFd_, POLLIN, 0});
        for (const Connection& connection : connections_) {
            fds.push_back(pollfd{connection.fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), kPollMs) < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        RunCommands();
        if ((fds[1].revents & POLLIN) != 0) {
            AcceptOne();
        }
        // Connections accepted just now were not polled; only the polled ones
        // are read, matched by position.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                if (it->fd != fds[i].fd) {
                    continue;
                }
                if (!ReadFrom(*it)) {
                    ::close(it->fd);
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
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    timeval limit{};
    limit.tv_sec = kSendTimeoutSeconds;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    connections_.push_back(Connection{fd, {}});
    std::lock_guard<std::mutex> lock(mutex_);
    ++accepted_;
    changed_.notify_all();
}

bool LoopbackServer::ReadFrom(Connection& connection) {
    char chunk[65536];
    const ssize_t n = ::recv(connection.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) {
        return false;
    }
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
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
                SendReply(connection.fd, *reply);
            }
        }
    }
    connection.input.erase(0, start);
    return true;
}

void LoopbackServer::SendReply(int fd, const std::string& bytes) {
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
            const ssize_t n = ::send(fd, bytes.data() + sent + done, size - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return;  // the client is gone or stopped reading
            }
            done += static_cast<std::size_t>(n);
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
                SendReply(connections_.back().fd, command.bytes);
            }
        } else {
            for (const Connection& connection : connections_) {
                ::close(connection.fd);
            }
            connections_.clear();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.pop_front();
    }
}

}  // namespace testing
}  // namespace qvz
