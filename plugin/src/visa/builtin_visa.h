// The built-in VISA library: socket resource names, sessions with their
// attributes and buffered input, and formatted I/O over the Transport that a
// Backend (backend.h) opens for each session.
#ifndef QVZ_VISA_BUILTIN_VISA_H
#define QVZ_VISA_BUILTIN_VISA_H

#include <memory>
#include <string>
#include <utility>

#include "visa/backend.h"
#include "visa/message_reader.h"
#include "visa/resource_name.h"
#include "visa/session.h"
#include "visa/visa.h"
#include "visa/visa_library.h"

namespace qvz {
namespace visa {

constexpr ViUInt32 kDefaultTimeoutMs = 2000;

struct InstrumentAttributes {
    ViUInt32 timeoutMs = kDefaultTimeoutMs;
    bool termCharEnabled = false;  // raw sockets start without one, as in VISA
    ViUInt8 termChar = '\n';
};

// A session of the built-in library. Everything but the constants is guarded
// by `io`.
struct BuiltInSession final : Session {
    BuiltInSession(Kind kind_, ViSession parent_, std::shared_ptr<VisaLibrary> library_,
                   std::shared_ptr<Backend> backend_)
        : Session(kind_, parent_, std::move(library_)), backend(std::move(backend_)) {}

    const std::shared_ptr<Backend> backend;  // the one it was opened with

    std::unique_ptr<Transport> transport;  // null once closed, or while the connection is lost
    InstrumentAttributes attributes;
    MessageReader reader;

    // What viOpen connected to: a backend that reconnects on a device clear
    // opens it again.
    SocketResource resource;
    std::string resourceText;
    // The reconnect of a device clear failed: there is no transport, every
    // operation tries to reconnect once and otherwise gives
    // VI_ERROR_CONN_LOST.
    bool connectionLost = false;
};

// The built-in library (one instance per process). Resource managers and
// sessions are opened through the backend in force at the time
// (CurrentBackend()).
std::shared_ptr<VisaLibrary> BuiltInVisa();

}  // namespace visa
}  // namespace qvz

#endif
