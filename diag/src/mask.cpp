#include "mask.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace diag {

namespace {

const char* const hidden_names[] = {"lo",      "sit0",    "gre0",    "gretap0",
                                    "erspan0", "ip6tnl0", "ip6gre0", "tunl0"};

bool is_hex(char c) {
    return isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Copies s up to, not including, the nth occurrence of sep (or all of s),
// at most max bytes.
void copy_before_nth(const char* s, char sep, int nth, char* out, size_t max) {
    size_t n = 0;
    int seen = 0;
    while (s[n] && n < max) {
        if (s[n] == sep && ++seen == nth) break;
        ++n;
    }
    memcpy(out, s, n);
    out[n] = '\0';
}

} // namespace

bool is_hidden_iface(const char* name) {
    if (!name) return false;
    for (const char* h : hidden_names)
        if (strcmp(name, h) == 0) return true;
    return strstr(name, "@NONE") != nullptr;
}

bool is_wan_iface(const char* name) {
    if (!name) return false;
    return strcmp(name, "eth0") == 0 || strcmp(name, "eth1") == 0 ||
           strncmp(name, "pppoe-", 6) == 0 || strncmp(name, "wan", 3) == 0;
}

bool is_mac_address(const char* s) {
    if (!s || strlen(s) != 17) return false;
    for (int i = 0; i < 17; ++i) {
        bool colon_place = (i % 3) == 2;
        if (colon_place ? s[i] != ':' : !is_hex(s[i])) return false;
    }
    return true;
}

void mask_ip(const char* ip, char* out) {
    out[0] = '\0';
    if (!ip || !*ip) return;
    if (strchr(ip, ':')) {
        snprintf(out, masked_ip_capacity, "***");
        return;
    }
    char octets[32];
    copy_before_nth(ip, '.', 2, octets, sizeof octets - 1);
    // octets (at most 31 bytes) + ".x.x" + the prefix length, cut to fit.
    const char* slash = strchr(ip, '/');
    size_t n = strlen(octets);
    memcpy(out, octets, n);
    memcpy(out + n, ".x.x", 4);
    n += 4;
    if (slash) {
        size_t room = masked_ip_capacity - 1 - n;
        size_t len = strnlen(slash, room);
        memcpy(out + n, slash, len);
        n += len;
    }
    out[n] = '\0';
}

void mask_mac(const char* mac, char* out) {
    out[0] = '\0';
    if (!mac || !*mac) return;
    char vendor[16];
    copy_before_nth(mac, ':', 3, vendor, sizeof vendor - 1);
    // A 15-byte vendor part would need 25 bytes: the tail is cut to fit.
    size_t n = strlen(vendor);
    memcpy(out, vendor, n);
    size_t room = masked_mac_capacity - 1 - n;
    size_t tail = room < 9 ? room : 9;
    memcpy(out + n, ":xx:xx:xx", tail);
    out[n + tail] = '\0';
}

void mask_macs_in_text(const char* text, char* out) {
    const size_t limit = masked_text_capacity - 1;
    size_t o = 0;
    const char* p = text ? text : "";
    while (*p && o < limit) {
        if (is_hex(*p)) {
            int run = 0, colons = 0;
            while (run < 17 && (is_hex(p[run]) || p[run] == ':')) {
                if (p[run] == ':') ++colons;
                ++run;
            }
            if (run == 17 && colons == 5) {
                char mac[18], masked[masked_mac_capacity];
                memcpy(mac, p, 17);
                mac[17] = '\0';
                mask_mac(mac, masked);
                size_t n = strlen(masked);
                if (o + n <= limit) {
                    memcpy(out + o, masked, n);
                    o += n;
                }
                p += 17;
                continue;
            }
        }
        out[o++] = *p++;
    }
    out[o] = '\0';
}

} // namespace diag
