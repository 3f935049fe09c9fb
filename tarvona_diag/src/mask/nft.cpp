#include "mask/nft.h"

#include <cstdio>
#include <cstring>

#include "mask/chars.h"
#include "mask/forms.h"
#include "mask/names.h"
#include "mask/text_writer.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

const char* skip_blanks(const char* p, const char* end) {
    while (p < end && blank(*p))
        ++p;
    return p;
}

bool starts(const char* p, const char* end, const char* word) {
    size_t n = strlen(word);
    return static_cast<size_t>(end - p) >= n && memcmp(p, word, n) == 0;
}

// The name after "set " or "chain " at the start of a line (after blanks).
bool line_names(const char* p, const char* end, const char* keyword, const char*& name,
                size_t& len) {
    p = skip_blanks(p, end);
    if (!starts(p, end, keyword)) return false;
    name = p + strlen(keyword);
    len = 0;
    while (name + len < end && !space(name[len]) && name[len] != '{')
        ++len;
    return len > 0;
}

const char* find(const char* p, const char* end, const char* text) {
    const size_t n = strlen(text);
    for (const char* q = p; q + n <= end; ++q)
        if (memcmp(q, text, n) == 0) return q;
    return nullptr;
}

bool address_char(char c) {
    return is_hex(c) || c == '.' || c == ':' || c == '/';
}

// Writes the elements part [p, end) of a server set's line, every address
// hidden.
void mask_elements(const char* p, const char* end, text_writer& w, hidden_map* map) {
    while (p < end) {
        if (!address_char(*p)) {
            w.put(*p++);
            continue;
        }
        const char* s = p;
        while (p < end && address_char(*p))
            ++p;
        const size_t len = static_cast<size_t>(p - s);
        const size_t addr = strcspn(s, "/") < len ? strcspn(s, "/") : len;
        char text[masked_ip_capacity];
        snprintf(text, sizeof text, "%.*s", static_cast<int>(len), s);
        if (parse_ipv4(s, addr)) {
            if (map) hidden_map_add(*map, s, addr);
            char shown[masked_ip_capacity];
            mask_ip(text, shown);
            w.put(shown);
        } else if (is_ipv6_text(s, len)) {
            if (map) hidden_map_add(*map, s, addr);
            w.put("***");
        } else {
            w.put(s, len);
        }
    }
}

} // namespace

size_t mask_server_sets(const char* in, char* out, size_t cap, hidden_map* map) {
    if (!out || cap == 0) return 0;
    text_writer w(out, cap);
    bool server_set = false; // inside a set of servers
    bool elements = false;   // inside its elements
    for (const char* p = in ? in : ""; *p;) {
        const char* nl = strchr(p, '\n');
        const char* end = nl ? nl + 1 : p + strlen(p);
        const char* name;
        size_t len;
        if (line_names(p, end, "set ", name, len)) {
            server_set = is_server_set_name(name, len);
            elements = false;
        }
        const char* from = p; // what is left of the line to write
        if (server_set && !elements) {
            const char* e = find(p, end, "elements = {");
            if (e) {
                e += strlen("elements = {");
                w.put(from, static_cast<size_t>(e - from));
                from = e;
                elements = true;
            } else if (*skip_blanks(p, end) == '}') {
                server_set = false; // the set ends
            }
        }
        if (elements) {
            const char* close = static_cast<const char*>(memchr(from, '}', end - from));
            mask_elements(from, close ? close : end, w, map);
            if (close) {
                from = close;
                elements = false;
            } else {
                from = end;
            }
        }
        w.put(from, static_cast<size_t>(end - from));
        p = end;
    }
    return w.size();
}

namespace {

bool lan_address(const wan_facts& w, const char* s, size_t len) {
    for (int i = 0; i < w.lan_count; ++i)
        if (strlen(w.lan_addresses[i]) == len && memcmp(w.lan_addresses[i], s, len) == 0)
            return true;
    return false;
}

// Remembers each IPv4 address of the value at p ("a.b.c.d", "a.b.c.d:port",
// "{ a, b }").
void rule_addresses(const char* p, const char* end, bool wan_chain, const wan_facts& w,
                    hidden_map& m) {
    p = skip_blanks(p, end);
    const bool set = p < end && *p == '{';
    const char* stop = set ? static_cast<const char*>(memchr(p, '}', end - p)) : nullptr;
    if (!stop) stop = end;
    while (p < stop) {
        if (!is_digit(*p)) {
            if (!set && space(*p)) return;
            ++p;
            continue;
        }
        const char* s = p;
        while (p < stop && (is_digit(*p) || *p == '.'))
            ++p;
        const size_t len = static_cast<size_t>(p - s);
        if (parse_ipv4(s, len) && !lan_address(w, s, len) && (wan_chain || is_public_ipv4(s, len)))
            hidden_map_add(m, s, len);
        if (!set) return;
        while (p < stop && !space(*p) && *p != ',')
            ++p;
    }
}

bool has_word(const char* p, const char* end, const char* word) {
    const size_t n = strlen(word);
    for (const char* q = p; q + n <= end; ++q)
        if (memcmp(q, word, n) == 0 && (q == p || space(q[-1])) && (q + n == end || space(q[n])))
            return true;
    return false;
}

} // namespace

void wan_addresses_in_nft(const char* nft, const wan_facts& w, hidden_map& m) {
    bool wan_chain = false;
    for (const char* p = nft ? nft : ""; *p;) {
        const char* nl = strchr(p, '\n');
        const char* end = nl ? nl : p + strlen(p);
        const char* name;
        size_t len;
        if (line_names(p, end, "chain ", name, len)) {
            const char* under = nullptr;
            for (size_t i = 0; i < len; ++i)
                if (name[i] == '_') under = name + i;
            wan_chain =
                under && wan_has_zone(w, under + 1, static_cast<size_t>(name + len - under - 1));
        } else if (has_word(p, end, "dnat")) {
            if (const char* d = find(p, end, "ip daddr "))
                rule_addresses(d + strlen("ip daddr "), end, wan_chain, w, m);
        } else if (has_word(p, end, "snat")) {
            if (const char* s = find(p, end, "snat ip to "))
                rule_addresses(s + strlen("snat ip to "), end, wan_chain, w, m);
            else if (const char* t = find(p, end, "snat to "))
                rule_addresses(t + strlen("snat to "), end, wan_chain, w, m);
        }
        p = nl ? nl + 1 : end;
    }
}

} // namespace tarvona_diag
