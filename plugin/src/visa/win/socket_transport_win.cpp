// Winsock half of the raw-socket transport.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "visa/socket_transport.h"

namespace qvz {
namespace visa {
namespace {

constexpr std::size_t kMaxDiscardBytes = std::size_t{64} << 20;
// One send or recv call takes an int length.
constexpr std::size_t kMaxChunk = static_cast<std::size_t>(INT_MAX);

// Winsock is started once and left running: it is reference-counted by the
// system and torn down with the process.
bool StartWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

bool IsConnectionLost(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN ||
           error == WSAESHUTDOWN || error == WSAENETRESET || error == WSAETIMEDOUT;
}

enum class WaitKind { kRead, kWrite, kConnect };

// select() rather than WSAPoll: WSAPoll does not report failed connects on
// older Windows. One socket per set, so FD_SETSIZE is no concern. The
// exception set means "connect failed" only while connecting.
// 1: ready, 0: deadline passed, -1: failure.
int WaitFor(SOCKET socket, WaitKind kind, const Deadline& deadline) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    const int remaining = deadline.RemainingMsForPoll();
    timeval limit{};
    timeval* limitPointer = nullptr;
    if (remaining >= 0) {
        limit.tv_sec = remaining / 1000;
        limit.tv_usec = (remaining % 1000) * 1000;
        limitPointer = &limit;
    }
    const bool forRead = kind == WaitKind::kRead;
    const bool connecting = kind == WaitKind::kConnect;
    const int result = ::select(0, forRead ? &ready : nullptr, forRead ? nullptr : &ready,
                                connecting ? &failed : nullptr, limitPointer);
    if (result == SOCKET_ERROR) {
        return -1;
    }
    if (result == 0) {
        return 0;
    }
    return (connecting && FD_ISSET(socket, &failed)) ? -1 : 1;
}

SOCKET ConnectOne(const addrinfo& address, const Deadline& deadline) {
    SOCKET socket = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (socket == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    // FIONBIO is an unsigned constant with the top bit set; the call takes a long.
    if (::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
        ::closesocket(socket);
        return INVALID_SOCKET;
    }
    bool connected = ::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0;
    if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        if (WaitFor(socket, WaitKind::kConnect, deadline) == 1) {
            int error = 0;
            int length = sizeof error;
            connected = ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                     &length) == 0 &&
                        error == 0;
        }
    }
    if (!connected) {
        ::closesocket(socket);
        return INVALID_SOCKET;
    }
    BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return socket;
}

class WinSocketTransport final : public Transport {
public:
    explicit WinSocketTransport(SOCKET socket) : socket_(socket) {}
    ~WinSocketTransport() override { Shutdown(); }
    WinSocketTransport(const WinSocketTransport&) = delete;
    WinSocketTransport& operator=(const WinSocketTransport&) = delete;

    ViStatus Write(const char* data, std::size_t size, const Deadline& deadline) override {
        std::size_t sent = 0;
        while (sent < size) {
            const std::size_t chunk = size - sent < kMaxChunk ? size - sent : kMaxChunk;
            const int n = ::send(socket_, data + sent, static_cast<int>(chunk), 0);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            const int error = ::WSAGetLastError();
            if (n == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
                const int ready = WaitFor(socket_, WaitKind::kWrite, deadline);
                if (ready == 0) {
                    return VI_ERROR_TMO;
                }
                if (ready < 0) {
                    return VI_ERROR_IO;
                }
                continue;
            }
            return IsConnectionLost(error) ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
        }
        return VI_SUCCESS;
    }

    ViStatus Read(char* buffer, std::size_t capacity, const Deadline& deadline,
                  std::size_t* received) override {
        const int length = static_cast<int>(capacity < kMaxChunk ? capacity : kMaxChunk);
        for (;;) {
            const int n = ::recv(socket_, buffer, length, 0);
            if (n > 0) {
                *received = static_cast<std::size_t>(n);
                return VI_SUCCESS;
            }
            if (n == 0) {
                return VI_ERROR_CONN_LOST;
            }
            const int error = ::WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                return IsConnectionLost(error) ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
            }
            const int ready = WaitFor(socket_, WaitKind::kRead, deadline);
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
            const int n = ::recv(socket_, scratch, static_cast<int>(sizeof scratch), 0);
            if (n <= 0) {
                break;  // nothing more has arrived, or the peer is gone
            }
            discarded += static_cast<std::size_t>(n);
        }
        return VI_SUCCESS;
    }

    ViStatus SetAttribute(ViAttr /*attribute*/, ViAttrState /*value*/) override {
        return VI_SUCCESS;
    }

    ViStatus Close() override { return Shutdown() ? VI_SUCCESS : VI_ERROR_IO; }

private:
    bool Shutdown() {
        if (socket_ == INVALID_SOCKET) {
            return true;
        }
        ::shutdown(socket_, SD_SEND);
        DiscardInput();
        const bool closed = ::closesocket(socket_) == 0;
        socket_ = INVALID_SOCKET;
        return closed;
    }

    SOCKET socket_;
};

}  // namespace

ViStatus ConnectTcp(const std::string& host, std::uint16_t port, const Deadline& deadline,
                    std::unique_ptr<Transport>* transport) {
    if (!StartWinsock()) {
        return VI_ERROR_IO;
    }
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
    SOCKET socket = INVALID_SOCKET;
    for (const addrinfo* address = addresses; address != nullptr && socket == INVALID_SOCKET;
         address = address->ai_next) {
        socket = ConnectOne(*address, deadline);
        if (deadline.Expired()) {
            break;
        }
    }
    ::freeaddrinfo(addresses);
    if (socket == INVALID_SOCKET) {
        return VI_ERROR_RSRC_NFOUND;
    }
    transport->reset(new (std::nothrow) WinSocketTransport(socket));
    if (!*transport) {
        ::closesocket(socket);
        return VI_ERROR_ALLOC;
    }
    return VI_SUCCESS;
}

}  // namespace visa
}  // namespace qvz
