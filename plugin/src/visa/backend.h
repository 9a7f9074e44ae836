// The seam under the built-in VISA library (builtin_visa.h). Its
// formatted-I/O engine, sessions and attributes sit above it and are the same
// for every backend; below it a Backend opens per-session byte transports.
// The socket backend connects TCP sockets; tests plug in a scripted
// in-process instrument.
#ifndef QVZ_VISA_BACKEND_H
#define QVZ_VISA_BACKEND_H

#include <cstddef>
#include <memory>

#include "visa/deadline.h"
#include "visa/resource_name.h"
#include "visa/visa.h"

namespace qvz {
namespace visa {

// One instrument connection, used by one thread at a time (the session
// serialises its calls). Statuses follow VISA: negative is a failure, zero
// or positive (a completion code) is success.
class Transport {
public:
    virtual ~Transport() = default;  // releases the connection without ceremony

    // Sends all `size` bytes as one message before `deadline`.
    virtual ViStatus Write(const char* data, std::size_t size, const Deadline& deadline) = 0;

    // Waits until input is there or the deadline passes, then stores between
    // 1 and `capacity` bytes and their count. VI_ERROR_TMO when nothing came,
    // VI_ERROR_CONN_LOST when the peer closed the connection.
    virtual ViStatus Read(char* buffer, std::size_t capacity, const Deadline& deadline,
                          std::size_t* received) = 0;

    // viClear: drops every input byte that has already arrived, without
    // waiting for more.
    virtual ViStatus DiscardInput() = 0;

    // Drops input that has arrived unasked, right before a query's command
    // goes out (nothing that came before the command can be its answer).
    // Never waits. A transport whose DiscardInput does more than drop local
    // input (clears the instrument too) overrides this.
    virtual ViStatus DropStaleInput() { return DiscardInput(); }

    // Told of every attribute the session accepted; a negative result refuses
    // the new value.
    virtual ViStatus SetAttribute(ViAttr attribute, ViAttrState value) = 0;

    // viClose of this session. The object is destroyed afterwards either way.
    virtual ViStatus Close() = 0;

protected:
    Transport() = default;
    Transport(const Transport&) = default;
    Transport& operator=(const Transport&) = default;
};

class Backend {
public:
    virtual ~Backend() = default;

    // viOpenDefaultRM and viClose of a resource-manager session.
    virtual ViStatus OpenDefaultRM() = 0;
    virtual ViStatus CloseDefaultRM() = 0;

    // viOpen of a resource whose name already parsed as a socket resource
    // (`text` is the name as the caller gave it). On success (>= 0) stores a
    // transport in `*transport`.
    virtual ViStatus Open(const SocketResource& resource, const char* text,
                          std::unique_ptr<Transport>* transport) = 0;

    // True when viClear ends the session's connection and opens a new one to
    // the same resource, so that bytes of an exchange that timed out (a
    // reply still on its way) can never be read as a later answer. Otherwise
    // viClear drops the input that has arrived.
    virtual bool ReconnectsOnClear() const { return false; }

protected:
    Backend() = default;
    Backend(const Backend&) = default;
    Backend& operator=(const Backend&) = default;
};

// The backend that viOpenDefaultRM and viOpen use from now on; null restores
// the built-in socket backend. Sessions already open keep the backend they
// were opened with (they hold a reference to it).
void SetBackendForTesting(std::shared_ptr<Backend> backend);

// The backend in force.
std::shared_ptr<Backend> CurrentBackend();

// The built-in raw-socket backend (one instance per process).
std::shared_ptr<Backend> SocketBackend();

}  // namespace visa
}  // namespace qvz

#endif
