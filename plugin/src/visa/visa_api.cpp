// The vi* calls: session bookkeeping, attributes, and formatted I/O on top of
// whichever backend opened the session, or forwarded whole to the host's
// installed VISA library for sessions opened through it. Nothing here throws
// or prints; every failure is a VISA status.
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "visa/backend.h"
#include "visa/format_read.h"
#include "visa/format_write.h"
#include "visa/installed_forwarding.h"
#include "visa/installed_visa.h"
#include "visa/resource_name.h"
#include "visa/session.h"
#include "visa/session_table.h"
#include "visa/visa.h"

namespace qvz {
namespace visa {
namespace {

template <typename Operation>
ViStatus Guarded(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_IO;
    }
}

ViStatus FindInstrument(ViSession vi, std::shared_ptr<Session>* session) {
    *session = SessionTable::Instance().Find(vi);
    if (!*session) {
        return VI_ERROR_INV_OBJECT;
    }
    if ((*session)->kind != Session::Kind::kInstrument) {
        return VI_ERROR_NSUP_OPER;
    }
    return VI_SUCCESS;
}

// The attribute value checked against what the attribute can hold.
ViStatus CheckAttribute(ViAttr attribute, ViAttrState value) {
    switch (attribute) {
        case VI_ATTR_TMO_VALUE:
            return value <= VI_TMO_INFINITE ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
        case VI_ATTR_TERMCHAR_EN:
            return value <= VI_TRUE ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
        case VI_ATTR_TERMCHAR:
            return value <= 0xFFu ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

void StoreAttribute(InstrumentAttributes& attributes, ViAttr attribute, ViAttrState value) {
    switch (attribute) {
        case VI_ATTR_TMO_VALUE:
            attributes.timeoutMs = static_cast<ViUInt32>(value);
            break;
        case VI_ATTR_TERMCHAR_EN:
            attributes.termCharEnabled = value != 0;
            break;
        case VI_ATTR_TERMCHAR:
            attributes.termChar = static_cast<ViUInt8>(value);
            break;
        default:
            break;
    }
}

// Ends the session's connection and opens a new one to the same resource
// with the session's attributes; the caller holds the session's lock. On
// failure the session is left without a connection, marked lost.
ViStatus Reconnect(Session& session) {
    if (session.transport) {
        session.transport->Close();
        session.transport.reset();
    }
    session.reader.Discard();
    session.connectionLost = true;
    std::unique_ptr<Transport> transport;
    ViStatus status =
        session.backend->Open(session.resource, session.resourceText.c_str(), &transport);
    if (status < VI_SUCCESS) {
        return status;
    }
    if (!transport) {
        return VI_ERROR_IO;
    }
    const InstrumentAttributes& attributes = session.attributes;
    const std::pair<ViAttr, ViAttrState> settings[] = {
        {VI_ATTR_TMO_VALUE, attributes.timeoutMs},
        {VI_ATTR_TERMCHAR_EN, attributes.termCharEnabled ? VI_TRUE : VI_FALSE},
        {VI_ATTR_TERMCHAR, attributes.termChar}};
    for (const auto& [attribute, value] : settings) {
        const ViStatus set = transport->SetAttribute(attribute, value);
        if (set < VI_SUCCESS) {
            transport->Close();
            return set;
        }
    }
    session.transport = std::move(transport);
    session.connectionLost = false;
    return status;
}

// Whether the session can do I/O now; the caller holds the session's lock. A
// session whose connection was lost tries once to reconnect.
ViStatus Connected(Session& session) {
    if (session.transport) {
        return VI_SUCCESS;
    }
    if (!session.connectionLost) {
        return VI_ERROR_INV_OBJECT;  // closed
    }
    return Reconnect(session) < VI_SUCCESS ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

// Reads one message and scans it; the caller holds the session's lock.
ViStatus ReadAndScan(Session& session, const char* readFormat, va_list* args) {
    MessageEnd end;
    end.termCharEnabled = session.attributes.termCharEnabled;
    end.termChar = static_cast<char>(session.attributes.termChar);
    std::string_view message;
    const ViStatus readStatus = session.reader.ReadMessage(
        *session.transport, end, Deadline::After(session.attributes.timeoutMs), &message);
    if (readStatus < VI_SUCCESS) {
        session.reader.ReleaseSpace();
        return readStatus;
    }
    const ViStatus scanStatus = ScanMessage(message.data(), message.size(), readFormat, args);
    // A long reply's buffer is not kept for the session's lifetime.
    session.reader.ReleaseSpace();
    return scanStatus < VI_SUCCESS ? scanStatus : readStatus;
}

ViStatus WriteCommand(Session& session, const std::string& command) {
    return session.transport->Write(command.data(), command.size(),
                                    Deadline::After(session.attributes.timeoutMs));
}

ViStatus OpenDefaultRM(ViSession* rm) {
    if (rm == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *rm = VI_NULL;
    std::shared_ptr<Backend> backend = CurrentBackend();
    // A backend plugged in by a test stands for the instrument itself, so the
    // installed library is only looked for while the built-in one is in force.
    if (backend == SocketBackend()) {
        std::shared_ptr<const InstalledVisa> installed = ChosenInstalledVisa();
        if (installed) {
            return ForwardOpenDefaultRM(std::move(installed), rm);
        }
    }
    const ViStatus status = backend->OpenDefaultRM();
    if (status < VI_SUCCESS) {
        return status;
    }
    auto session = std::make_shared<Session>(Session::Kind::kResourceManager, VI_NULL, backend);
    const ViSession handle = SessionTable::Instance().Add(std::move(session));
    if (handle == VI_NULL) {
        backend->CloseDefaultRM();
        return VI_ERROR_ALLOC;
    }
    *rm = handle;
    return status;
}

ViStatus Open(ViSession rm, const char* resource, ViAccessMode mode, ViUInt32 openTimeout,
              ViSession* vi) {
    if (vi == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *vi = VI_NULL;
    SessionTable& table = SessionTable::Instance();
    const std::shared_ptr<Session> manager = table.Find(rm);
    if (!manager) {
        return VI_ERROR_INV_OBJECT;
    }
    if (manager->kind != Session::Kind::kResourceManager) {
        return VI_ERROR_NSUP_OPER;
    }
    if (manager->installed) {
        return ForwardOpen(rm, manager, resource, mode, openTimeout, vi);
    }
    // The access mode asks for locks and the open timeout bounds waiting for
    // them; a raw socket has no locks, so the built-in layer needs neither.
    SocketResource parsed;
    const ViStatus parseStatus = ParseResourceName(resource, &parsed);
    if (parseStatus < VI_SUCCESS) {
        return parseStatus;
    }

    std::shared_ptr<Backend> backend = CurrentBackend();
    std::unique_ptr<Transport> transport;
    const ViStatus status = backend->Open(parsed, resource, &transport);
    if (status < VI_SUCCESS) {
        return status;
    }
    if (!transport) {
        return VI_ERROR_IO;
    }
    auto session = std::make_shared<Session>(Session::Kind::kInstrument, rm, backend);
    session->transport = std::move(transport);
    session->resource = std::move(parsed);
    session->resourceText = resource;
    const ViSession handle = table.Add(session);
    if (handle == VI_NULL) {
        session->transport->Close();
        return VI_ERROR_ALLOC;
    }
    // The manager may have been closed meanwhile; its sessions go with it.
    if (!table.Find(rm)) {
        table.Remove(handle);
        std::lock_guard<std::mutex> lock(session->io);
        if (session->transport) {
            session->transport->Close();
            session->transport.reset();
        }
        return VI_ERROR_INV_OBJECT;
    }
    *vi = handle;
    return status;
}

ViStatus Close(ViObject vi) {
    if (vi == VI_NULL) {
        return VI_WARN_NULL_OBJECT;
    }
    SessionTable& table = SessionTable::Instance();
    const std::shared_ptr<Session> session = table.Remove(vi);
    if (!session) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->installed) {
        std::vector<std::shared_ptr<Session>> children;
        if (session->kind == Session::Kind::kResourceManager) {
            children = table.RemoveChildren(vi);
        }
        return ForwardClose(*session, children);
    }
    if (session->kind == Session::Kind::kResourceManager) {
        // As in VISA, a resource manager takes its sessions with it.
        for (const std::shared_ptr<Session>& child : table.RemoveChildren(vi)) {
            std::lock_guard<std::mutex> lock(child->io);
            child->transport.reset();
            child->reader.Discard();
        }
        return session->backend->CloseDefaultRM();
    }
    std::lock_guard<std::mutex> lock(session->io);
    ViStatus status = VI_SUCCESS;
    if (session->transport) {
        status = session->transport->Close();
        session->transport.reset();
    }
    session->connectionLost = false;
    session->reader.Discard();
    return status;
}

ViStatus SetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    const std::shared_ptr<Session> session = SessionTable::Instance().Find(vi);
    if (!session) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->installed) {
        return ForwardSetAttribute(*session, attribute, value);
    }
    if (session->kind != Session::Kind::kInstrument) {
        return VI_ERROR_NSUP_ATTR;
    }
    const ViStatus check = CheckAttribute(attribute, value);
    if (check < VI_SUCCESS) {
        return check;
    }
    std::lock_guard<std::mutex> lock(session->io);
    if (!session->transport && session->connectionLost) {
        // Kept for the connection a later operation opens.
        StoreAttribute(session->attributes, attribute, value);
        return VI_SUCCESS;
    }
    if (!session->transport) {
        return VI_ERROR_INV_OBJECT;
    }
    const ViStatus status = session->transport->SetAttribute(attribute, value);
    if (status >= VI_SUCCESS) {
        StoreAttribute(session->attributes, attribute, value);
    }
    return status;
}

template <typename T>
void WriteValue(void* destination, T value) {
    std::memcpy(destination, &value, sizeof value);
}

ViStatus GetAttribute(ViObject vi, ViAttr attribute, void* value) {
    const std::shared_ptr<Session> session = SessionTable::Instance().Find(vi);
    if (!session) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->installed) {
        return ForwardGetAttribute(*session, attribute, value);
    }
    if (session->kind != Session::Kind::kInstrument) {
        return VI_ERROR_NSUP_ATTR;
    }
    if (CheckAttribute(attribute, 0) == VI_ERROR_NSUP_ATTR) {
        return VI_ERROR_NSUP_ATTR;
    }
    if (value == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    std::lock_guard<std::mutex> lock(session->io);
    if (!session->transport && !session->connectionLost) {
        return VI_ERROR_INV_OBJECT;
    }
    const InstrumentAttributes& attributes = session->attributes;
    switch (attribute) {
        case VI_ATTR_TMO_VALUE:
            WriteValue<ViUInt32>(value, attributes.timeoutMs);
            break;
        case VI_ATTR_TERMCHAR_EN:
            WriteValue<ViBoolean>(value, attributes.termCharEnabled ? VI_TRUE : VI_FALSE);
            break;
        default:  // VI_ATTR_TERMCHAR
            WriteValue<ViUInt8>(value, attributes.termChar);
            break;
    }
    return VI_SUCCESS;
}

ViStatus Printf(ViSession vi, const char* writeFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    if (session->installed) {
        return ForwardVPrintf(*session, writeFormat, *args);
    }
    std::string command;
    const ViStatus formatted = FormatWrite(writeFormat, args, &command);
    if (formatted < VI_SUCCESS) {
        return formatted;
    }
    std::lock_guard<std::mutex> lock(session->io);
    const ViStatus connected = Connected(*session);
    if (connected < VI_SUCCESS) {
        return connected;
    }
    return WriteCommand(*session, command);
}

ViStatus Scanf(ViSession vi, const char* readFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    if (session->installed) {
        return ForwardVScanf(*session, readFormat, *args);
    }
    const ViStatus valid = ValidateReadFormat(readFormat);
    if (valid < VI_SUCCESS) {
        return valid;
    }
    std::lock_guard<std::mutex> lock(session->io);
    const ViStatus connected = Connected(*session);
    if (connected < VI_SUCCESS) {
        return connected;
    }
    return ReadAndScan(*session, readFormat, args);
}

ViStatus Queryf(ViSession vi, const char* writeFormat, const char* readFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    if (session->installed) {
        return ForwardVQueryf(*session, writeFormat, readFormat, *args);
    }
    // Both formats are checked before the command goes out, so that a bad
    // read format never leaves an unread reply behind.
    const ViStatus valid = ValidateReadFormat(readFormat);
    if (valid < VI_SUCCESS) {
        return valid;
    }
    std::string command;
    const ViStatus formatted = FormatWrite(writeFormat, args, &command);
    if (formatted < VI_SUCCESS) {
        return formatted;
    }
    std::lock_guard<std::mutex> lock(session->io);
    const ViStatus connected = Connected(*session);
    if (connected < VI_SUCCESS) {
        return connected;
    }
    // Input that arrived before this command cannot be its answer: a reply
    // that came after an earlier query had timed out (and after the device
    // clear that followed) would otherwise be read as this one's, and every
    // later query would stay one reply behind.
    session->reader.Discard();
    session->transport->DropStaleInput();
    const ViStatus written = WriteCommand(*session, command);
    if (written < VI_SUCCESS) {
        return written;
    }
    const ViStatus read = ReadAndScan(*session, readFormat, args);
    return read != VI_SUCCESS ? read : written;
}

ViStatus Clear(ViSession vi) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    if (session->installed) {
        return ForwardClear(*session);
    }
    std::lock_guard<std::mutex> lock(session->io);
    if (session->backend->ReconnectsOnClear()) {
        if (!session->transport && !session->connectionLost) {
            return VI_ERROR_INV_OBJECT;  // closed
        }
        return Reconnect(*session);
    }
    const ViStatus connected = Connected(*session);
    if (connected < VI_SUCCESS) {
        return connected;
    }
    session->reader.Discard();
    return session->transport->DiscardInput();
}

}  // namespace

ViStatus viOpenDefaultRM(ViSession* rm) {
    return Guarded([&] { return OpenDefaultRM(rm); });
}

ViStatus viOpen(ViSession rm, const char* resource, ViAccessMode mode, ViUInt32 openTimeout,
                ViSession* vi) {
    return Guarded([&] { return Open(rm, resource, mode, openTimeout, vi); });
}

ViStatus viClose(ViObject vi) {
    return Guarded([&] { return Close(vi); });
}

ViStatus viSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    return Guarded([&] { return SetAttribute(vi, attribute, value); });
}

ViStatus viGetAttribute(ViObject vi, ViAttr attribute, void* value) {
    return Guarded([&] { return GetAttribute(vi, attribute, value); });
}

ViStatus viVPrintf(ViSession vi, const char* writeFormat, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Guarded([&] { return Printf(vi, writeFormat, &copy); });
    va_end(copy);
    return status;
}

ViStatus viPrintf(ViSession vi, const char* writeFormat, ...) {
    va_list args;
    va_start(args, writeFormat);
    const ViStatus status = Guarded([&] { return Printf(vi, writeFormat, &args); });
    va_end(args);
    return status;
}

ViStatus viVScanf(ViSession vi, const char* readFormat, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Guarded([&] { return Scanf(vi, readFormat, &copy); });
    va_end(copy);
    return status;
}

ViStatus viScanf(ViSession vi, const char* readFormat, ...) {
    va_list args;
    va_start(args, readFormat);
    const ViStatus status = Guarded([&] { return Scanf(vi, readFormat, &args); });
    va_end(args);
    return status;
}

ViStatus viVQueryf(ViSession vi, const char* writeFormat, const char* readFormat,
                   va_list args) {
    // One copy walks the write arguments and then the read arguments.
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Guarded([&] { return Queryf(vi, writeFormat, readFormat, &copy); });
    va_end(copy);
    return status;
}

ViStatus viQueryf(ViSession vi, const char* writeFormat, const char* readFormat, ...) {
    va_list args;
    va_start(args, readFormat);
    const ViStatus status = Guarded([&] { return Queryf(vi, writeFormat, readFormat, &args); });
    va_end(args);
    return status;
}

ViStatus viClear(ViSession vi) {
    return Guarded([&] { return Clear(vi); });
}

}  // namespace visa
}  // namespace qvz
