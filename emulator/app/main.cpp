// qvzsim: the analyzer emulator as a program. Everything but the command
// line, the signals and the exit report lives in qvzsim_core.
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>

#include "http_screen.h"
#include "qvzsim/cli_options.h"
#include "qvzsim/client.h"
#include "qvzsim/server.h"
#include "qvzsim/state_report.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int /*signal*/) { stopRequested = 1; }

// Client mode: send each message; a query's reply is printed.
int SendMessages(const qvzsim::CommandLine& commandLine) {
    qvzsim::Client client;
    std::string error;
    if (!client.connect(commandLine.server.bindAddress, commandLine.server.port, &error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    for (const std::string& message : commandLine.send) {
        if (message.find('?') == std::string::npos) {
            if (!client.send(message)) {
                std::cerr << "qvzsim: sending failed\n";
                return 1;
            }
            continue;
        }
        std::optional<std::string> reply = client.query(message, 5000);
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
    if (!commandLine.send.empty()) {
        return SendMessages(commandLine);
    }

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    qvzsim::Server server(commandLine.server);
    for (const auto& [port, file] : commandLine.devices) {
        const qvzsim::ErrorEntry outcome = server.instrument().loadDevice(port, file);
        if (outcome.code != 0) {
            std::cerr << "qvzsim: --dut " << port << "=" << file << ": " << outcome.message << '\n';
            return 2;
        }
    }
    std::string error;
    if (!server.start(&error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    qvzsim::HttpScreen screen(server.instrument());
    if (commandLine.httpPort >= 0 &&
        !screen.start(commandLine.server.bindAddress, static_cast<std::uint16_t>(commandLine.httpPort), &error)) {
        std::cerr << "qvzsim: " << error << '\n';
        return 1;
    }
    // Printed even when quiet: a script that asked for port 0 reads it here.
    std::cout << "qvzsim listening on " << commandLine.server.bindAddress << ":" << server.port() << std::endl;
    if (commandLine.httpPort >= 0) {
        const std::string& host = commandLine.server.bindAddress;
        const bool ipv6 = host.find(':') != std::string::npos;
        std::cout << "qvzsim screen on http://" << (ipv6 ? "[" + host + "]" : host) << ":" << screen.port() << "/"
                  << std::endl;
    }

    while (stopRequested == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    screen.stop();
    server.stop();
    std::cout << qvzsim::FormatStateText(server.snapshot()) << std::flush;
    return 0;
}
