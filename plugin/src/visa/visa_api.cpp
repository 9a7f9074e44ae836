// The vi* calls: the handle checks common to every VISA library, then the
// call on the library that opened the session (visa_library.h). A resource
// manager is opened by the library chosen for the process. Nothing here
// throws or prints; every failure is a VISA status.
#include <cstdarg>
#include <memory>
#include <new>
#include <vector>

#include "visa/backend.h"
#include "visa/builtin_visa.h"
#include "visa/installed_visa.h"
#include "visa/session.h"
#include "visa/session_table.h"
#include "visa/visa.h"
#include "visa/visa_library.h"

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

// The library that opens a resource manager. A backend plugged in by a test
// stands for the instrument itself and is reached through the built-in
// library, so the installed library is only looked for while the socket
// backend is in force.
std::shared_ptr<VisaLibrary> ChosenVisaLibrary() {
    if (CurrentBackend() == SocketBackend()) {
        std::shared_ptr<VisaLibrary> installed = ChosenInstalledVisa();
        if (installed) {
            return installed;
        }
    }
    return BuiltInVisa();
}

// Runs `call` with the session of `vi` and the library that opened it.
template <typename Call>
ViStatus OnSession(ViObject vi, Call&& call) noexcept {
    return Guarded([&] {
        const std::shared_ptr<Session> session = SessionTable::Instance().Find(vi);
        return session ? call(*session->library, *session) : VI_ERROR_INV_OBJECT;
    });
}

// OnSession for the operations of instrument sessions: formatted I/O and the
// device clear.
template <typename Call>
ViStatus OnInstrument(ViSession vi, Call&& call) noexcept {
    return OnSession(vi, [&](VisaLibrary& library, Session& session) {
        return session.kind == Session::Kind::kInstrument ? call(library, session)
                                                          : VI_ERROR_NSUP_OPER;
    });
}

ViStatus OpenDefaultRM(ViSession* rm) {
    if (rm == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *rm = VI_NULL;
    return ChosenVisaLibrary()->OpenDefaultRM(rm);
}

ViStatus Open(ViSession rm, const char* resource, ViAccessMode mode, ViUInt32 openTimeout,
              ViSession* vi) {
    if (vi == nullptr) {
        return VI_ERROR_USER_BUF;
    }
    *vi = VI_NULL;
    const std::shared_ptr<Session> manager = SessionTable::Instance().Find(rm);
    if (!manager) {
        return VI_ERROR_INV_OBJECT;
    }
    if (manager->kind != Session::Kind::kResourceManager) {
        return VI_ERROR_NSUP_OPER;
    }
    return manager->library->Open(rm, *manager, resource, mode, openTimeout, vi);
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
    std::vector<std::shared_ptr<Session>> children;
    if (session->kind == Session::Kind::kResourceManager) {
        // As in VISA, a resource manager takes its sessions with it.
        children = table.RemoveChildren(vi);
    }
    return session->library->Close(*session, children);
}

ViStatus Printf(ViSession vi, const char* writeFormat, va_list* args) noexcept {
    return OnInstrument(vi, [&](VisaLibrary& library, Session& session) {
        return library.Printf(session, writeFormat, args);
    });
}

ViStatus Scanf(ViSession vi, const char* readFormat, va_list* args) noexcept {
    return OnInstrument(vi, [&](VisaLibrary& library, Session& session) {
        return library.Scanf(session, readFormat, args);
    });
}

ViStatus Queryf(ViSession vi, const char* writeFormat, const char* readFormat,
                va_list* args) noexcept {
    return OnInstrument(vi, [&](VisaLibrary& library, Session& session) {
        return library.Queryf(session, writeFormat, readFormat, args);
    });
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
    return OnSession(vi, [&](VisaLibrary& library, Session& session) {
        return library.SetAttribute(session, attribute, value);
    });
}

ViStatus viGetAttribute(ViObject vi, ViAttr attribute, void* value) {
    return OnSession(vi, [&](VisaLibrary& library, Session& session) {
        return library.GetAttribute(session, attribute, value);
    });
}

ViStatus viVPrintf(ViSession vi, const char* writeFormat, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Printf(vi, writeFormat, &copy);
    va_end(copy);
    return status;
}

ViStatus viPrintf(ViSession vi, const char* writeFormat, ...) {
    va_list args;
    va_start(args, writeFormat);
    const ViStatus status = Printf(vi, writeFormat, &args);
    va_end(args);
    return status;
}

ViStatus viVScanf(ViSession vi, const char* readFormat, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Scanf(vi, readFormat, &copy);
    va_end(copy);
    return status;
}

ViStatus viScanf(ViSession vi, const char* readFormat, ...) {
    va_list args;
    va_start(args, readFormat);
    const ViStatus status = Scanf(vi, readFormat, &args);
    va_end(args);
    return status;
}

ViStatus viVQueryf(ViSession vi, const char* writeFormat, const char* readFormat, va_list args) {
    // One copy walks the write arguments and then the read arguments.
    va_list copy;
    va_copy(copy, args);
    const ViStatus status = Queryf(vi, writeFormat, readFormat, &copy);
    va_end(copy);
    return status;
}

ViStatus viQueryf(ViSession vi, const char* writeFormat, const char* readFormat, ...) {
    va_list args;
    va_start(args, readFormat);
    const ViStatus status = Queryf(vi, writeFormat, readFormat, &args);
    va_end(args);
    return status;
}

ViStatus viClear(ViSession vi) {
    return OnInstrument(
        vi, [&](VisaLibrary& library, Session& session) { return library.Clear(session); });
}

}  // namespace visa
}  // namespace qvz
