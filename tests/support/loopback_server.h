// A small TCP server on 127.0.0.1 for socket tests. One thread accepts
// connections, splits what each sends into lines (through '\n'), records
// them and answers each with what the handler returns. It can stay silent,
// dribble replies out in small segments, push bytes unasked and close
// connections; it notices when a client closes its end. Every wait is bounded
// and the destructor stops the thread. Sockets through loopback_socket.h
// (POSIX and Winsock).
#ifndef QVZ_TESTING_LOOPBACK_SERVER_H
#define QVZ_TESTING_LOOPBACK_SERVER_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"

namespace qvz {
namespace testing {

class LoopbackServer {
public:
    // Gets each received line ('\n' included); the bytes to send back, or
    // std::nullopt for no reply. Runs on the server thread.
    using Handler = std::function<std::optional<std::string>(const std::string& line)>;

    explicit LoopbackServer(Handler handler = nullptr);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string Resource() const;

    void SetHandler(Handler handler);
    // While silent, lines are recorded but never answered.
    void SetSilent(bool silent);
    // Sends each reply in segments of `segmentBytes` with `pause` between
    // them (0 bytes: whole).
    void SetSegmentation(std::size_t segmentBytes, std::chrono::microseconds pause);

    // Sends `bytes` unasked on the newest open connection.
    void Send(std::string bytes);
    // Closes every open connection from the server's side.
    void CloseConnections();

    std::vector<std::string> Lines() const;
    int ConnectionsAccepted() const;
    // Connections whose client closed its end (the server saw end of stream).
    int PeerDisconnects() const;

    bool WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForConnections(int count, std::chrono::milliseconds timeout) const;
    // True once at least `count` clients have closed their end.
    bool WaitForDisconnect(std::chrono::milliseconds timeout, int count = 1) const;
    // Waits until the server thread has carried out every send and close
    // asked for so far.
    bool WaitForIdle(std::chrono::milliseconds timeout) const;

    // A loopback port with nothing listening on it (bound, then released).
    static std::uint16_t UnusedPort();

private:
    struct Connection {
        loopback::Handle socket;
        std::string input;
    };
    struct Command {
        enum class Kind { kSend, kClose } kind;
        std::string bytes;
    };

    void Run();
    void Wake();
    void AcceptOne();
    // False when the connection ended.
    bool ReadFrom(Connection& connection);
    void SendReply(loopback::Handle socket, const std::string& bytes);
    void RunCommands();

    loopback::Handle listener_ = loopback::kInvalidHandle;
    loopback::Handle wake_ = loopback::kInvalidHandle;
    std::uint16_t port_ = 0;
    std::vector<Connection> connections_;  // server thread only

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Handler handler_;
    bool silent_ = false;
    std::size_t segmentBytes_ = 0;
    std::chrono::microseconds pause_{0};
    std::deque<Command> commands_;
    std::vector<std::string> lines_;
    int accepted_ = 0;
    int peerDisconnects_ = 0;
    bool stop_ = false;

    std::thread thread_;
};

}  // namespace testing
}  // namespace qvz

#endif
