// Command line of the qvzsim program.
#ifndef QVZSIM_CLI_OPTIONS_H
#define QVZSIM_CLI_OPTIONS_H

#include <string>
#include <vector>

#include "qvzsim/server.h"

namespace qvzsim {

struct CommandLine {
    ServerOptions server;
    bool help = false;
    bool version = false;
    // --send: act as a client of a running emulator instead (bind address
    // and port say where), send these messages, print the replies.
    std::vector<std::string> send;
};

// Parses main's arguments (argv[0], the program name, is skipped). Returns
// an empty string on success, else the message to show.
std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& out);

std::string UsageText();

// The emulator's version, the project's (also in *IDN?).
std::string VersionText();

}  // namespace qvzsim

#endif
