// Linked by the test programs that open VISA sessions (qvz_builtin_visa_only):
// they exercise the built-in VISA library (or a scripted backend) whatever
// VISA library the machine running them has installed. Tests of the
// installed-library path set their own candidates.
#include "visa/installed_visa.h"

namespace {

const bool kBuiltInVisaOnly = [] {
    qvz::visa::SetInstalledVisaCandidatesForTesting({});
    return true;
}();

}  // namespace
