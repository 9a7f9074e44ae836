// The emulator against clients that misbehave: they stop reading, name a
// FIFO as a Touchstone file or open more connections than it serves. The
// server must stay in charge and stop when told.
#include "qvzsim/server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "qvzsim/client.h"
#include "qvzsim/instrument_state.h"
#include "qvzsim/scpi_parser.h"
#include "test_files.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

using qvzsim::Client;
using qvzsim::Server;
using qvzsim::ServerOptions;

// A log sink the test can wait on while the server writes to it.
class WatchedLog {
public:
    std::ostream* Stream() { return &stream_; }
    bool WaitFor(const std::string& part, std::chrono::milliseconds timeout) {
        return buffer_.WaitFor(part, timeout);
    }
    std::string Text() { return buffer_.Text(); }

private:
    class Buffer : public std::streambuf {
    public:
        bool WaitFor(const std::string& part, std::chrono::milliseconds timeout) {
            std::unique_lock<std::mutex> lock(mutex_);
            return changed_.wait_for(lock, timeout,
                                     [&] { return text_.find(part) != std::string::npos; });
        }
        std::string Text() {
            std::lock_guard<std::mutex> lock(mutex_);
            return text_;
        }

    protected:
        int_type overflow(int_type c) override {
            if (c != traits_type::eof()) {
                const char ch = traits_type::to_char_type(c);
                xsputn(&ch, 1);
            }
            return traits_type::not_eof(c);
        }
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                text_.append(s, static_cast<std::size_t>(n));
            }
            changed_.notify_all();
            return n;
        }

    private:
        std::mutex mutex_;
        std::condition_variable changed_;
        std::string text_;
    };

    Buffer buffer_;
    std::ostream stream_{&buffer_};
};

ServerOptions Logged(WatchedLog& log) {
    ServerOptions options;
    options.port = 0;
    options.log = log.Stream();
    return options;
}

void Connect(const Server& server, Client& client) {
    std::string error;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), &error)) << error;
}

TEST(ServerLimits, StopsWhateverItsClientsDo) {
    WatchedLog log;
    ServerOptions options = Logged(log);
    options.instrument.sweep.points = qvzsim::kMaxPoints;
    Server server(options);
    ASSERT_TRUE(server.Start());

    // A client that asks for tens of megabytes and never reads them: the
    // connection's thread is stuck sending.
    Client deaf;
    Connect(server, deaf);
    std::string lists = "SENS:FREQ:DATA?";
    for (int i = 1; i < 10; ++i) {
        lists += ";SENS:FREQ:DATA?";
    }
    ASSERT_TRUE(deaf.Send(lists));
    ASSERT_TRUE(log.WaitFor("#1 -> ", std::chrono::seconds(60))) << log.Text();

#ifndef _WIN32
    // A client that names a FIFO nobody writes to.
    qvzsim_test::TempDir dir;
    const std::string fifo = dir.File("fifo.s2p");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Client piped;
    Connect(server, piped);
    ASSERT_TRUE(piped.Send("CALC:FSIM:SEND:DEEM:PORT1:USER:FIL " + qvzsim::QuoteString(fifo) +
                           ";:SYST:ERR?"));
    int writer = -1;  // held open while the server would be reading the FIFO
    std::optional<std::string> refusal;
    for (int i = 0; i < 250 && !refusal && writer < 0; ++i) {
        refusal = piped.ReadLine(20);
        if (!refusal) {
            writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        }
    }
    EXPECT_LT(writer, 0) << "the server opened the FIFO";
    EXPECT_EQ(refusal.value_or("").rfind("101,\"Not a valid two-port Touchstone file; ", 0), 0u)
        << refusal.value_or("(no reply)");
#endif

    auto stopping = std::async(std::launch::async, [&] { server.Stop(); });
    const bool stopped = stopping.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    EXPECT_TRUE(stopped) << "stop waits on its clients";
    if (!stopped) {
        // Release the stuck connections so that the test ends either way.
#ifndef _WIN32
        if (writer >= 0) {
            ::close(writer);
        }
#endif
        deaf.Close();
    }
    stopping.get();
    EXPECT_FALSE(server.Running());
#ifndef _WIN32
    if (writer >= 0) {
        ::close(writer);
    }
#endif
}

TEST(ServerLimits, ConnectionsBeyondTheLimitAreAcceptedAndClosed) {
    WatchedLog log;
    ServerOptions options = Logged(log);
    options.maxConnections = 2;
    Server server(options);
    ASSERT_TRUE(server.Start());

    Client first;
    Client second;
    Connect(server, first);
    Connect(server, second);
    EXPECT_EQ(first.Query("*OPC?"), "1");
    EXPECT_EQ(second.Query("*OPC?"), "1");

    Client third;
    Connect(server, third);  // the system completes the handshake
    EXPECT_TRUE(third.WaitForClose(5000));
    EXPECT_TRUE(log.WaitFor("connection refused: 2 connections open", std::chrono::seconds(5)))
        << log.Text();
    EXPECT_EQ(server.ConnectionsAccepted(), 2);
    EXPECT_EQ(second.Query(":SYST:ERR?"), "0,\"No error\"");

    // A place given up is free again once the server has seen it go.
    first.Close();
    ASSERT_TRUE(log.WaitFor("#1 disconnected", std::chrono::seconds(5))) << log.Text();
    std::optional<std::string> answer;
    for (int attempt = 0; attempt < 50 && !answer; ++attempt) {
        Client fourth;
        Connect(server, fourth);
        answer = fourth.Query("*OPC?", 2000);
        if (!answer) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_EQ(answer, "1");
    EXPECT_EQ(second.Query("*OPC?"), "1");
}

#ifndef _WIN32
// A burst of clients completes its handshakes even before any is accepted:
// the listen backlog is the system's, not a handful. A client beyond the
// backlog would wait for TCP's retries, which a listener that accepts
// nothing never satisfies, so the bounded wait below tells the two apart.
TEST(ServerLimits, ABurstOfClientsFitsTheListenBacklog) {
    std::string error;
    ASSERT_TRUE(qvzsim::net::Startup(error)) << error;
    qvzsim::net::Socket listener;
    std::uint16_t port = 0;
    ASSERT_TRUE(qvzsim::net::Listen("127.0.0.1", 0, listener, port, error)) << error;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ASSERT_EQ(::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr), 1);
    constexpr int kClients = 100;
    std::vector<pollfd> clients;
    for (int i = 0; i < kClients; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        clients.push_back(pollfd{fd, POLLOUT, 0});
        const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ASSERT_TRUE(rc == 0 || errno == EINPROGRESS) << std::strerror(errno);
    }
    int connected = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (connected < kClients && std::chrono::steady_clock::now() < deadline) {
        ::poll(clients.data(), clients.size(), 100);  // entries already done (fd -1) are skipped
        for (pollfd& client : clients) {
            if (client.fd < 0 || (client.revents & POLLOUT) == 0) {
                continue;
            }
            int problem = 0;
            socklen_t length = sizeof problem;
            if (::getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &problem, &length) == 0 &&
                problem == 0) {
                ++connected;
            }
            ::close(client.fd);
            client.fd = -1;
        }
    }
    for (const pollfd& client : clients) {
        if (client.fd >= 0) {
            ::close(client.fd);
        }
    }
    EXPECT_EQ(connected, kClients);
    listener.Close();
    qvzsim::net::Cleanup();
}
#endif

}  // namespace
