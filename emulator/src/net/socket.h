// The few socket operations the emulator needs, behind one interface: the
// POSIX implementation lives in net/posix, the Winsock one in net/win. Only
// these files include system socket headers.
#ifndef QVZSIM_NET_SOCKET_H
#define QVZSIM_NET_SOCKET_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qvzsim {
namespace net {

// Wide enough for a POSIX descriptor and for a Winsock SOCKET.
using NativeSocket = std::uintptr_t;
constexpr NativeSocket kInvalidSocket = ~NativeSocket{0};

enum class WaitResult { kReady, kTimeout, kError };

// Process-wide setup of the socket library (WSAStartup on Windows);
// reference counted, so every successful Startup needs one Cleanup.
bool Startup(std::string& error);
void Cleanup();

// An owned socket; closed by the destructor.
class Socket {
public:
    Socket() = default;
    explicit Socket(NativeSocket handle) : handle_(handle) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalidSocket; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Valid() const { return handle_ != kInvalidSocket; }
    NativeSocket Native() const { return handle_; }
    void Close();

    // Waits until data (or the end of the stream) can be read.
    WaitResult WaitReadable(int timeoutMs) const;
    // Bytes received (> 0), 0 when the peer closed, < 0 on error.
    long long Receive(char* buffer, std::size_t size) const;
    // Sends everything; false on error.
    bool SendAll(const char* data, std::size_t size) const;
    // Sends everything unless `stop` turns true first (looked at every
    // `pollMs` while the peer reads nothing); false on error or when stopped.
    // A client that stops reading cannot hold the caller.
    bool SendAllUnless(const char* data, std::size_t size, const std::atomic<bool>& stop,
                       int pollMs) const;
    // Ends both directions; a thread waiting on the socket wakes up. The
    // handle stays open until close().
    void ShutdownBoth() const;
    // Small replies leave at once instead of waiting for more data.
    void SetNoDelay() const;

private:
    NativeSocket handle_ = kInvalidSocket;
};

// Resolves `host` (numeric or a name) and binds a listening socket to it,
// with the longest backlog the system allows, so that a burst of clients
// is never left to TCP's retries.
bool Listen(const std::string& host, std::uint16_t port, Socket& listener, std::uint16_t& boundPort,
            std::string& error);

// Takes one pending connection (call after waitReadable said kReady).
Socket Accept(const Socket& listener);

// Connects to `host`:`port`.
bool Connect(const std::string& host, std::uint16_t port, Socket& socket, std::string& error);

}  // namespace net
}  // namespace qvzsim

#endif
