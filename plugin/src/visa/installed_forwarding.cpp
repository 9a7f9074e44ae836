#include "visa/installed_forwarding.h"

#include <mutex>
#include <utility>

#include "visa/session_table.h"

namespace qvz {
namespace visa {
namespace {

// Runs `call` with the library's handle of `session`, holding the session's
// lock so that a close cannot hand that handle back to the library (which
// may reuse it) while the call is under way.
template <typename Call>
ViStatus WithLibraryHandle(Session& session, Call&& call) {
    std::lock_guard<std::mutex> lock(session.io);
    if (session.installedHandle == VI_NULL) {
        return VI_ERROR_INV_OBJECT;
    }
    return call(session.installedHandle);
}

// Our handle for `session`, or VI_NULL when the table is full or out of
// memory.
ViSession Register(std::shared_ptr<Session> session) {
    try {
        return SessionTable::Instance().Add(std::move(session));
    } catch (...) {
        return VI_NULL;
    }
}

}  // namespace

ViStatus ForwardOpenDefaultRM(std::shared_ptr<const InstalledVisa> library, ViSession* rm) {
    auto session = std::make_shared<Session>(Session::Kind::kResourceManager, VI_NULL, nullptr);
    session->installed = std::move(library);
    const InstalledVisa& visa = *session->installed;
    ViSession theirs = VI_NULL;
    const ViStatus status = visa.openDefaultRM(&theirs);
    if (status < VI_SUCCESS) {
        return status;
    }
    session->installedHandle = theirs;
    const ViSession ours = Register(session);
    if (ours == VI_NULL) {
        visa.close(theirs);
        return VI_ERROR_ALLOC;
    }
    *rm = ours;
    return status;
}

ViStatus ForwardOpen(ViSession rm, const std::shared_ptr<Session>& manager, const char* resource,
                     ViAccessMode mode, ViUInt32 openTimeout, ViSession* vi) {
    auto session = std::make_shared<Session>(Session::Kind::kInstrument, rm, nullptr);
    session->installed = manager->installed;
    const InstalledVisa& visa = *session->installed;

    // The manager stays locked until the new session is registered: closing
    // the manager waits, so the library's manager outlives this open.
    std::lock_guard<std::mutex> managerLock(manager->io);
    if (manager->installedHandle == VI_NULL) {
        return VI_ERROR_INV_OBJECT;
    }
    ViSession theirs = VI_NULL;
    const ViStatus status =
        visa.open(manager->installedHandle, resource, mode, openTimeout, &theirs);
    if (status < VI_SUCCESS) {
        return status;
    }
    session->installedHandle = theirs;
    SessionTable& table = SessionTable::Instance();
    const ViSession ours = Register(session);
    if (ours == VI_NULL) {
        visa.close(theirs);
        return VI_ERROR_ALLOC;
    }
    // The manager may have been taken out of the table meanwhile; a session
    // opened through it must go with it.
    if (!table.Find(rm)) {
        table.Remove(ours);
        std::lock_guard<std::mutex> lock(session->io);
        session->installedHandle = VI_NULL;
        visa.close(theirs);
        return VI_ERROR_INV_OBJECT;
    }
    *vi = ours;
    return status;
}

ViStatus ForwardClose(Session& session, const std::vector<std::shared_ptr<Session>>& children) {
    for (const std::shared_ptr<Session>& child : children) {
        std::lock_guard<std::mutex> lock(child->io);
        child->installedHandle = VI_NULL;
    }
    std::lock_guard<std::mutex> lock(session.io);
    const ViSession theirs = session.installedHandle;
    if (theirs == VI_NULL) {
        return VI_ERROR_INV_OBJECT;
    }
    session.installedHandle = VI_NULL;
    return session.installed->close(theirs);
}

ViStatus ForwardSetAttribute(Session& session, ViAttr attribute, ViAttrState value) {
    const auto narrowed = static_cast<InstalledAttrState>(value);
    if (static_cast<ViAttrState>(narrowed) != value) {
        return VI_ERROR_NSUP_ATTR_STATE;  // wider than the library's attribute values
    }
    return WithLibraryHandle(session, [&](ViSession theirs) {
        return session.installed->setAttribute(theirs, attribute, narrowed);
    });
}

ViStatus ForwardGetAttribute(Session& session, ViAttr attribute, void* value) {
    const InstalledGetAttribute getAttribute = session.installed->getAttribute;
    if (getAttribute == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    return WithLibraryHandle(
        session, [&](ViSession theirs) { return getAttribute(theirs, attribute, value); });
}

ViStatus ForwardVPrintf(Session& session, const char* writeFormat, va_list args) {
    return WithLibraryHandle(session, [&](ViSession theirs) {
        return session.installed->vPrintf(theirs, writeFormat, args);
    });
}

ViStatus ForwardVScanf(Session& session, const char* readFormat, va_list args) {
    const InstalledVScanf vScanf = session.installed->vScanf;
    if (vScanf == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    return WithLibraryHandle(
        session, [&](ViSession theirs) { return vScanf(theirs, readFormat, args); });
}

ViStatus ForwardVQueryf(Session& session, const char* writeFormat, const char* readFormat,
                        va_list args) {
    return WithLibraryHandle(session, [&](ViSession theirs) {
        return session.installed->vQueryf(theirs, writeFormat, readFormat, args);
    });
}

ViStatus ForwardClear(Session& session) {
    return WithLibraryHandle(session,
                             [&](ViSession theirs) { return session.installed->clear(theirs); });
}

}  // namespace visa
}  // namespace qvz
