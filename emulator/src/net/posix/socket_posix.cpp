// POSIX sockets.
#include "net/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "qvzsim/endpoint.h"

namespace qvzsim {
namespace net {
namespace {

int Fd(NativeSocket handle) {
    return static_cast<int>(handle);
}
NativeSocket Handle(int fd) {
    return fd < 0 ? kInvalidSocket : static_cast<NativeSocket>(fd);
}

// A peer that has gone must not kill the process with SIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

void SuppressSigpipe(int fd) {
#ifdef SO_NOSIGPIPE
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#else
    (void)fd;
#endif
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) {
            ::freeaddrinfo(head);
        }
    }
};

bool Resolve(const std::string& host, std::uint16_t port, bool passive, AddressList& list,
             std::string& error) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    const std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list.head);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return false;
    }
    return true;
}

int OpenSocket(const addrinfo& address) {
#ifdef SOCK_CLOEXEC
    return ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
#else
    int fd = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return fd;
#endif
}

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

bool Startup(std::string& /*error*/) {
    return true;
}
void Cleanup() {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kInvalidSocket;
    }
    return *this;
}

void Socket::Close() {
    if (Valid()) {
        ::close(Fd(handle_));
        handle_ = kInvalidSocket;
    }
}

WaitResult Socket::WaitReadable(int timeoutMs) const {
    pollfd entry;
    entry.fd = Fd(handle_);
    entry.events = POLLIN;
    entry.revents = 0;
    int rc = ::poll(&entry, 1, timeoutMs);
    if (rc > 0) {
        // Hang-ups and errors are "readable" too: the read reports them.
        return WaitResult::kReady;
    }
    if (rc == 0 || errno == EINTR) {
        return WaitResult::kTimeout;
    }
    return WaitResult::kError;
}

long long Socket::Receive(char* buffer, std::size_t size) const {
    for (;;) {
        ssize_t got = ::recv(Fd(handle_), buffer, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long long>(got);
    }
}

bool Socket::SendAll(const char* data, std::size_t size) const {
    while (size > 0) {
        ssize_t sent = ::send(Fd(handle_), data, size, kSendFlags);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool Socket::SendAllUnless(const char* data, std::size_t size, const std::atomic<bool>& stop,
                           int pollMs) const {
    while (size > 0) {
        if (stop.load()) {
            return false;
        }
        ssize_t sent = ::send(Fd(handle_), data, size, kSendFlags | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
            pollfd entry;
            entry.fd = Fd(handle_);
            entry.events = POLLOUT;
            entry.revents = 0;
            if (::poll(&entry, 1, pollMs) < 0 && errno != EINTR) {
                return false;
            }
            continue;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void Socket::ShutdownBoth() const {
    if (Valid()) {
        ::shutdown(Fd(handle_), SHUT_RDWR);
    }
}

void Socket::SetNoDelay() const {
    int one = 1;
    ::setsockopt(Fd(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool Listen(const std::string& host, std::uint16_t port, Socket& listener, std::uint16_t& boundPort,
            std::string& error) {
    AddressList addresses;
    if (!Resolve(host, port, true, addresses, error)) {
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) {
        int fd = OpenSocket(*a);
        if (fd < 0) {
            error = ErrnoText("socket");
            continue;
        }
        Socket candidate(Handle(fd));
        // A restarted emulator can take its port back while old connections
        // linger in TIME_WAIT.
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = ErrnoText(("bind to " + qvzsim::FormatEndpoint(host, port)).c_str());
            continue;
        }
        if (::listen(fd, SOMAXCONN) != 0) {
            error = ErrnoText("listen");
            continue;
        }
        sockaddr_storage bound;
        socklen_t length = sizeof bound;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
            error = ErrnoText("getsockname");
            continue;
        }
        if (bound.ss_family == AF_INET6) {
            boundPort = ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
        } else {
            boundPort = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        }
        listener = std::move(candidate);
        error.clear();
        return true;
    }
    return false;
}

Socket Accept(const Socket& listener) {
    for (;;) {
        int fd = ::accept(Fd(listener.Native()), nullptr, nullptr);
        if (fd < 0 && errno == EINTR) {
            continue;
        }
        if (fd >= 0) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            SuppressSigpipe(fd);
        }
        return Socket(Handle(fd));
    }
}

bool Connect(const std::string& host, std::uint16_t port, Socket& socket, std::string& error) {
    AddressList addresses;
    if (!Resolve(host, port, false, addresses, error)) {
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) {
        int fd = OpenSocket(*a);
        if (fd < 0) {
            error = ErrnoText("socket");
            continue;
        }
        Socket candidate(Handle(fd));
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = ErrnoText(("connect to " + qvzsim::FormatEndpoint(host, port)).c_str());
            continue;
        }
        SuppressSigpipe(fd);
        candidate.SetNoDelay();
        socket = std::move(candidate);
        error.clear();
        return true;
    }
    return false;
}

}  // namespace net
}  // namespace qvzsim
