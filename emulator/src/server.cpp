#include "qvzsim/server.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <iterator>
#include <string_view>
#include <utility>

#include "net/socket.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/session.h"

namespace qvzsim {
namespace {

// Waits on sockets are bounded so that a stop is noticed within this time
// even where shutting a socket down does not wake its waiter.
constexpr int kPollMs = 50;
// A program message longer than this (1 MiB) is refused with -223.
constexpr std::size_t kMaxMessageBytes = std::size_t{1} << 20;
constexpr std::size_t kReceiveChunk = std::size_t{1} << 16;

}  // namespace

std::string FormatEndpoint(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

struct Server::Network {
    bool librarySetUp = false;
    net::Socket listener;
};

struct Server::Connection {
    int id = 0;
    net::Socket socket;
    std::thread thread;
    std::atomic<bool> finished{false};
};

Server::Server(ServerOptions options)
    : options_(std::move(options)),
      logger_(options_.log, options_.quiet),
      instrument_(options_.instrument, &logger_),
      network_(std::make_unique<Network>()) {}

Server::~Server() { stop(); }

bool Server::start(std::string* error) {
    std::string problem;
    if (running_.load()) {
        problem = "the server is already running";
    } else if (!net::Startup(problem)) {
        // problem says why
    } else {
        network_->librarySetUp = true;
        if (!net::Listen(options_.bindAddress, options_.port, network_->listener, port_, problem)) {
            net::Cleanup();
            network_->librarySetUp = false;
        }
    }
    if (!problem.empty()) {
        if (error != nullptr) {
            *error = problem;
        }
        return false;
    }
    stopping_.store(false);
    running_.store(true);
    acceptThread_ = std::thread(&Server::acceptLoop, this);
    return true;
}

void Server::stop() {
    if (!running_.exchange(false)) {
        return;
    }
    stopping_.store(true);
    network_->listener.shutdownBoth();  // wakes the accept wait at once on Linux
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    network_->listener.close();
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const std::unique_ptr<Connection>& connection : connections_) {
            connection->socket.shutdownBoth();
        }
    }
    reapFinished(true);
    if (network_->librarySetUp) {
        net::Cleanup();
        network_->librarySetUp = false;
    }
    logger_.write("stopped");
}

void Server::reapFinished(bool all) {
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (all || (*it)->finished.load()) {
                done.splice(done.end(), connections_, it);
            }
            it = next;
        }
    }
    // Sockets close only here, after their thread has ended, so a stop that
    // shuts them down never touches a reused descriptor.
    for (const std::unique_ptr<Connection>& connection : done) {
        if (connection->thread.joinable()) {
            connection->thread.join();
        }
    }
}

void Server::acceptLoop() {
    while (!stopping_.load()) {
        const net::WaitResult wait = network_->listener.waitReadable(kPollMs);
        reapFinished(false);
        if (stopping_.load()) {
            break;
        }
        if (wait == net::WaitResult::kError) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        if (wait != net::WaitResult::kReady) {
            continue;
        }
        net::Socket socket = net::Accept(network_->listener);
        if (!socket.valid()) {
            continue;
        }
        socket.setNoDelay();
        auto connection = std::make_unique<Connection>();
        connection->id = nextConnectionId_.fetch_add(1);
        connection->socket = std::move(socket);
        logger_.write("#" + std::to_string(connection->id) + " connected");
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        Connection& ref = *connection;
        connections_.push_back(std::move(connection));
        ref.thread = std::thread(&Server::serve, this, std::ref(ref));
    }
}

void Server::serve(Connection& connection) {
    Session session(instrument_, faults_, &logger_, connection.id);
    std::string pending;
    std::size_t scanned = 0;  // bytes of `pending` known to hold no line feed
    bool discarding = false;  // inside a message that was too long
    std::string chunk(kReceiveChunk, '\0');
    bool open = true;

    auto pause = [this](int milliseconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!stopping_.load() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };

    while (open && !stopping_.load()) {
        const net::WaitResult wait = connection.socket.waitReadable(kPollMs);
        if (wait == net::WaitResult::kTimeout) {
            continue;
        }
        if (wait == net::WaitResult::kError) {
            break;
        }
        const long long got = connection.socket.receive(&chunk[0], chunk.size());
        if (got <= 0) {
            break;  // the client closed, or the socket failed
        }
        std::string_view incoming(chunk.data(), static_cast<std::size_t>(got));
        if (discarding) {
            const std::size_t newline = incoming.find('\n');
            if (newline == std::string_view::npos) {
                continue;
            }
            incoming.remove_prefix(newline + 1);
            discarding = false;
        }
        pending.append(incoming.data(), incoming.size());

        std::size_t start = 0;
        for (;;) {
            const std::size_t newline = pending.find('\n', std::max(start, scanned));
            if (newline == std::string::npos) {
                break;
            }
            const MessageOutcome outcome =
                session.handleMessage(std::string_view(pending).substr(start, newline - start));
            start = newline + 1;
            if (outcome.delayMs > 0) {
                pause(outcome.delayMs);
            }
            if (!outcome.reply.empty() && !stopping_.load() &&
                !connection.socket.sendAll(outcome.reply.data(), outcome.reply.size())) {
                open = false;
                break;
            }
            if (outcome.closeConnection) {
                open = false;
                break;
            }
        }
        pending.erase(0, start);
        scanned = pending.size();
        if (pending.size() > kMaxMessageBytes) {
            logger_.write("#" + std::to_string(connection.id) + " message over 1 MiB discarded");
            instrument_.pushError(errors::kTooMuchData);
            pending.clear();
            scanned = 0;
            discarding = true;
        }
    }
    connection.socket.shutdownBoth();
    logger_.write("#" + std::to_string(connection.id) + " disconnected");
    connection.finished.store(true);
}

}  // namespace qvzsim
