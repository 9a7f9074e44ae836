// The built-in backend: every socket resource is a TCP connection.
#include <memory>

#include "visa/backend.h"
#include "visa/socket_transport.h"

namespace qvz {
namespace visa {
namespace {

class TcpSocketBackend final : public Backend {
public:
    // A resource manager has no connection of its own.
    ViStatus OpenDefaultRM() override { return VI_SUCCESS; }
    ViStatus CloseDefaultRM() override { return VI_SUCCESS; }

    ViStatus Open(const SocketResource& resource, const char* /*text*/,
                  std::unique_ptr<Transport>* transport) override {
        return ConnectTcp(resource.host, resource.port, Deadline::After(kConnectTimeoutMs),
                          transport);
    }

    // A raw socket has no device clear of its own: dropping what has arrived
    // cannot catch a late reply still in flight. A new connection can.
    bool ReconnectsOnClear() const override { return true; }
};

}  // namespace

std::shared_ptr<Backend> SocketBackend() {
    static const std::shared_ptr<Backend> backend = std::make_shared<TcpSocketBackend>();
    return backend;
}

}  // namespace visa
}  // namespace qvz
