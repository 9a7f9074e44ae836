#include "visa/builtin_visa.h"

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "visa/format_read.h"
#include "visa/format_write.h"
#include "visa/session_table.h"

namespace qvz {
namespace visa {
namespace {

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

template <typename T>
void WriteValue(void* destination, T value) {
    std::memcpy(destination, &value, sizeof value);
}

// Stores the value of an attribute CheckAttribute knows.
void LoadAttribute(const InstrumentAttributes& attributes, ViAttr attribute, void* value) {
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
}

// Ends the session's connection and opens a new one to the same resource
// with the session's attributes; the caller holds the session's lock. On
// failure the session is left without a connection, marked lost.
ViStatus Reconnect(BuiltInSession& session) {
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
ViStatus Connected(BuiltInSession& session) {
    if (session.transport) {
        return VI_SUCCESS;
    }
    if (!session.connectionLost) {
        return VI_ERROR_INV_OBJECT;  // closed
    }
    return Reconnect(session) < VI_SUCCESS ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

// Reads one message and scans it; the caller holds the session's lock.
ViStatus ReadAndScan(BuiltInSession& session, const char* readFormat, va_list* args) {
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

ViStatus WriteCommand(BuiltInSession& session, const std::string& command) {
    return session.transport->Write(command.data(), command.size(),
                                    Deadline::After(session.attributes.timeoutMs));
}

// Drops the session's connection and buffered input; the caller holds its
// lock. The transport's own close status is the result.
ViStatus Disconnect(BuiltInSession& session) {
    ViStatus status = VI_SUCCESS;
    if (session.transport) {
        status = session.transport->Close();
        session.transport.reset();
    }
    session.connectionLost = false;
    session.reader.Discard();
    return status;
}

// Every session this library is handed is one it opened.
BuiltInSession& Own(Session& session) {
    return static_cast<BuiltInSession&>(session);
}

class BuiltInVisaLibrary final : public VisaLibrary {
public:
    ViStatus OpenDefaultRM(ViSession* rm) override {
        std::shared_ptr<Backend> backend = CurrentBackend();
        const ViStatus status = backend->OpenDefaultRM();
        if (status < VI_SUCCESS) {
            return status;
        }
        auto session = std::make_shared<BuiltInSession>(Session::Kind::kResourceManager, VI_NULL,
                                                        shared_from_this(), backend);
        const ViSession handle = SessionTable::Instance().Add(std::move(session));
        if (handle == VI_NULL) {
            backend->CloseDefaultRM();
            return VI_ERROR_ALLOC;
        }
        *rm = handle;
        return status;
    }

    ViStatus Open(ViSession rm, Session& /*manager*/, const char* resource, ViAccessMode /*mode*/,
                  ViUInt32 /*openTimeout*/, ViSession* vi) override {
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
        auto session = std::make_shared<BuiltInSession>(Session::Kind::kInstrument, rm,
                                                        shared_from_this(), backend);
        session->transport = std::move(transport);
        session->resource = std::move(parsed);
        session->resourceText = resource;
        SessionTable& table = SessionTable::Instance();
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

    ViStatus Close(Session& session,
                   const std::vector<std::shared_ptr<Session>>& children) override {
        BuiltInSession& own = Own(session);
        if (own.kind == Session::Kind::kResourceManager) {
            // As in VISA, a resource manager takes its sessions with it.
            for (const std::shared_ptr<Session>& child : children) {
                BuiltInSession& instrument = Own(*child);
                std::lock_guard<std::mutex> lock(instrument.io);
                instrument.transport.reset();
                instrument.reader.Discard();
            }
            return own.backend->CloseDefaultRM();
        }
        std::lock_guard<std::mutex> lock(own.io);
        return Disconnect(own);
    }

    ViStatus SetAttribute(Session& session, ViAttr attribute, ViAttrState value) override {
        BuiltInSession& own = Own(session);
        if (own.kind != Session::Kind::kInstrument) {
            return VI_ERROR_NSUP_ATTR;
        }
        const ViStatus check = CheckAttribute(attribute, value);
        if (check < VI_SUCCESS) {
            return check;
        }
        std::lock_guard<std::mutex> lock(own.io);
        if (!own.transport && own.connectionLost) {
            // Kept for the connection a later operation opens.
            StoreAttribute(own.attributes, attribute, value);
            return VI_SUCCESS;
        }
        if (!own.transport) {
            return VI_ERROR_INV_OBJECT;
        }
        const ViStatus status = own.transport->SetAttribute(attribute, value);
        if (status >= VI_SUCCESS) {
            StoreAttribute(own.attributes, attribute, value);
        }
        return status;
    }

    ViStatus GetAttribute(Session& session, ViAttr attribute, void* value) override {
        BuiltInSession& own = Own(session);
        if (own.kind != Session::Kind::kInstrument) {
            return VI_ERROR_NSUP_ATTR;
        }
        if (CheckAttribute(attribute, 0) == VI_ERROR_NSUP_ATTR) {
            return VI_ERROR_NSUP_ATTR;
        }
        if (value == nullptr) {
            return VI_ERROR_USER_BUF;
        }
        std::lock_guard<std::mutex> lock(own.io);
        if (!own.transport && !own.connectionLost) {
            return VI_ERROR_INV_OBJECT;
        }
        LoadAttribute(own.attributes, attribute, value);
        return VI_SUCCESS;
    }

    ViStatus Printf(Session& session, const char* writeFormat, va_list* args) override {
        BuiltInSession& own = Own(session);
        std::string command;
        const ViStatus formatted = FormatWrite(writeFormat, args, &command);
        if (formatted < VI_SUCCESS) {
            return formatted;
        }
        std::lock_guard<std::mutex> lock(own.io);
        const ViStatus connected = Connected(own);
        if (connected < VI_SUCCESS) {
            return connected;
        }
        return WriteCommand(own, command);
    }

    ViStatus Scanf(Session& session, const char* readFormat, va_list* args) override {
        BuiltInSession& own = Own(session);
        const ViStatus valid = ValidateReadFormat(readFormat);
        if (valid < VI_SUCCESS) {
            return valid;
        }
        std::lock_guard<std::mutex> lock(own.io);
        const ViStatus connected = Connected(own);
        if (connected < VI_SUCCESS) {
            return connected;
        }
        return ReadAndScan(own, readFormat, args);
    }

    ViStatus Queryf(Session& session, const char* writeFormat, const char* readFormat,
                    va_list* args) override {
        BuiltInSession& own = Own(session);
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
        std::lock_guard<std::mutex> lock(own.io);
        const ViStatus connected = Connected(own);
        if (connected < VI_SUCCESS) {
            return connected;
        }
        // Input that arrived before this command cannot be its answer: a reply
        // that came after an earlier query had timed out (and after the device
        // clear that followed) would otherwise be read as this one's, and every
        // later query would stay one reply behind.
        own.reader.Discard();
        own.transport->DropStaleInput();
        const ViStatus written = WriteCommand(own, command);
        if (written < VI_SUCCESS) {
            return written;
        }
        const ViStatus read = ReadAndScan(own, readFormat, args);
        return read != VI_SUCCESS ? read : written;
    }

    ViStatus Clear(Session& session) override {
        BuiltInSession& own = Own(session);
        std::lock_guard<std::mutex> lock(own.io);
        if (own.backend->ReconnectsOnClear()) {
            if (!own.transport && !own.connectionLost) {
                return VI_ERROR_INV_OBJECT;  // closed
            }
            return Reconnect(own);
        }
        const ViStatus connected = Connected(own);
        if (connected < VI_SUCCESS) {
            return connected;
        }
        own.reader.Discard();
        return own.transport->DiscardInput();
    }
};

}  // namespace

std::shared_ptr<VisaLibrary> BuiltInVisa() {
    static const std::shared_ptr<VisaLibrary> library = std::make_shared<BuiltInVisaLibrary>();
    return library;
}

}  // namespace visa
}  // namespace qvz
