// Calls on sessions of the host's installed VISA library. Each one goes to
// the library whole, its formats and va_list untouched, with the library's
// own handle in place of ours: our handles come from the one session table,
// so they never clash with those of the built-in layer, whatever numbers the
// library hands out.
#ifndef QVZ_VISA_INSTALLED_FORWARDING_H
#define QVZ_VISA_INSTALLED_FORWARDING_H

#include <cstdarg>
#include <memory>
#include <vector>

#include "visa/installed_visa.h"
#include "visa/session.h"
#include "visa/visa.h"

namespace qvz {
namespace visa {

// viOpenDefaultRM through `library`; registers a resource-manager session of
// ours for the library's and stores our handle in `*rm`. May throw
// std::bad_alloc before the library is called.
ViStatus ForwardOpenDefaultRM(std::shared_ptr<const InstalledVisa> library, ViSession* rm);

// viOpen through the library of `manager` (our handle `rm`); registers the
// new instrument session and stores our handle in `*vi`.
ViStatus ForwardOpen(ViSession rm, const std::shared_ptr<Session>& manager, const char* resource,
                     ViAccessMode mode, ViUInt32 openTimeout, ViSession* vi);

// viClose of `session`, already taken out of the table. For a resource
// manager, `children` are its instrument sessions taken out with it; the
// library closes them together with the manager.
ViStatus ForwardClose(Session& session, const std::vector<std::shared_ptr<Session>>& children);

ViStatus ForwardSetAttribute(Session& session, ViAttr attribute, ViAttrState value);
// VI_ERROR_NSUP_OPER when the library has no viGetAttribute.
ViStatus ForwardGetAttribute(Session& session, ViAttr attribute, void* value);
ViStatus ForwardVPrintf(Session& session, const char* writeFormat, va_list args);
// VI_ERROR_NSUP_OPER when the library has no viVScanf.
ViStatus ForwardVScanf(Session& session, const char* readFormat, va_list args);
ViStatus ForwardVQueryf(Session& session, const char* writeFormat, const char* readFormat,
                        va_list args);
ViStatus ForwardClear(Session& session);

}  // namespace visa
}  // namespace qvz

#endif
