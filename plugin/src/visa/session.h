// One open VISA session as the session table holds it: a resource manager or
// an instrument session, and the VISA library implementation that opened it
// and serves every call on it. Each implementation derives its own session
// type with what it keeps per session.
#ifndef QVZ_VISA_SESSION_H
#define QVZ_VISA_SESSION_H

#include <memory>
#include <mutex>
#include <utility>

#include "visa/visa.h"

namespace qvz {
namespace visa {

class VisaLibrary;

struct Session {
    enum class Kind { kResourceManager, kInstrument };

    Session(Kind kind_, ViSession parent_, std::shared_ptr<VisaLibrary> library_)
        : kind(kind_), parent(parent_), library(std::move(library_)) {}
    virtual ~Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Kind kind;
    const ViSession parent;  // the resource manager of an instrument session
    // Kept alive while the session lives (an installed library stays loaded).
    const std::shared_ptr<VisaLibrary> library;

    // Held for each operation on the session: one thread at a time does I/O,
    // and a close waits for the operation in progress to end.
    std::mutex io;
};

}  // namespace visa
}  // namespace qvz

#endif
