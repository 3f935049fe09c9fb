#include "mask/forms.h"

#include <cstdio>
#include <cstring>

#include "mask/chars.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

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

bool is_mac_address(const char* s) {
    if (!s || strlen(s) != 17) return false;
    for (int i = 0; i < 17; ++i) {
        bool colon_place = (i % 3) == 2;
        if (colon_place ? s[i] != ':' : !is_hex(s[i])) return false;
    }
    return true;
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

bool parse_ipv4(const char* s, size_t len, uint32_t* value) {
    int dots = 0, digits = 0;
    uint32_t group = 0, result = 0;
    bool in_range = true;
    for (size_t i = 0; i < len; ++i) {
        if (s[i] == '.') {
            if (digits == 0) return false;
            ++dots;
            if (dots > 3) return false;
            result = (result << 8) | group;
            digits = 0;
            group = 0;
        } else if (is_digit(s[i])) {
            if (++digits > 3) return false;
            group = group * 10 + static_cast<uint32_t>(s[i] - '0');
            if (group > 255) in_range = false;
        } else {
            return false;
        }
    }
    if (dots != 3 || digits == 0) return false;
    if (value) {
        if (!in_range) return false;
        *value = (result << 8) | group;
    }
    return true;
}

bool is_public_ipv4(const char* a, size_t len) {
    uint32_t v;
    if (!parse_ipv4(a, len, &v)) return false;
    const uint32_t o0 = v >> 24, o1 = (v >> 16) & 0xff;
    if (o0 == 0 || o0 == 10 || o0 == 127 || o0 >= 224) return false;
    if (o0 == 100 && o1 >= 64 && o1 < 128) return false;
    if (o0 == 169 && o1 == 254) return false;
    if (o0 == 172 && o1 >= 16 && o1 < 32) return false;
    if (o0 == 192 && o1 == 168) return false;
    return true;
}

bool parse_ipv4_prefix(const char* s, size_t len, uint32_t& network, uint32_t& mask) {
    const char* slash = static_cast<const char*>(memchr(s, '/', len));
    if (!slash) return false;
    uint32_t addr;
    if (!parse_ipv4(s, static_cast<size_t>(slash - s), &addr)) return false;
    size_t k = static_cast<size_t>(slash - s) + 1;
    if (k == len || len - k > 2) return false;
    unsigned bits = 0;
    for (; k < len; ++k) {
        if (!is_digit(s[k])) return false;
        bits = bits * 10 + static_cast<unsigned>(s[k] - '0');
    }
    if (bits > 32) return false;
    mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    network = addr & mask;
    return true;
}

bool is_ipv6_text(const char* s, size_t len) {
    size_t end = len;
    if (const char* slash = static_cast<const char*>(memchr(s, '/', len)))
        end = static_cast<size_t>(slash - s);
    int colons = 0;
    bool double_colon = false;
    for (size_t i = 0; i < end; ++i) {
        if (s[i] == ':') {
            ++colons;
            if (i > 0 && s[i - 1] == ':') double_colon = true;
        } else if (!is_hex(s[i]) && s[i] != '.') {
            return false;
        }
    }
    // "20:01:12" is a time of day: an address has "::" or all eight groups.
    return colons >= 2 && (double_colon || colons == 7);
}

} // namespace tarvona_diag
