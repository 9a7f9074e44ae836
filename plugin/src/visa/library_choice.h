// Which VISA library opens a resource manager. A backend plugged in by a test
// (backend.h) stands for the instrument itself and is reached through the
// built-in library; otherwise the installed library chosen once for the
// process (installed_visa.h) when there is one, else the built-in library.
#ifndef QVZ_VISA_LIBRARY_CHOICE_H
#define QVZ_VISA_LIBRARY_CHOICE_H

#include <memory>

#include "visa/visa_library.h"

namespace qvz {
namespace visa {

// Never null. Thread-safe.
std::shared_ptr<VisaLibrary> ChosenVisaLibrary();

}  // namespace visa
}  // namespace qvz

#endif
