// The handful of socket calls the loopback test server makes, with a POSIX
// half (loopback_socket_posix.cpp) and a Winsock half (loopback_socket_win.cpp)
// so that the socket tests run on both.
#ifndef QVZ_TESTING_LOOPBACK_SOCKET_H
#define QVZ_TESTING_LOOPBACK_SOCKET_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvz {
namespace testing {
namespace loopback {

// Wide enough for a POSIX descriptor and for a Winsock SOCKET.
using Handle = std::uintptr_t;
constexpr Handle kInvalidHandle = ~Handle{0};

// A TCP socket listening on 127.0.0.1 at a port the system picks; throws
// std::runtime_error when there is none.
Handle ListenOnLoopback(std::uint16_t* port);

// A UDP socket on 127.0.0.1 connected to itself: what Wake() sends to it
// makes a Poll() that includes it return. Throws std::runtime_error.
Handle OpenWakeSocket();
void Wake(Handle wakeSocket);
void DrainWake(Handle wakeSocket);

// Takes one pending connection; sends on it give up after `sendTimeoutMs`
// when the client stops reading. kInvalidHandle when there was none.
Handle Accept(Handle listener, int sendTimeoutMs);

// Reads what has arrived (call after Poll() reported the socket):
// > 0 bytes read, 0 the peer closed its end, -1 nothing after all (try
// again later), -2 the connection failed.
long long Receive(Handle socket, char* buffer, std::size_t size);

// Sends some of `data`: the bytes sent (> 0), or 0 when the connection
// failed or the send timed out.
std::size_t SendSome(Handle socket, const char* data, std::size_t size);

void Close(Handle socket);

struct PollEntry {
    Handle socket;
    bool ready;  // out: readable, closed or failed
};

// Waits up to `timeoutMs` for any entry to become ready. False when waiting
// itself failed.
bool Poll(std::vector<PollEntry>& entries, int timeoutMs);

}  // namespace loopback
}  // namespace testing
}  // namespace qvz

#endif
