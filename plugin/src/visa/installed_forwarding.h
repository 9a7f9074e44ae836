// The installed VISA library as a VisaLibrary: each call goes to the library
// whole, its formats and va_list untouched, with the library's own handle in
// place of ours. Our handles come from the one session table, so they never
// clash with those of the built-in library, whatever numbers the installed
// one hands out.
#ifndef QVZ_VISA_INSTALLED_FORWARDING_H
#define QVZ_VISA_INSTALLED_FORWARDING_H

#include <memory>

#include "visa/installed_visa.h"
#include "visa/visa_library.h"

namespace qvz {
namespace visa {

// The implementation forwarding to `library`, which stays loaded while it
// or any session opened through it lives.
std::shared_ptr<VisaLibrary> ForwardingTo(std::shared_ptr<const InstalledVisa> library);

}  // namespace visa
}  // namespace qvz

#endif
