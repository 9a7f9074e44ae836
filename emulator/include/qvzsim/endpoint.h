// How the emulator writes an address with its port.
#ifndef QVZSIM_ENDPOINT_H
#define QVZSIM_ENDPOINT_H

#include <cstdint>
#include <string>

namespace qvzsim {

// "host:port", with an IPv6 address in brackets ("[::1]:5025") so the port
// stays apart from the address.
inline std::string FormatEndpoint(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace qvzsim

#endif
