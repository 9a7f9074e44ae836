// The emulator as an in-process TCP server, for the qvzsim program and for
// tests:
//
//   qvzsim::ServerOptions options;
//   options.port = 0;          // any free port
//   options.quiet = true;
//   qvzsim::Server server(options);  // throws on an invalid instrument config
//   if (!server.Start()) ...;  // false when the address cannot be bound
//   ... connect to 127.0.0.1:server.Port() ...
//   server.GetFaults().Silence("SENS:SWE:POIN?");
//   qvzsim::InstrumentSnapshot s = server.Snapshot();
//   server.Stop();             // the destructor stops too
//
// Each client gets its own connection thread; all share one Instrument.
#ifndef QVZSIM_SERVER_H
#define QVZSIM_SERVER_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/instrument_state.h"
#include "qvzsim/logger.h"
#include "qvzsim/traffic_record.h"

namespace qvzsim {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    std::uint16_t port = 5025;  // 0 picks a free port; see Server::port()
    InstrumentConfig instrument;
    bool quiet = false;
    std::ostream* log = nullptr;  // nullptr: standard output
    // Connections served at once (one thread each); one more is accepted
    // and closed at once. At least 1.
    int maxConnections = 64;
    // Keeps every program message received, for tests that check the bytes
    // on the wire (Server::Traffic()).
    bool recordMessages = false;
};

class Server {
public:
    // Throws std::invalid_argument when options.instrument is invalid, as
    // Instrument does (Instrument::ValidateConfig says why beforehand).
    explicit Server(ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds, listens and starts accepting. Returns false (with the reason in
    // *error when given) if the network cannot be set up, the address cannot
    // be bound or the server already runs.
    bool Start(std::string* error = nullptr);
    // Closes the listener and every connection and joins their threads.
    // Safe to call more than once.
    void Stop();
    bool Running() const { return running_.load(); }

    // The port actually listened on (the chosen one when options.port is 0).
    std::uint16_t Port() const { return port_; }

    Instrument& GetInstrument() { return instrument_; }
    InstrumentSnapshot Snapshot() const { return instrument_.Snapshot(); }
    Faults& GetFaults() { return faults_; }
    // Connections accepted so far.
    int ConnectionsAccepted() const { return nextConnectionId_.load() - 1; }
    // The messages received (with options.recordMessages) and the clients
    // that hung up.
    const TrafficRecord& Traffic() const { return traffic_; }

private:
    struct Connection;
    struct Network;

    void AcceptLoop();
    void Serve(Connection& connection);
    void ServeMessages(Connection& connection);
    // Sends a reply as the faults' segmentation says; false when the
    // connection failed or the server stops.
    bool SendReply(const Connection& connection, const std::string& reply);
    // Waits, unless the server stops first.
    void Pause(std::chrono::microseconds duration) const;
    void ReapFinished(bool all);

    ServerOptions options_;
    Logger logger_;
    Instrument instrument_;
    Faults faults_;
    TrafficRecord traffic_;
    std::unique_ptr<Network> network_;
    std::uint16_t port_ = 0;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<int> nextConnectionId_{1};
    std::thread acceptThread_;
    std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace qvzsim

#endif
