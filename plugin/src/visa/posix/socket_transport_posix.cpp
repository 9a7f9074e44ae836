// BSD-socket half of the raw-socket transport.
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include "visa/socket_transport.h"

namespace qvz {
namespace visa {
namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer gives EPIPE, not SIGPIPE
#else
constexpr int kSendFlags = 0;
#endif

// viClear drains at most this much per call, so a peer that never stops
// sending cannot hold the caller forever.
constexpr std::size_t kMaxDiscardBytes = std::size_t{64} << 20;

bool IsConnectionLost(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED ||
           error == ETIMEDOUT;
}

// Waits for `events` on `fd` until the deadline. 1: ready, 0: deadline passed,
// -1: poll failed (errno set).
int WaitFor(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd entry{};
        entry.fd = fd;
        entry.events = events;
        const int result = ::poll(&entry, 1, deadline.RemainingMsForPoll());
        if (result >= 0) {
            return result > 0 ? 1 : 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int OpenSocket(const addrinfo& address) {
#if defined(SOCK_CLOEXEC)
    return ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
#else
    const int fd = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return fd;
#endif
}

void ConfigureConnectedSocket(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
#if defined(SO_NOSIGPIPE)
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

// Connects one address; the socket descriptor or -1.
int ConnectOne(const addrinfo& address, const Deadline& deadline) {
    const int fd = OpenSocket(address);
    if (fd < 0) {
        return -1;
    }
    if (!MakeNonBlocking(fd)) {
        ::close(fd);
        return -1;
    }
    int result = ::connect(fd, address.ai_addr, address.ai_addrlen);
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        if (WaitFor(fd, POLLOUT, deadline) == 1) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                result = 0;
            }
        }
    }
    if (result != 0) {
        ::close(fd);
        return -1;
    }
    ConfigureConnectedSocket(fd);
    return fd;
}

class UnixSocketTransport final : public Transport {
public:
    explicit UnixSocketTransport(int fd) : fd_(fd) {}
    ~UnixSocketTransport() override { Shutdown(); }
    UnixSocketTransport(const UnixSocketTransport&) = delete;
    UnixSocketTransport& operator=(const UnixSocketTransport&) = delete;

    ViStatus Write(const char* data, std::size_t size, const Deadline& deadline) override {
        std::size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(fd_, data + sent, size - sent, kSendFlags);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const int ready = WaitFor(fd_, POLLOUT, deadline);
                if (ready == 0) {
                    return VI_ERROR_TMO;
                }
                if (ready < 0) {
                    return VI_ERROR_IO;
                }
                continue;
            }
            return (n < 0 && IsConnectionLost(errno)) ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
        }
        return VI_SUCCESS;
    }

    ViStatus Read(char* buffer, std::size_t capacity, const Deadline& deadline,
                  std::size_t* received) override {
        for (;;) {
            // Try first: input that is already there is taken even when the
            // deadline has passed (a zero timeout still reads what arrived).
            const ssize_t n = ::recv(fd_, buffer, capacity, 0);
            if (n > 0) {
                *received = static_cast<std::size_t>(n);
                return VI_SUCCESS;
            }
            if (n == 0) {
                return VI_ERROR_CONN_LOST;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return IsConnectionLost(errno) ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
            }
            const int ready = WaitFor(fd_, POLLIN, deadline);
            if (ready == 0) {
                return VI_ERROR_TMO;
            }
            if (ready < 0) {
                return VI_ERROR_IO;
            }
        }
    }

    ViStatus DiscardInput() override {
        char scratch[16384];
        std::size_t discarded = 0;
        while (discarded < kMaxDiscardBytes) {
            const ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
            if (n > 0) {
                discarded += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;  // nothing more has arrived, or the peer is gone
            }
        }
        return VI_SUCCESS;
    }

    ViStatus SetAttribute(ViAttr /*attribute*/, ViAttrState /*value*/) override {
        return VI_SUCCESS;  // the session keeps the values; reads honour them
    }

    ViStatus Close() override { return Shutdown() ? VI_SUCCESS : VI_ERROR_IO; }

private:
    // Sends our end of stream first and drops unread input, so that the peer
    // sees an orderly close rather than a reset.
    bool Shutdown() {
        if (fd_ < 0) {
            return true;
        }
        ::shutdown(fd_, SHUT_WR);
        DiscardInput();
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

    int fd_;
};

}  // namespace

ViStatus ConnectTcp(const std::string& host, std::uint16_t port, const Deadline& deadline,
                    std::unique_ptr<Transport>* transport) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));

    addrinfo* addresses = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), service, &hints, &addresses);
    if (resolved != 0) {
        return resolved == EAI_MEMORY ? VI_ERROR_ALLOC : VI_ERROR_RSRC_NFOUND;
    }
    int fd = -1;
    for (const addrinfo* address = addresses; address != nullptr && fd < 0;
         address = address->ai_next) {
        fd = ConnectOne(*address, deadline);
        if (deadline.Expired()) {
            break;
        }
    }
    ::freeaddrinfo(addresses);
    if (fd < 0) {
        return VI_ERROR_RSRC_NFOUND;
    }
    transport->reset(new (std::nothrow) UnixSocketTransport(fd));
    if (!*transport) {
        ::close(fd);
        return VI_ERROR_ALLOC;
    }
    return VI_SUCCESS;
}

}  // namespace visa
}  // namespace qvz
