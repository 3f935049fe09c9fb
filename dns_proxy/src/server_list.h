// The ordered list of upstream servers: primary, secondary, then the system's resolvers from the
// fallback resolver file. Rebuilt at start and on SIGHUP (by the event loop, never inside a
// signal handler); the loop turns each list it takes into a server table of its own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

constexpr const char* fallback_resolver_path = "/tmp/resolv.conf.d/resolv.conf.auto";
constexpr size_t fallback_line_cap = 256; // a longer line is judged in 255-character pieces

using server_entries = std::vector<std::string>; // "ip:port"; index is priority - 1

// The list itself never changes once built: a reload builds a new one and swaps the pointer,
// so a copy is a reference, and whoever holds one keeps the list it took.
struct server_list {
    std::shared_ptr<const server_entries> entries = std::make_shared<const server_entries>();
};

extern server_list g_servers;

/// The "%s:53" entry for one line of a resolver file, if the line begins with "nameserver" in
/// the first column and its first token is a dotted IPv4 address (velmora speaks IPv4 only, so an
/// IPv6 resolver line is skipped rather than sent to an unconvertible address).
std::optional<std::string> fallback_entry_from_line(const char* line);

/// Entries of every usable line of the file, in file order; empty when it cannot be opened.
std::vector<std::string> read_fallback_servers(const char* path);

/// Rebuilds g_servers from the settings and the file at path, then logs the reload.
void reload_servers(const char* path);

/// The current list; it stays valid and unchanged while held.
std::shared_ptr<const server_entries> snapshot_servers();

} // namespace velmora
