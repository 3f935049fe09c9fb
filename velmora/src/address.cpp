#include "address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>

namespace velmora {

namespace {

constexpr size_t ipv4_text_cap = 16; // "255.255.255.255" and the NUL
constexpr size_t ipv6_text_cap = INET6_ADDRSTRLEN;
constexpr size_t port_digits_max = 5;
constexpr unsigned port_max = 65535;

// The port after the colon: 1 to 5 decimal digits, 1..65535; nothing else.
bool read_port(std::string_view digits, uint16_t& port) {
    if (digits.empty() || digits.size() > port_digits_max) return false;
    unsigned v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v == 0 || v > port_max) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

// What follows the address: "" (no port) or ":port".
address_error read_port_part(std::string_view rest, port_rule rule, uint16_t& port) {
    if (rest.empty()) {
        if (rule == port_rule::required) return address_error::no_port;
        port = default_dns_port;
        return address_error::none;
    }
    if (rest[0] != ':') return address_error::bad_address;
    return read_port(rest.substr(1), port) ? address_error::none : address_error::bad_port;
}

// An interface name or number after '%'.
bool read_zone(std::string_view zone, endpoint& out) {
    if (zone.empty() || zone.size() >= zone_name_cap) return false;
    bool numeric = true;
    for (char c : zone) {
        if (c == '/' || c == ':' || c == '%' || c == ']' || static_cast<unsigned char>(c) <= ' ' ||
            static_cast<unsigned char>(c) >= 0x7F)
            return false;
        if (c < '0' || c > '9') numeric = false;
    }
    if (numeric) {
        uint64_t v = 0;
        for (char c : zone) {
            v = v * 10 + static_cast<unsigned>(c - '0');
            if (v > UINT32_MAX) return false;
        }
        out.addr.v6.sin6_scope_id = static_cast<uint32_t>(v);
    } else {
        std::memcpy(out.zone, zone.data(), zone.size());
        out.zone[zone.size()] = '\0';
    }
    return true;
}

address_error parse_ipv6(std::string_view text, port_rule rule, endpoint& out) {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return address_error::bad_address;
    std::string_view inner = text.substr(1, close - 1);
    std::string_view zone;
    bool has_zone = false;
    if (size_t pct = inner.find('%'); pct != std::string_view::npos) {
        zone = inner.substr(pct + 1);
        inner = inner.substr(0, pct);
        has_zone = true;
    }
    char buf[ipv6_text_cap];
    if (inner.empty() || inner.size() >= sizeof buf) return address_error::bad_address;
    std::memcpy(buf, inner.data(), inner.size());
    buf[inner.size()] = '\0';
    if (inet_pton(AF_INET6, buf, &out.addr.v6.sin6_addr) != 1) return address_error::bad_address;
    if (has_zone && !read_zone(zone, out)) return address_error::bad_zone;
    uint16_t port = 0;
    address_error e = read_port_part(text.substr(close + 1), rule, port);
    if (e != address_error::none) return e;
    out.addr.v6.sin6_family = AF_INET6;
    out.addr.v6.sin6_port = htons(port);
    out.len = sizeof(sockaddr_in6);
    return address_error::none;
}

address_error parse_ipv4(std::string_view text, port_rule rule, endpoint& out) {
    size_t colon = text.find(':');
    std::string_view host = text.substr(0, colon);
    std::string_view rest =
        colon == std::string_view::npos ? std::string_view{} : text.substr(colon);
    char buf[ipv4_text_cap];
    if (host.empty() || host.size() >= sizeof buf) return address_error::bad_address;
    std::memcpy(buf, host.data(), host.size());
    buf[host.size()] = '\0';
    if (inet_pton(AF_INET, buf, &out.addr.v4.sin_addr) != 1) return address_error::bad_address;
    uint16_t port = 0;
    address_error e = read_port_part(rest, rule, port);
    if (e != address_error::none) return e;
    out.addr.v4.sin_family = AF_INET;
    out.addr.v4.sin_port = htons(port);
    out.len = sizeof(sockaddr_in);
    return address_error::none;
}

} // namespace

address_error parse_endpoint(std::string_view text, port_rule rule, endpoint& out) {
    out = endpoint{};
    address_error e =
        !text.empty() && text[0] == '[' ? parse_ipv6(text, rule, out) : parse_ipv4(text, rule, out);
    if (e != address_error::none) out = endpoint{};
    return e;
}

const char* address_error_text(address_error e) {
    switch (e) {
    case address_error::none:
        return "";
    case address_error::no_port:
        return "no port (ip:port, or [IPv6 address]:port)";
    case address_error::bad_port:
        return "the port is not a number from 1 to 65535";
    case address_error::bad_address:
        return "not a dotted IPv4 address or an IPv6 address in brackets";
    case address_error::bad_zone:
        return "the zone index is not an interface name or number";
    }
    return "";
}

int resolve_zone(endpoint& e) {
    if (e.zone[0] == '\0') return 0;
    unsigned index = if_nametoindex(e.zone);
    if (index == 0) return ENODEV;
    e.addr.v6.sin6_scope_id = index;
    return 0;
}

} // namespace velmora
