#include "mask/hidden_map.h"

#include <cstdio>
#include <cstring>

#include "mask/chars.h"
#include "mask/forms.h"
#include "text_ops.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

bool plain_word(const char* v, size_t len) {
    static constexpr const char* words[] = {"true", "false", "none",    "auto",     "null",
                                            "yes",  "no",    "enabled", "disabled", "default"};
    return in_list(words, v, len);
}

// Appears on its own: not inside a longer word (values) or number (IPv4).
bool word_char(char c) {
    return is_alnum(c) || c == '_' || c == '-';
}

} // namespace

bool hidden_map_add(hidden_map& m, const char* value, size_t len) {
    if (!value) return false;
    while (len > 0 && (*value == ' ' || *value == '\t'))
        ++value, --len;
    while (len > 0 && (value[len - 1] == ' ' || value[len - 1] == '\t'))
        --len;
    // A prefix length does not belong to the address.
    if (const char* slash = static_cast<const char*>(memchr(value, '/', len));
        slash && parse_ipv4(value, static_cast<size_t>(slash - value)))
        len = static_cast<size_t>(slash - value);
    if (len >= hidden_map::value_capacity) return false;
    // Short words ("root", "admin") would hide ordinary text elsewhere.
    if (len < (parse_ipv4(value, len) ? 7u : 6u)) return false;
    if (memmem(value, len, "***", 3) || memmem(value, len, ".x.x", 4)) return false;
    if (memchr(value, '\n', len)) return false;
    bool digits_only = true;
    for (size_t i = 0; i < len; ++i)
        if (!is_digit(value[i])) digits_only = false;
    if (digits_only || plain_word(value, len)) return false;
    if (parse_ipv4(value, len) && (strncmp(value, "127.", 4) == 0 || strncmp(value, "0.", 2) == 0))
        return false;
    if (equals_ci(value, len, "localhost") || equals_ci(value, len, "::1") ||
        equals_ci(value, len, "::"))
        return false;
    for (int i = 0; i < m.count; ++i)
        if (strlen(m.values[i]) == len && memcmp(m.values[i], value, len) == 0) return true;
    if (m.count >= hidden_map::capacity) return false;
    memcpy(m.values[m.count], value, len);
    m.values[m.count][len] = '\0';
    ++m.count;
    return true;
}

bool hidden_map_add(hidden_map& m, const char* value) {
    return value && hidden_map_add(m, value, strlen(value));
}

void hidden_map_apply(const hidden_map& m, char* text, size_t cap) {
    if (!text || cap == 0 || m.count == 0) return;
    size_t total = strlen(text);
    // Longest first, stable among values of one length.
    int order[hidden_map::capacity];
    size_t lengths[hidden_map::capacity];
    for (int k = 0; k < m.count; ++k) {
        lengths[k] = strlen(m.values[k]);
        int j = k;
        while (j > 0 && lengths[order[j - 1]] < lengths[k]) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = k;
    }
    for (int n = 0; n < m.count; ++n) {
        const char* v = m.values[order[n]];
        const size_t vlen = lengths[order[n]];
        const bool ipv4 = parse_ipv4(v, vlen);
        char rep[masked_ip_capacity];
        if (ipv4)
            mask_ip(v, rep);
        else
            snprintf(rep, sizeof rep, "***");
        const size_t rep_len = strlen(rep);
        const bool v_word_start = word_char(v[0]);
        const bool v_word_end = word_char(v[vlen - 1]);
        size_t from = 0;
        while (from < total) {
            char* hit = strstr(text + from, v);
            if (!hit) break;
            size_t pos = static_cast<size_t>(hit - text);
            char before = pos > 0 ? text[pos - 1] : '\0';
            char after = text[pos + vlen];
            bool inside;
            if (ipv4) {
                // 203.0.113.70 and 1.203.0.113.7 are other numbers; an
                // address at the end of a sentence ("... 203.0.113.7.") is not.
                inside = is_digit(before) ||
                         (before == '.' && pos > 1 && is_digit(text[pos - 2])) || is_digit(after) ||
                         (after == '.' && is_digit(text[pos + vlen + 1]));
            } else {
                inside = (v_word_start && word_char(before)) || (v_word_end && word_char(after));
            }
            if (inside) {
                from = pos + 1;
                continue;
            }
            total = splice(text, cap, total, pos, vlen, rep, rep_len);
            from = pos + rep_len;
        }
    }
}

} // namespace tarvona_diag
