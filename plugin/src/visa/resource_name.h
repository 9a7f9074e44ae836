// Parsing of VISA resource strings. Only raw-socket resources,
// TCPIP[board]::host::port::SOCKET, are served by this layer; the other
// classes are recognised so that they can be told apart from typing errors.
#ifndef QVZ_VISA_RESOURCE_NAME_H
#define QVZ_VISA_RESOURCE_NAME_H

#include <cstdint>
#include <string>

#include "visa/visa.h"

namespace qvz {
namespace visa {

struct SocketResource {
    std::uint16_t board = 0;
    std::string host;  // name, IPv4 or IPv6 literal; brackets removed
    std::uint16_t port = 0;
};

// VI_SUCCESS and `*out` filled for a socket resource (case-insensitive,
// board optional, host name / IPv4 / IPv6 literal, bracketed or not);
// VI_ERROR_RSRC_NFOUND for a well-formed resource of another class (INSTR,
// GPIB, USB, ...); VI_ERROR_INV_RSRC_NAME for null or malformed text.
ViStatus ParseResourceName(const char* text, SocketResource* out);

}  // namespace visa
}  // namespace qvz

#endif
