// The ordered list of upstream servers: primary, secondary, then the system's resolvers from the
// fallback resolver file. Built at start and on SIGHUP (by the event loop, never inside a signal
// handler); the loop turns each list it is given into a server table of its own.
#pragma once

#include "address.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {

constexpr const char* fallback_resolver_path = "/tmp/resolv.conf.d/resolv.conf.auto";
constexpr size_t fallback_line_cap = 256; // a longer line is judged in 255-character pieces
/// Fallback servers taken from the file; the lines after them are not read. Each one costs a
/// request that reaches it up to three time-outs, so a longer list could never be walked anyway.
constexpr size_t max_fallback_servers = 64;

/// One upstream server: its text as log lines show it ("ip:port", "[address]:port") and where it
/// is reached.
struct server_entry {
    std::string text;
    endpoint where;
};

using server_entries = std::vector<server_entry>; // index is priority - 1

/// The entry for one line of a resolver file, if the line begins with "nameserver" in the first
/// column and its first token is an IPv4 address ("%s:53") or an IPv6 address ("[%s]:53", a zone
/// index kept); any other token gives none.
std::optional<server_entry> fallback_entry_from_line(const char* line);

/// What the fallback file gave: its usable entries in file order (at most max_fallback_servers;
/// empty when it cannot be opened), and whether more were listed.
struct fallback_servers {
    server_entries entries;
    bool more_listed = false;
};
fallback_servers read_fallback_servers(const char* path);

/// The list for the settings and the file at path: the primary, the secondary, then the fallback
/// entries. Logs a warning when the file lists more than the bound, then the reload line.
server_entries load_servers(const char* path);

} // namespace velmora
