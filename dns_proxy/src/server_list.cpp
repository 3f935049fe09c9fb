#include "server_list.h"

#include "handles.h"
#include "log.h"
#include "options.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

namespace velmora {

server_list g_servers;

namespace {

constexpr const char nameserver_word[] = "nameserver";
constexpr size_t nameserver_len = sizeof nameserver_word - 1;
constexpr const char token_separators[] = " \t\n";

} // namespace

std::optional<std::string> fallback_entry_from_line(const char* line) {
    if (std::strncmp(line, nameserver_word, nameserver_len) != 0) return std::nullopt;
    const char* p = line + nameserver_len;
    p += std::strspn(p, token_separators);
    size_t n = std::strcspn(p, token_separators);
    if (n == 0) return std::nullopt;
    std::string token(p, n);
    in_addr addr{};
    if (inet_pton(AF_INET, token.c_str(), &addr) != 1) return std::nullopt;
    return token + ":53";
}

std::vector<std::string> read_fallback_servers(const char* path) {
    std::vector<std::string> out;
    file_ptr f(std::fopen(path, "re"));
    if (!f) return out;
    out.reserve(4);
    char line[fallback_line_cap];
    while (std::fgets(line, sizeof line, f.get()) != nullptr) {
        if (auto entry = fallback_entry_from_line(line)) out.push_back(std::move(*entry));
    }
    return out;
}

void reload_servers(const char* path) {
    std::vector<std::string> fallback = read_fallback_servers(path);
    auto fresh = std::make_shared<server_entries>();
    fresh->reserve(2 + fallback.size());
    fresh->push_back(g_settings.server1);
    fresh->push_back(g_settings.server2);
    for (auto& e : fallback) fresh->push_back(std::move(e));
    g_servers.entries = std::move(fresh); // holders of the old list keep their reference
    log_msg("[INFO] Reloaded fallback servers");
}

std::shared_ptr<const server_entries> snapshot_servers() { return g_servers.entries; }

} // namespace velmora
