// A VISA library as the vi* calls see it. Two implementations: the built-in
// one (builtin_visa.h: resource names, sessions and formatted I/O over a
// Transport) and the host's installed VISA library (installed_forwarding.h).
// visa_api.cpp picks the one that opens resource managers, once per process
// (see installed_visa.h); every later call on a session goes to the
// implementation that opened it.
//
// visa_api.cpp has checked the handles before a call gets here: a session
// passed in was opened by this implementation, and the formatted-I/O calls
// and Clear only ever see instrument sessions. Calls may throw
// std::bad_alloc; visa_api.cpp turns that into a status.
#ifndef QVZ_VISA_VISA_LIBRARY_H
#define QVZ_VISA_VISA_LIBRARY_H

#include <cstdarg>
#include <memory>
#include <vector>

#include "visa/session.h"
#include "visa/visa.h"

namespace qvz {
namespace visa {

class VisaLibrary : public std::enable_shared_from_this<VisaLibrary> {
public:
    virtual ~VisaLibrary() = default;

    // viOpenDefaultRM: registers a resource-manager session and stores its
    // handle in `*rm` (which is not null and holds VI_NULL).
    virtual ViStatus OpenDefaultRM(ViSession* rm) = 0;

    // viOpen through `manager`, whose handle is `rm`: registers the
    // instrument session and stores its handle in `*vi` (not null, VI_NULL).
    virtual ViStatus Open(ViSession rm, Session& manager, const char* resource, ViAccessMode mode,
                          ViUInt32 openTimeout, ViSession* vi) = 0;

    // viClose of `session`, already taken out of the table. For a resource
    // manager, `children` are its instrument sessions, taken out with it.
    virtual ViStatus Close(Session& session,
                           const std::vector<std::shared_ptr<Session>>& children) = 0;

    virtual ViStatus SetAttribute(Session& session, ViAttr attribute, ViAttrState value) = 0;
    virtual ViStatus GetAttribute(Session& session, ViAttr attribute, void* value) = 0;

    // Formatted I/O. `args` is consumed as the formats are: a query walks the
    // write arguments and then the read arguments of the same list.
    virtual ViStatus Printf(Session& session, const char* writeFormat, va_list* args) = 0;
    virtual ViStatus Scanf(Session& session, const char* readFormat, va_list* args) = 0;
    virtual ViStatus Queryf(Session& session, const char* writeFormat, const char* readFormat,
                            va_list* args) = 0;

    // viClear: the device clear of an instrument session.
    virtual ViStatus Clear(Session& session) = 0;

protected:
    VisaLibrary() = default;
    VisaLibrary(const VisaLibrary&) = default;
    VisaLibrary& operator=(const VisaLibrary&) = default;
};

}  // namespace visa
}  // namespace qvz

#endif
