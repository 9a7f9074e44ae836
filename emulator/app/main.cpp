// qvzsim: the analyzer emulator as a program. Everything but the command
// line, the signals and the exit report lives in qvzsim_core.
#include <chrono>
#include <cstdlib>
#include <future>
#include <iostream>
#include <string>
#include <thread>

#include "http_screen.h"
#include "qvzsim/cli_options.h"
#include "qvzsim/client.h"
#include "qvzsim/endpoint.h"
#include "qvzsim/server.h"
#include "qvzsim/state_report.h"
#include "stop_signal.h"

namespace {

// A stop must end the program this soon after the signal, whatever its
// clients are doing (the main loop notices the signal within 50 ms).
constexpr auto kStopGrace = std::chrono::milliseconds(1500);

// Client mode: send each message; a query's reply is printed.
int SendMessages(const qvzsim::CommandLine& commandLine) {
    qvzsim::Client client;
    std::string error;
    if (!client.Connect(commandLine.server.bindAddress, commandLine.server.port, &error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    for (const std::string& message : commandLine.send) {
        if (!qvzsim::ExpectsReply(message)) {
            if (!client.Send(message)) {
                std::cerr << "qvzsim: sending failed\n";
                return 1;
            }
            continue;
        }
        std::optional<std::string> reply = client.Query(message, 5000);
        if (!reply) {
            std::cerr << "qvzsim: no reply to " << message << '\n';
            return 1;
        }
        std::cout << *reply << '\n';
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qvzsim::CommandLine commandLine;
    const std::string problem = qvzsim::ParseCommandLine(argc, argv, commandLine);
    if (!problem.empty()) {
        std::cerr << "qvzsim: " << problem << "\n" << qvzsim::UsageText();
        return 2;
    }
    if (commandLine.help) {
        std::cout << qvzsim::UsageText();
        return 0;
    }
    if (commandLine.version) {
        std::cout << "qvzsim " << qvzsim::VersionText() << '\n';
        return 0;
    }
    if (!commandLine.send.empty()) {
        return SendMessages(commandLine);
    }

    qvzsim::app::InstallStopHandlers();

    qvzsim::Server server(commandLine.server);
    for (const auto& [port, file] : commandLine.devices) {
        const qvzsim::ErrorEntry outcome = server.GetInstrument().LoadDevice(port, file);
        if (outcome.code != 0) {
            std::cerr << "qvzsim: --dut " << port << "=" << file << ": " << outcome.message << '\n';
            return 2;
        }
    }
    std::string error;
    if (!server.Start(&error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    qvzsim::HttpScreen screen(server.GetInstrument());
    if (commandLine.httpPort >= 0 &&
        !screen.Start(commandLine.server.bindAddress,
                      static_cast<std::uint16_t>(commandLine.httpPort), &error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    // Printed even when quiet, and only here: a script that asked for port 0
    // reads it from this line.
    std::cout << "qvzsim listening on "
              << qvzsim::FormatEndpoint(commandLine.server.bindAddress, server.Port()) << std::endl;
    if (commandLine.httpPort >= 0) {
        std::cout << "qvzsim screen on http://"
                  << qvzsim::FormatEndpoint(commandLine.server.bindAddress, screen.Port()) << "/"
                  << std::endl;
    }

    while (!qvzsim::app::StopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    screen.Stop();
    // Connections end within a poll interval, but one command can run for
    // seconds (a 256 MiB file to parse): past the grace the program ends
    // without waiting for them.
    std::promise<void> stoppedPromise;
    std::future<void> stopped = stoppedPromise.get_future();
    std::thread stopper([&server, &stoppedPromise] {
        server.Stop();
        stoppedPromise.set_value();
    });
    if (stopped.wait_for(kStopGrace) != std::future_status::ready) {
        std::cerr << "qvzsim: a connection is still busy; stopping without it\n";
        std::cout << qvzsim::FormatStateText(server.Snapshot()) << std::flush;
        qvzsim::app::StopCompleted();
        std::_Exit(0);
    }
    stopper.join();
    std::cout << qvzsim::FormatStateText(server.Snapshot()) << std::flush;
    qvzsim::app::StopCompleted();
    return 0;
}
