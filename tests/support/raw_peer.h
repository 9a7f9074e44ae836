// A bare TCP peer on 127.0.0.1 for what no analyzer does: it records every
// line ('\n' included) byte for byte, answers each through a handler or not
// at all, dribbles replies out in chosen segments, pushes bytes unasked,
// hangs up, and counts the clients that hang up on it. Built on the
// emulator's socket layer: one thread accepts, one serves each connection.
// Every wait is bounded and the destructor stops every thread. Where a real
// analyzer is wanted, tests run qvzsim::Server instead.
#ifndef QVZ_TESTING_RAW_PEER_H
#define QVZ_TESTING_RAW_PEER_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"

namespace qvz {
namespace testing {

class RawPeer {
public:
    // Gets each received line ('\n' included); the bytes to send back, or
    // std::nullopt for no reply. Runs on the connection's thread, so a
    // handler shared by several connections must be thread-safe.
    using Handler = std::function<std::optional<std::string>(const std::string& line)>;

    explicit RawPeer(Handler handler = nullptr);
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string Resource() const;

    void SetHandler(Handler handler);
    // While silent, lines are recorded but never answered.
    void SetSilent(bool silent);
    // Sends each reply in segments of `segmentBytes` with `pause` between
    // them (0 bytes: whole).
    void SetSegmentation(std::size_t segmentBytes, std::chrono::microseconds pause);

    // Sends `bytes` unasked on the newest open connection; returns once sent.
    void Send(const std::string& bytes);
    // Hangs up every open connection; returns once they are closed.
    void CloseConnections();

    std::vector<std::string> Lines() const;
    int ConnectionsAccepted() const;
    // Connections whose client closed its end (end of stream or failure).
    int PeerDisconnects() const;

    bool WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForConnections(int count, std::chrono::milliseconds timeout) const;
    // True once at least `count` clients have closed their end.
    bool WaitForDisconnect(std::chrono::milliseconds timeout, int count = 1) const;

    // A loopback port with nothing listening on it (bound, then released).
    static std::uint16_t UnusedPort();

private:
    struct Connection {
        qvzsim::net::Socket socket;
        std::mutex sending;  // a reply and an unasked send never interleave
        std::atomic<bool> hungUpHere{false};
        std::atomic<bool> finished{false};
        std::thread thread;
    };

    void AcceptLoop();
    void Serve(Connection& connection);
    void Answer(Connection& connection, const std::string& line);
    void SendSegmented(Connection& connection, const std::string& bytes);
    // Joins and drops the connections whose thread has ended (all: every one).
    void Reap(bool all);
    void Count(int& counter);

    qvzsim::net::Socket listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Handler handler_;
    bool silent_ = false;
    std::size_t segmentBytes_ = 0;
    std::chrono::microseconds pause_{0};
    std::vector<std::string> lines_;
    int accepted_ = 0;
    int peerDisconnects_ = 0;

    std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::thread acceptThread_;
};

}  // namespace testing
}  // namespace qvz

#endif
