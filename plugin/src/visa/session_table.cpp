#include "visa/session_table.h"

#include <utility>

namespace qvz {
namespace visa {

ViSession SessionTable::Add(std::shared_ptr<Session> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sessions_.size() >= 0xFFFFFFFEu) {
        return VI_NULL;
    }
    ViSession handle = next_;
    while (handle == VI_NULL || sessions_.count(handle) != 0) {
        ++handle;
    }
    next_ = handle + 1;
    sessions_.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> SessionTable::Find(ViSession handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(handle);
    return it == sessions_.end() ? nullptr : it->second;
}

std::shared_ptr<Session> SessionTable::Remove(ViSession handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(handle);
    if (it == sessions_.end()) {
        return nullptr;
    }
    std::shared_ptr<Session> session = std::move(it->second);
    sessions_.erase(it);
    return session;
}

std::vector<std::shared_ptr<Session>> SessionTable::RemoveChildren(ViSession parent) {
    std::vector<std::shared_ptr<Session>> children;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->second->kind == Session::Kind::kInstrument && it->second->parent == parent) {
            children.push_back(std::move(it->second));
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return children;
}

std::size_t SessionTable::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

SessionTable& SessionTable::Instance() {
    // Never destroyed: a destructor would run when the library is unloaded,
    // inside its entry point on Windows, and close the sockets of sessions a
    // host left open there. Those stay open until the process ends instead.
    static SessionTable* const table = new SessionTable;
    return *table;
}

}  // namespace visa
}  // namespace qvz
