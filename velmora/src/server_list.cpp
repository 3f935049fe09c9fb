#include "server_list.h"

#include "handles.h"
#include "log.h"
#include "options.h"

#include <cstdio>
#include <cstring>

namespace velmora {

namespace {

constexpr const char nameserver_word[] = "nameserver";
constexpr size_t nameserver_len = sizeof nameserver_word - 1;
constexpr const char token_separators[] = " \t\n";

} // namespace

std::optional<server_entry> fallback_entry_from_line(const char* line) {
    if (std::strncmp(line, nameserver_word, nameserver_len) != 0) return std::nullopt;
    const char* p = line + nameserver_len;
    p += std::strspn(p, token_separators);
    size_t n = std::strcspn(p, token_separators);
    if (n == 0) return std::nullopt;
    std::string token(p, n);
    // An IPv6 address (it holds a colon) is written in brackets, so that its port stands apart.
    server_entry e;
    e.text = token.find(':') != std::string::npos ? "[" + token + "]:53" : token + ":53";
    if (parse_endpoint(e.text, port_rule::default_53, e.where) != address_error::none)
        return std::nullopt;
    return e;
}

fallback_servers read_fallback_servers(const char* path) {
    fallback_servers out;
    file_ptr f(std::fopen(path, "re"));
    if (!f) return out;
    out.entries.reserve(4);
    char line[fallback_line_cap];
    while (std::fgets(line, sizeof line, f.get()) != nullptr) {
        auto entry = fallback_entry_from_line(line);
        if (!entry) continue;
        if (out.entries.size() == max_fallback_servers) {
            out.more_listed = true;
            break;
        }
        out.entries.push_back(std::move(*entry));
    }
    return out;
}

server_entries load_servers(const char* path) {
    fallback_servers fallback = read_fallback_servers(path);
    server_entries list;
    list.reserve(2 + fallback.entries.size());
    list.push_back({g_settings.server1, g_settings.server1_at});
    list.push_back({g_settings.server2, g_settings.server2_at});
    for (auto& e : fallback.entries)
        list.push_back(std::move(e));
    if (fallback.more_listed)
        log_msg("[WARN] More than %zu fallback servers listed: only the first %zu are used",
                max_fallback_servers, max_fallback_servers);
    log_msg("[INFO] Reloaded fallback servers");
    return list;
}

} // namespace velmora
