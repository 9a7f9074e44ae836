// Linked into every test program that uses the library: the tests exercise
// the built-in VISA layer (or a scripted one) whatever VISA library the
// machine running them has installed. Tests of the installed-library path
// set their own candidates.
#include "visa/installed_visa.h"

namespace {

const bool kBuiltInVisaOnly = [] {
    qvz::visa::SetInstalledVisaCandidatesForTesting({});
    return true;
}();

}  // namespace
