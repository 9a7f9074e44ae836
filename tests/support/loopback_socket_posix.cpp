// POSIX half of loopback_socket.h.
#include "loopback_socket.h"

#include <cerrno>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace qvz {
namespace testing {
namespace loopback {
namespace {

int Fd(Handle socket) {
    return static_cast<int>(socket);
}

Handle ToHandle(int fd) {
    return fd < 0 ? kInvalidHandle : static_cast<Handle>(fd);
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Binds `fd` to 127.0.0.1 at a port the system picks and returns that port.
bool BindToLoopback(int fd, std::uint16_t* port) {
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    *port = ntohs(address.sin_port);
    return true;
}

}  // namespace

Handle ListenOnLoopback(std::uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!BindToLoopback(fd, port) || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    return ToHandle(fd);
}

Handle OpenWakeSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    std::uint16_t port = 0;
    if (!BindToLoopback(fd, &port)) {
        ::close(fd);
        throw std::runtime_error("cannot bind the wake-up socket");
    }
    const sockaddr_in self = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect the wake-up socket");
    }
    return ToHandle(fd);
}

void Wake(Handle wakeSocket) {
    const char byte = 1;
    // A full buffer already holds a wake-up; nothing is lost when this fails.
    [[maybe_unused]] const ssize_t sent = ::send(Fd(wakeSocket), &byte, 1, 0);
}

void DrainWake(Handle wakeSocket) {
    char drain[64];
    while (::recv(Fd(wakeSocket), drain, sizeof drain, 0) > 0) {
    }
}

Handle Accept(Handle listener, int sendTimeoutMs) {
    const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return kInvalidHandle;
    }
    timeval limit{};
    limit.tv_sec = sendTimeoutMs / 1000;
    limit.tv_usec = (sendTimeoutMs % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return ToHandle(fd);
}

long long Receive(Handle socket, char* buffer, std::size_t size) {
    const ssize_t n = ::recv(Fd(socket), buffer, size, MSG_DONTWAIT);
    if (n >= 0) {
        return n;
    }
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? -1 : -2;
}

std::size_t SendSome(Handle socket, const char* data, std::size_t size) {
    const ssize_t n = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void Close(Handle socket) {
    if (socket != kInvalidHandle) {
        ::close(Fd(socket));
    }
}

bool Poll(std::vector<PollEntry>& entries, int timeoutMs) {
    std::vector<pollfd> fds;
    fds.reserve(entries.size());
    for (const PollEntry& entry : entries) {
        fds.push_back(pollfd{Fd(entry.socket), POLLIN, 0});
    }
    const int result = ::poll(fds.data(), fds.size(), timeoutMs);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].ready = result > 0 && fds[i].revents != 0;
    }
    return result >= 0 || errno == EINTR;
}

}  // namespace loopback
}  // namespace testing
}  // namespace qvz
