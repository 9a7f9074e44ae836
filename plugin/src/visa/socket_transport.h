// The raw-socket transport of the built-in backend. One interface, two
// platform halves: posix/ (BSD sockets and poll) and win/ (Winsock).
#ifndef QVZ_VISA_SOCKET_TRANSPORT_H
#define QVZ_VISA_SOCKET_TRANSPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "visa/backend.h"

namespace qvz {
namespace visa {

// How long viOpen may wait for a TCP connection. VISA's open timeout is about
// locks, not connections, so the connect gets its own bound.
constexpr ViUInt32 kConnectTimeoutMs = 3000;

// Resolves `host` and connects to `port` before `deadline`, trying each
// address the resolver gives. The socket is non-blocking with TCP_NODELAY set,
// so a command never waits on Nagle before its reply. A refused connection,
// an unknown host or no answer in time give VI_ERROR_RSRC_NFOUND.
ViStatus ConnectTcp(const std::string& host, std::uint16_t port, const Deadline& deadline,
                    std::unique_ptr<Transport>* transport);

}  // namespace visa
}  // namespace qvz

#endif
