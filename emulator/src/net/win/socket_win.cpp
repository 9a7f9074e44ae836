// Winsock sockets.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "net/socket.h"
#include "qvzsim/endpoint.h"

namespace qvzsim {
namespace net {
namespace {

SOCKET Sock(NativeSocket handle) {
    return static_cast<SOCKET>(handle);
}
NativeSocket Handle(SOCKET s) {
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<NativeSocket>(s);
}

std::mutex startupMutex;
int startupCount = 0;

std::string WsaText(const std::string& what) {
    return what + ": Winsock error " + std::to_string(::WSAGetLastError());
}

// FIONBIO is built as an unsigned long; ioctlsocket takes a long.
const long kNonBlockingCommand = static_cast<long>(FIONBIO);

// Winsock takes int lengths: large buffers go in slices.
int Slice(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
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
        error = "cannot resolve " + host + ": Winsock error " + std::to_string(rc);
        return false;
    }
    return true;
}

}  // namespace

bool Startup(std::string& error) {
    std::lock_guard<std::mutex> lock(startupMutex);
    if (startupCount == 0) {
        WSADATA data;
        int rc = ::WSAStartup(0x0202, &data);  // version 2.2
        if (rc != 0) {
            error = "WSAStartup failed: " + std::to_string(rc);
            return false;
        }
    }
    ++startupCount;
    return true;
}

void Cleanup() {
    std::lock_guard<std::mutex> lock(startupMutex);
    if (startupCount > 0 && --startupCount == 0) {
        ::WSACleanup();
    }
}

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
        ::closesocket(Sock(handle_));
        handle_ = kInvalidSocket;
    }
}

WaitResult Socket::WaitReadable(int timeoutMs) const {
    // One socket: fill the set by hand rather than through the FD_ macros.
    fd_set readable;
    readable.fd_count = 1;
    readable.fd_array[0] = Sock(handle_);
    timeval limit;
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    int rc = ::select(0, &readable, nullptr, nullptr, &limit);
    if (rc > 0) {
        return WaitResult::kReady;
    }
    return rc == 0 ? WaitResult::kTimeout : WaitResult::kError;
}

long long Socket::Receive(char* buffer, std::size_t size) const {
    int got = ::recv(Sock(handle_), buffer, Slice(size), 0);
    return got == SOCKET_ERROR ? -1 : static_cast<long long>(got);
}

bool Socket::SendAll(const char* data, std::size_t size) const {
    while (size > 0) {
        int sent = ::send(Sock(handle_), data, Slice(size), 0);
        if (sent == SOCKET_ERROR) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool Socket::SendAllUnless(const char* data, std::size_t size, const std::atomic<bool>& stop,
                           int pollMs) const {
    // Non-blocking for the while: a blocking send to a peer that reads
    // nothing would not return, and shutdown() from another thread is not
    // sure to wake it.
    const SOCKET s = Sock(handle_);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, kNonBlockingCommand, &nonBlocking) == SOCKET_ERROR) {
        return false;
    }
    bool sentAll = true;
    while (size > 0) {
        if (stop.load()) {
            sentAll = false;
            break;
        }
        int sent = ::send(s, data, Slice(size), 0);
        if (sent == SOCKET_ERROR) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) {
                sentAll = false;
                break;
            }
            fd_set writable;
            writable.fd_count = 1;
            writable.fd_array[0] = s;
            timeval limit;
            limit.tv_sec = pollMs / 1000;
            limit.tv_usec = (pollMs % 1000) * 1000;
            if (::select(0, nullptr, &writable, nullptr, &limit) == SOCKET_ERROR) {
                sentAll = false;
                break;
            }
            continue;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    u_long blocking = 0;
    ::ioctlsocket(s, kNonBlockingCommand, &blocking);
    return sentAll;
}

void Socket::ShutdownBoth() const {
    if (Valid()) {
        ::shutdown(Sock(handle_), SD_BOTH);
    }
}

void Socket::SetNoDelay() const {
    BOOL one = TRUE;
    ::setsockopt(Sock(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
}

bool Listen(const std::string& host, std::uint16_t port, Socket& listener, std::uint16_t& boundPort,
            std::string& error) {
    AddressList addresses;
    if (!Resolve(host, port, true, addresses, error)) {
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) {
        SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            error = WsaText("socket");
            continue;
        }
        Socket candidate(Handle(s));
        // On Windows SO_REUSEADDR would let another program take the port
        // over; exclusive use is what keeps the emulator's port its own.
        BOOL one = TRUE;
        ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
                     sizeof one);
        if (::bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
            error = WsaText("bind to " + qvzsim::FormatEndpoint(host, port));
            continue;
        }
        if (::listen(s, SOMAXCONN) == SOCKET_ERROR) {
            error = WsaText("listen");
            continue;
        }
        sockaddr_storage bound;
        int length = static_cast<int>(sizeof bound);
        if (::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == SOCKET_ERROR) {
            error = WsaText("getsockname");
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
    return Socket(Handle(::accept(Sock(listener.Native()), nullptr, nullptr)));
}

bool Connect(const std::string& host, std::uint16_t port, Socket& socket, std::string& error) {
    AddressList addresses;
    if (!Resolve(host, port, false, addresses, error)) {
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) {
        SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            error = WsaText("socket");
            continue;
        }
        Socket candidate(Handle(s));
        if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
            error = WsaText("connect to " + qvzsim::FormatEndpoint(host, port));
            continue;
        }
        candidate.SetNoDelay();
        socket = std::move(candidate);
        error.clear();
        return true;
    }
    return false;
}

}  // namespace net
}  // namespace qvzsim
