#include "visa/resource_name.h"

#include <cstddef>
#include <string_view>

namespace qvz {
namespace visa {
namespace {

constexpr std::string_view kSeparator = "::";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Decimal number of at most `maxValue`; no sign, no empty text.
bool ParseDecimal(std::string_view text, std::uint32_t maxValue, std::uint32_t* value) {
    if (text.empty()) {
        return false;
    }
    std::uint32_t result = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        result = result * 10u + static_cast<std::uint32_t>(c - '0');
        if (result > maxValue) {
            return false;
        }
    }
    *value = result;
    return true;
}

// Host names as DNS allows them (letters, digits, '-', '.', and '_', which
// some networks use), or an IPv4 literal, which has the same characters.
bool IsHostName(std::string_view host) {
    if (host.empty() || host.front() == '.' || host.front() == '-') {
        return false;
    }
    for (char c : host) {
        if (!(IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_')) {
            return false;
        }
    }
    return true;
}

// An IPv6 literal: hex groups, colons, an embedded IPv4 tail and an optional
// %zone. The resolver has the last word; this only keeps text that cannot be
// an address from reaching it.
bool IsIpv6Literal(std::string_view host) {
    const std::size_t zone = host.find('%');
    std::string_view address = host.substr(0, zone);
    if (zone != std::string_view::npos) {
        std::string_view zoneName = host.substr(zone + 1);
        if (zoneName.empty() || !IsHostName(zoneName)) {
            return false;
        }
    }
    int colons = 0;
    for (char c : address) {
        if (c == ':') {
            ++colons;
        } else if (!(IsHexDigit(c) || c == '.')) {
            return false;
        }
    }
    return colons >= 2 && colons <= 7;
}

bool StartsWithInterface(std::string_view text, std::string_view name) {
    if (!StartsWithIgnoreCase(text, name)) {
        return false;
    }
    std::size_t i = name.size();
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i == text.size() || text.substr(i, kSeparator.size()) == kSeparator;
}

// Interface types of other resource classes, longest first where one is the
// prefix of another (GPIB-VXI before GPIB).
constexpr std::string_view kOtherInterfaces[] = {"GPIB-VXI", "GPIB", "VXI", "ASRL",    "USB",
                                                 "PXI",      "VICP", "RIO", "FIREWIRE"};

ViStatus ParseTcpip(std::string_view text, SocketResource* out) {
    std::string_view rest = text.substr(5);  // after "TCPIP"
    std::size_t digits = 0;
    while (digits < rest.size() && IsDigit(rest[digits])) {
        ++digits;
    }
    std::uint32_t board = 0;
    if (digits > 0 && !ParseDecimal(rest.substr(0, digits), 0xFFFFu, &board)) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    rest = rest.substr(digits);
    if (rest.substr(0, kSeparator.size()) != kSeparator) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    rest = rest.substr(kSeparator.size());
    if (rest.empty() || (rest.size() >= kSeparator.size() &&
                         rest.substr(rest.size() - kSeparator.size()) == kSeparator)) {
        return VI_ERROR_INV_RSRC_NAME;
    }

    constexpr std::string_view kSocketSuffix = "::SOCKET";
    if (!EndsWithIgnoreCase(rest, kSocketSuffix)) {
        // TCPIP[board]::host[::device][::INSTR] and the like: a class this
        // layer does not serve, as long as it names a host at all.
        return rest.substr(0, kSeparator.size()) == kSeparator ? VI_ERROR_INV_RSRC_NAME
                                                               : VI_ERROR_RSRC_NFOUND;
    }
    rest = rest.substr(0, rest.size() - kSocketSuffix.size());

    // host::port, where an unbracketed IPv6 host holds "::" itself: the port
    // is what follows the last separator.
    const std::size_t split = rest.rfind(kSeparator);
    if (split == std::string_view::npos) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    std::string_view host = rest.substr(0, split);
    std::uint32_t port = 0;
    if (!ParseDecimal(rest.substr(split + kSeparator.size()), 0xFFFFu, &port) || port == 0) {
        return VI_ERROR_INV_RSRC_NAME;
    }

    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return VI_ERROR_INV_RSRC_NAME;
        }
        host = host.substr(1, host.size() - 2);
        if (!IsIpv6Literal(host)) {
            return VI_ERROR_INV_RSRC_NAME;
        }
    } else if (!IsHostName(host) && !IsIpv6Literal(host)) {
        return VI_ERROR_INV_RSRC_NAME;
    }

    out->board = static_cast<std::uint16_t>(board);
    out->host.assign(host.data(), host.size());
    out->port = static_cast<std::uint16_t>(port);
    return VI_SUCCESS;
}

}  // namespace

ViStatus ParseResourceName(const char* text, SocketResource* out) {
    if (text == nullptr || out == nullptr) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    const std::string_view name(text);
    if (StartsWithInterface(name, "TCPIP")) {
        return ParseTcpip(name, out);
    }
    for (std::string_view other : kOtherInterfaces) {
        if (StartsWithInterface(name, other)) {
            return VI_ERROR_RSRC_NFOUND;
        }
    }
    return VI_ERROR_INV_RSRC_NAME;
}

}  // namespace visa
}  // namespace qvz
