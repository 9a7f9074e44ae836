#include "qvzsim/server.h"

#include <algorithm>
#include <chrono>
#include <exception>
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

// A log line that cannot fail, for the last word of a failing thread.
// `connection` 0 names none.
void LogSafely(Logger& logger, int connection, const char* text, const char* detail = "") noexcept {
    try {
        const std::string prefix =
            connection > 0 ? "#" + std::to_string(connection) + " " : std::string();
        logger.Write(prefix + text + detail);
    } catch (...) {
        // Nothing left to tell it with.
    }
}

}  // namespace

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
      traffic_(options_.recordMessages),
      network_(std::make_unique<Network>()) {}

Server::~Server() {
    Stop();
}

bool Server::Start(std::string* error) {
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
    acceptThread_ = std::thread(&Server::AcceptLoop, this);
    return true;
}

void Server::Stop() {
    if (!running_.exchange(false)) {
        return;
    }
    stopping_.store(true);
    network_->listener.ShutdownBoth();  // wakes the accept wait at once on Linux
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    network_->listener.Close();
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const std::unique_ptr<Connection>& connection : connections_) {
            connection->socket.ShutdownBoth();
        }
    }
    ReapFinished(true);
    if (network_->librarySetUp) {
        net::Cleanup();
        network_->librarySetUp = false;
    }
    logger_.Write("stopped");
}

void Server::ReapFinished(bool all) {
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

void Server::AcceptLoop() {
    while (!stopping_.load()) {
        const net::WaitResult wait = network_->listener.WaitReadable(kPollMs);
        ReapFinished(false);
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
        if (!socket.Valid()) {
            continue;
        }
        try {
            std::lock_guard<std::mutex> lock(connectionsMutex_);
            // Finished connections were reaped just now; one still ending
            // counts as open, which errs on the safe side.
            if (connections_.size() >=
                static_cast<std::size_t>(std::max(options_.maxConnections, 1))) {
                logger_.Write("connection refused: " + std::to_string(connections_.size()) +
                              " connections open, the most served at once");
                continue;  // the socket closes here
            }
            socket.SetNoDelay();
            auto connection = std::make_unique<Connection>();
            connection->id = nextConnectionId_.fetch_add(1);
            connection->socket = std::move(socket);
            logger_.Write("#" + std::to_string(connection->id) + " connected");
            Connection& ref = *connection;
            connections_.push_back(std::move(connection));
            try {
                ref.thread = std::thread(&Server::Serve, this, std::ref(ref));
            } catch (...) {
                connections_.pop_back();
                throw;
            }
        } catch (const std::exception& failure) {
            // No thread or no memory for this one: it is closed, the others
            // and the listener carry on.
            LogSafely(logger_, 0, "connection dropped: ", failure.what());
        }
    }
}

void Server::Serve(Connection& connection) {
    // Nothing may escape a connection's thread: it would end the program.
    try {
        ServeMessages(connection);
    } catch (const std::exception& failure) {
        LogSafely(logger_, connection.id, "connection failed: ", failure.what());
    } catch (...) {
        LogSafely(logger_, connection.id, "connection failed");
    }
    connection.socket.ShutdownBoth();
    LogSafely(logger_, connection.id, "disconnected");
    connection.finished.store(true);
}

void Server::ServeMessages(Connection& connection) {
    Session session(instrument_, faults_, &logger_, connection.id, &stopping_);
    std::string pending;
    std::size_t scanned = 0;  // bytes of `pending` known to hold no line feed
    bool discarding = false;  // inside a message that was too long
    std::string chunk(kReceiveChunk, '\0');
    bool open = true;

    while (open && !stopping_.load()) {
        const net::WaitResult wait = connection.socket.WaitReadable(kPollMs);
        if (wait == net::WaitResult::kTimeout) {
            continue;
        }
        // A client that closes with replies unread resets the connection,
        // which the wait may report as an error: a hang-up all the same.
        const long long got = wait == net::WaitResult::kError
                                  ? -1
                                  : connection.socket.Receive(&chunk[0], chunk.size());
        if (got <= 0) {
            if (!stopping_.load()) {
                traffic_.AddHangUp();  // the client closed, or the socket failed
            }
            break;
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
            traffic_.AddMessage(std::string_view(pending).substr(start, newline + 1 - start));
            MessageOutcome outcome;
            try {
                outcome =
                    session.HandleMessage(std::string_view(pending).substr(start, newline - start));
            } catch (const std::exception& failure) {
                // The message is lost, the connection is not.
                LogSafely(logger_, connection.id, "message failed: ", failure.what());
                instrument_.PushError(errors::kExecutionError);
            }
            start = newline + 1;
            Pause(std::chrono::milliseconds(outcome.delayMs));
            if (!outcome.reply.empty() && !SendReply(connection, outcome.reply)) {
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
            logger_.Write("#" + std::to_string(connection.id) + " message over 1 MiB discarded");
            instrument_.PushError(errors::kTooMuchData);
            pending.clear();
            scanned = 0;
            discarding = true;
        }
    }
}

bool Server::SendReply(const Connection& connection, const std::string& reply) {
    const ReplySegmentation segmentation = faults_.Segmentation();
    const std::size_t segment = segmentation.bytes == 0 ? reply.size() : segmentation.bytes;
    for (std::size_t sent = 0; sent < reply.size(); sent += segment) {
        if (sent > 0) {
            Pause(std::chrono::microseconds(segmentation.pauseMicroseconds));
        }
        const std::size_t size = std::min(segment, reply.size() - sent);
        if (stopping_.load() ||
            !connection.socket.SendAllUnless(reply.data() + sent, size, stopping_, kPollMs)) {
            return false;
        }
    }
    return true;
}

void Server::Pause(std::chrono::microseconds duration) const {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stopping_.load() && std::chrono::steady_clock::now() < until) {
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
    }
}

}  // namespace qvzsim
