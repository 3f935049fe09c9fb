#include "mask_config.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "text_ops.h"

namespace diag {

void mask_servers_in_text(char* text, size_t cap) {
    static const char key[] = "\"server\":";
    if (!text || cap == 0) return;
    size_t from = 0;
    for (;;) {
        char* hit = strstr(text + from, key);
        if (!hit) return;
        size_t start = static_cast<size_t>(hit - text);
        char* p = hit + sizeof key - 1;
        while (*p == ' ') ++p;
        char* close = (*p == '"') ? strchr(p + 1, '"') : nullptr;
        if (!close) {
            from = start + 1;
            continue;
        }
        size_t open_pos = static_cast<size_t>(p - text) + 1;
        size_t value_len = static_cast<size_t>(close - p) - 1;
        size_t new_len = splice(text, cap, strlen(text), open_pos, value_len, "***", 3);
        // Go on after the closing quote (which a cut may have dropped).
        from = open_pos + 3 + 1;
        if (from > new_len) return;
    }
}

int mask_address_in_text(char* text, size_t cap, const char* addr) {
    if (!text || !addr || cap == 0) return 0;
    char ip[64];
    snprintf(ip, sizeof ip, "%s", addr);
    if (char* slash = strchr(ip, '/')) *slash = '\0';
    if (ip[0] == '\0' || strchr(ip, ':')) return 0;

    // First two octets: the text up to (not including) the second dot.
    char octets[32];
    const char* dot = strchr(ip, '.');
    if (dot) dot = strchr(dot + 1, '.');
    size_t keep = dot ? static_cast<size_t>(dot - ip) : strlen(ip);
    if (keep > sizeof octets - 1) keep = sizeof octets - 1;
    memcpy(octets, ip, keep);
    octets[keep] = '\0';
    char rep[40];
    snprintf(rep, sizeof rep, "%s.x.x", octets);

    const size_t ip_len = strlen(ip);
    const size_t rep_len = strlen(rep);
    auto part_of_number = [](char c) { return c == '.' || isdigit(static_cast<unsigned char>(c)); };

    int replaced = 0;
    size_t total = strlen(text);
    size_t from = 0;
    for (;;) {
        char* hit = strstr(text + from, ip);
        if (!hit) break;
        size_t pos = static_cast<size_t>(hit - text);
        // A dot belongs to a longer number only with a digit beyond it: an
        // address that ends a sentence ("... 203.0.113.7.") is masked.
        auto digit = [](char c) { return isdigit(static_cast<unsigned char>(c)) != 0; };
        bool before = pos > 0 && (digit(text[pos - 1]) ||
                                  (text[pos - 1] == '.' && pos > 1 && digit(text[pos - 2])));
        bool after = part_of_number(text[pos + ip_len]) &&
                     (text[pos + ip_len] != '.' || digit(text[pos + ip_len + 1]));
        if (before || after) {
            from = pos + 1;
            continue;
        }
        if (total - ip_len + rep_len > cap - 1) break;
        total = splice(text, cap, strlen(text), pos, ip_len, rep, strlen(rep));
        from = pos + rep_len;
        ++replaced;
    }
    return replaced;
}

}  // namespace diag
