// Handle to session map shared by every host thread. Resource-manager and
// instrument sessions share one handle space; handles come from a 32-bit
// counter that skips 0 and handles still in use, so a closed handle is not
// given out again until the counter has gone round.
#ifndef QVZ_VISA_SESSION_TABLE_H
#define QVZ_VISA_SESSION_TABLE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "visa/session.h"

namespace qvz {
namespace visa {

class SessionTable {
public:
    // Registers `session`; its new handle, or VI_NULL when every handle is
    // taken. May throw std::bad_alloc.
    ViSession Add(std::shared_ptr<Session> session);

    // The session of `handle`, or null.
    std::shared_ptr<Session> Find(ViSession handle) const;

    // Unregisters `handle`; the session, or null when it was not there.
    std::shared_ptr<Session> Remove(ViSession handle);

    // Unregisters every session whose parent is `parent`.
    std::vector<std::shared_ptr<Session>> RemoveChildren(ViSession parent);

    std::size_t Size() const;

    // The table of the process.
    static SessionTable& Instance();

private:
    mutable std::mutex mutex_;
    std::unordered_map<ViSession, std::shared_ptr<Session>> sessions_;
    ViSession next_ = 1;
};

}  // namespace visa
}  // namespace qvz

#endif
