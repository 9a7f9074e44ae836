#include "visa/installed_forwarding.h"

#include <mutex>
#include <utility>
#include <vector>

#include "visa/session_table.h"

namespace qvz {
namespace visa {
namespace {

// A session of the installed library: the library's own handle, guarded by
// `io`, VI_NULL once closed, so that a call never reaches a handle the
// library may have given out again.
struct InstalledSession final : Session {
    using Session::Session;
    ViSession libraryHandle = VI_NULL;
};

// Every session this library is handed is one it opened.
InstalledSession& Own(Session& session) {
    return static_cast<InstalledSession&>(session);
}

// Runs `call` with the library's handle of `session`, holding the session's
// lock so that a close cannot hand that handle back to the library (which
// may reuse it) while the call is under way.
template <typename Call>
ViStatus WithLibraryHandle(Session& session, Call&& call) {
    InstalledSession& own = Own(session);
    std::lock_guard<std::mutex> lock(own.io);
    if (own.libraryHandle == VI_NULL) {
        return VI_ERROR_INV_OBJECT;
    }
    return call(own.libraryHandle);
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

class ForwardingVisaLibrary final : public VisaLibrary {
public:
    ViStatus OpenDefaultRM(ViSession* rm) override {
        auto session = std::make_shared<InstalledSession>(Session::Kind::kResourceManager, VI_NULL,
                                                          shared_from_this());
        ViSession theirs = VI_NULL;
        const ViStatus status = visa_->openDefaultRM(&theirs);
        if (status < VI_SUCCESS) {
            return status;
        }
        session->libraryHandle = theirs;
        const ViSession ours = Register(session);
        if (ours == VI_NULL) {
            visa_->close(theirs);
            return VI_ERROR_ALLOC;
        }
        *rm = ours;
        return status;
    }

    ViStatus Open(ViSession rm, Session& manager, const char* resource, ViAccessMode mode,
                  ViUInt32 openTimeout, ViSession* vi) override {
        auto session =
            std::make_shared<InstalledSession>(Session::Kind::kInstrument, rm, shared_from_this());
        // The manager stays locked until the new session is registered: closing
        // the manager waits, so the library's manager outlives this open.
        InstalledSession& parent = Own(manager);
        std::lock_guard<std::mutex> managerLock(parent.io);
        if (parent.libraryHandle == VI_NULL) {
            return VI_ERROR_INV_OBJECT;
        }
        ViSession theirs = VI_NULL;
        const ViStatus status =
            visa_->open(parent.libraryHandle, resource, mode, openTimeout, &theirs);
        if (status < VI_SUCCESS) {
            return status;
        }
        session->libraryHandle = theirs;
        SessionTable& table = SessionTable::Instance();
        const ViSession ours = Register(session);
        if (ours == VI_NULL) {
            visa_->close(theirs);
            return VI_ERROR_ALLOC;
        }
        // The manager may have been taken out of the table meanwhile; a session
        // opened through it must go with it.
        if (!table.Find(rm)) {
            table.Remove(ours);
            std::lock_guard<std::mutex> lock(session->io);
            session->libraryHandle = VI_NULL;
            visa_->close(theirs);
            return VI_ERROR_INV_OBJECT;
        }
        *vi = ours;
        return status;
    }

    ViStatus Close(Session& session,
                   const std::vector<std::shared_ptr<Session>>& children) override {
        // The library closes a manager's sessions together with it.
        for (const std::shared_ptr<Session>& child : children) {
            InstalledSession& instrument = Own(*child);
            std::lock_guard<std::mutex> lock(instrument.io);
            instrument.libraryHandle = VI_NULL;
        }
        InstalledSession& own = Own(session);
        std::lock_guard<std::mutex> lock(own.io);
        const ViSession theirs = own.libraryHandle;
        if (theirs == VI_NULL) {
            return VI_ERROR_INV_OBJECT;
        }
        own.libraryHandle = VI_NULL;
        return visa_->close(theirs);
    }

    ViStatus SetAttribute(Session& session, ViAttr attribute, ViAttrState value) override {
        const auto narrowed = static_cast<InstalledAttrState>(value);
        if (static_cast<ViAttrState>(narrowed) != value) {
            return VI_ERROR_NSUP_ATTR_STATE;  // wider than the library's attribute values
        }
        return WithLibraryHandle(session, [&](ViSession theirs) {
            return visa_->setAttribute(theirs, attribute, narrowed);
        });
    }

    ViStatus GetAttribute(Session& session, ViAttr attribute, void* value) override {
        const InstalledGetAttribute getAttribute = visa_->getAttribute;
        if (getAttribute == nullptr) {
            return VI_ERROR_NSUP_OPER;
        }
        return WithLibraryHandle(
            session, [&](ViSession theirs) { return getAttribute(theirs, attribute, value); });
    }

    ViStatus Printf(Session& session, const char* writeFormat, va_list* args) override {
        return WithLibraryHandle(
            session, [&](ViSession theirs) { return visa_->vPrintf(theirs, writeFormat, *args); });
    }

    ViStatus Scanf(Session& session, const char* readFormat, va_list* args) override {
        const InstalledVScanf vScanf = visa_->vScanf;
        if (vScanf == nullptr) {
            return VI_ERROR_NSUP_OPER;
        }
        return WithLibraryHandle(
            session, [&](ViSession theirs) { return vScanf(theirs, readFormat, *args); });
    }

    ViStatus Queryf(Session& session, const char* writeFormat, const char* readFormat,
                    va_list* args) override {
        return WithLibraryHandle(session, [&](ViSession theirs) {
            return visa_->vQueryf(theirs, writeFormat, readFormat, *args);
        });
    }

    ViStatus Clear(Session& session) override {
        return WithLibraryHandle(session, [&](ViSession theirs) { return visa_->clear(theirs); });
    }
    explicit ForwardingVisaLibrary(std::shared_ptr<const InstalledVisa> library)
        : visa_(std::move(library)) {}

private:
    const std::shared_ptr<const InstalledVisa> visa_;
};

}  // namespace

std::shared_ptr<VisaLibrary> ForwardingTo(std::shared_ptr<const InstalledVisa> library) {
    return std::make_shared<ForwardingVisaLibrary>(std::move(library));
}

}  // namespace visa
}  // namespace qvz
