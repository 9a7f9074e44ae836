// The vi* calls: the handle checks common to every VISA library, then the
// call on the library that opened the session (visa_library.h); a resource
// manager is opened by the library chosen for the process. Nothing here
// throws or prints; every failure is a VISA status.
#include <cstdarg>
#include <memory>
#include <new>
#include <vector>

#include "visa/library_choice.h"
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

ViStatus FindSession(ViObject vi, std::shared_ptr<Session>* session) {
    *session = SessionTable::Instance().Find(vi);
    return *session ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

// Formatted I/O and the device clear are operations of instrument sessions.
ViStatus FindInstrument(ViSession vi, std::shared_ptr<Session>* session) {
    const ViStatus found = FindSession(vi, session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return (*session)->kind == Session::Kind::kInstrument ? VI_SUCCESS : VI_ERROR_NSUP_OPER;
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

ViStatus SetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindSession(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->SetAttribute(*session, attribute, value);
}

ViStatus GetAttribute(ViObject vi, ViAttr attribute, void* value) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindSession(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->GetAttribute(*session, attribute, value);
}

ViStatus Printf(ViSession vi, const char* writeFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->Printf(*session, writeFormat, args);
}

ViStatus Scanf(ViSession vi, const char* readFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->Scanf(*session, readFormat, args);
}

ViStatus Queryf(ViSession vi, const char* writeFormat, const char* readFormat, va_list* args) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->Queryf(*session, writeFormat, readFormat, args);
}

ViStatus Clear(ViSession vi) {
    std::shared_ptr<Session> session;
    const ViStatus found = FindInstrument(vi, &session);
    if (found < VI_SUCCESS) {
        return found;
    }
    return session->library->Clear(*session);
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
