// Winsock half of loopback_socket.h.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>
#include <stdexcept>

#include "loopback_socket.h"

namespace qvz {
namespace testing {
namespace loopback {
namespace {

SOCKET Native(Handle socket) {
    return static_cast<SOCKET>(socket);
}

Handle ToHandle(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidHandle : static_cast<Handle>(socket);
}

// Winsock stays started for the rest of the test program.
void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            throw std::runtime_error("WSAStartup failed");
        }
    });
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool BindToLoopback(SOCKET socket, std::uint16_t* port) {
    sockaddr_in address = LoopbackAddress(0);
    int length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    *port = ntohs(address.sin_port);
    return true;
}

int ClampToInt(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

Handle ListenOnLoopback(std::uint16_t* port) {
    StartWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        throw std::runtime_error("socket() failed");
    }
    // No SO_REUSEADDR: on Windows it would let another socket take the port.
    if (!BindToLoopback(socket, port) || ::listen(socket, 16) != 0) {
        ::closesocket(socket);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    return ToHandle(socket);
}

Handle OpenWakeSocket() {
    StartWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        throw std::runtime_error("socket() failed");
    }
    u_long nonBlocking = 1;
    std::uint16_t port = 0;
    bool ready = ::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking) == 0 &&
                 BindToLoopback(socket, &port);
    if (ready) {
        const sockaddr_in self = LoopbackAddress(port);
        ready = ::connect(socket, reinterpret_cast<const sockaddr*>(&self), sizeof self) == 0;
    }
    if (!ready) {
        ::closesocket(socket);
        throw std::runtime_error("cannot set up the wake-up socket");
    }
    return ToHandle(socket);
}

void Wake(Handle wakeSocket) {
    const char byte = 1;
    // A full buffer already holds a wake-up; nothing is lost when this fails.
    ::send(Native(wakeSocket), &byte, 1, 0);
}

void DrainWake(Handle wakeSocket) {
    char drain[64];
    while (::recv(Native(wakeSocket), drain, sizeof drain, 0) > 0) {
    }
}

Handle Accept(Handle listener, int sendTimeoutMs) {
    const SOCKET socket = ::accept(Native(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        return kInvalidHandle;
    }
    const DWORD limit = static_cast<DWORD>(sendTimeoutMs);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                 sizeof limit);
    return ToHandle(socket);
}

long long Receive(Handle socket, char* buffer, std::size_t size) {
    // The socket blocks, but Poll() said input or the end of it is there.
    const int n = ::recv(Native(socket), buffer, ClampToInt(size), 0);
    if (n >= 0) {
        return n;
    }
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? -1 : -2;
}

std::size_t SendSome(Handle socket, const char* data, std::size_t size) {
    const int n = ::send(Native(socket), data, ClampToInt(size), 0);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void Close(Handle socket) {
    if (socket != kInvalidHandle) {
        ::closesocket(Native(socket));
    }
}

bool Poll(std::vector<PollEntry>& entries, int timeoutMs) {
    std::vector<WSAPOLLFD> fds;
    fds.reserve(entries.size());
    for (const PollEntry& entry : entries) {
        WSAPOLLFD fd{};
        fd.fd = Native(entry.socket);
        fd.events = POLLRDNORM;
        fds.push_back(fd);
    }
    const int result = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].ready = result > 0 && fds[i].revents != 0;
    }
    return result != SOCKET_ERROR;
}

}  // namespace loopback
}  // namespace testing
}  // namespace qvz
