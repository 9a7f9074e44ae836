// One open VISA session: a resource manager, or an instrument connection with
// its attributes and its buffered input. A session opened through the host's
// installed VISA library holds that library's own handle instead and has
// every call forwarded there.
#ifndef QVZ_VISA_SESSION_H
#define QVZ_VISA_SESSION_H

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "visa/backend.h"
#include "visa/installed_visa.h"
#include "visa/message_reader.h"
#include "visa/visa.h"

namespace qvz {
namespace visa {

constexpr ViUInt32 kDefaultTimeoutMs = 2000;

struct InstrumentAttributes {
    ViUInt32 timeoutMs = kDefaultTimeoutMs;
    bool termCharEnabled = false;  // raw sockets start without one, as in VISA
    ViUInt8 termChar = '\n';
};

struct Session {
    enum class Kind { kResourceManager, kInstrument };

    Session(Kind kind_, ViSession parent_, std::shared_ptr<Backend> backend_)
        : kind(kind_), parent(parent_), backend(std::move(backend_)) {}

    const Kind kind;
    const ViSession parent;  // the resource manager of an instrument session
    const std::shared_ptr<Backend> backend;  // null for an installed-library session

    // Held for each operation on the session: one thread at a time does I/O,
    // and a close waits for the operation in progress to end.
    std::mutex io;
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

    // Set before the session is registered when it belongs to the installed
    // library (which stays loaded while the session lives). The library's
    // handle is guarded by `io` and becomes VI_NULL once closed, so a call
    // never reaches a handle the library may have given out again.
    std::shared_ptr<const InstalledVisa> installed;
    ViSession installedHandle = VI_NULL;
};

}  // namespace visa
}  // namespace qvz

#endif
