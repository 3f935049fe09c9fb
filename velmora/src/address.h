// The one reader of address texts: the listening address, the primary and the secondary, and the
// entries made from the fallback resolver file. Two forms:
//   IPv4  "a.b.c.d:port" (dotted decimal, as inet_pton reads it), or "a.b.c.d" for a server
//   IPv6  "[address]:port", or "[address]" for a server; a link-local address may carry a zone
//         index, "[fe80::1%wan]:53" (an interface name or number)
// The port is decimal, 1 to 65535; a server text without one means 53.
#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>

namespace velmora {

constexpr uint16_t default_dns_port = 53;
constexpr size_t zone_name_cap = 16; // IF_NAMESIZE, NUL included

/// A socket address of either family. The zone of a link-local IPv6 address is kept by name until
/// a socket is made (the interface may come up after the daemon starts): see resolve_zone.
struct endpoint {
    union {
        sockaddr sa;
        sockaddr_in v4;
        sockaddr_in6 v6;
    } addr{};
    socklen_t len = 0;
    char zone[zone_name_cap] = {}; // interface name, empty when the zone is numeric or absent

    int family() const { return addr.sa.sa_family; }
};

enum class address_error { none, no_port, bad_port, bad_address, bad_zone };

enum class port_rule {
    required,   // the listening address
    default_53, // an upstream server
};

/// Reads text into out. Returns none on success; otherwise out is left zeroed.
address_error parse_endpoint(std::string_view text, port_rule rule, endpoint& out);

/// Why a text was refused, for the message at start-up.
const char* address_error_text(address_error e);

/// Sets the scope of an endpoint whose zone is an interface name from that interface's current
/// index. Returns 0, or ENODEV when no interface has that name (the endpoint is left unchanged).
int resolve_zone(endpoint& e);

} // namespace velmora
