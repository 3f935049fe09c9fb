#include "text_ops.h"

#include <cstdlib>
#include <cstring>

namespace tarvona_diag {

char* trim(char* s) {
    while (*s && is_blank(*s))
        ++s;
    size_t n = strlen(s);
    while (n > 0 && is_blank(s[n - 1]))
        --n;
    s[n] = '\0';
    return s;
}

int split_fields(const char* text, field_slot* fields, int max) {
    int count = 0;
    const char* p = text;
    while (p && count < max) {
        while (*p && is_blank(*p))
            ++p;
        if (!*p) break;
        size_t n = 0;
        while (p[n] && !is_blank(p[n]) && n < field_capacity - 1)
            ++n;
        memcpy(fields[count], p, n);
        fields[count][n] = '\0';
        ++count;
        p += n;
    }
    return count;
}

const char* next_line(const char* pos, char* line, size_t cap) {
    if (cap > 0) line[0] = '\0';
    if (!pos || !*pos || cap == 0) return nullptr;
    size_t n = 0;
    while (pos[n] && pos[n] != '\n' && n < cap - 1)
        ++n;
    memcpy(line, pos, n);
    line[n] = '\0';
    if (pos[n] == '\n') return pos + n + 1;
    return pos + n;
}

int64_t leading_int64(const char* s) {
    if (!s) return 0;
    return strtoll(s, nullptr, 10);
}

double leading_double(const char* s) {
    if (!s) return 0;
    return strtod(s, nullptr);
}

size_t splice(char* text, size_t cap, size_t total, size_t pos, size_t len, const char* rep,
              size_t rep_len) {
    size_t limit = cap - 1;
    size_t tail = total - pos - len;
    if (pos + rep_len > limit) rep_len = limit - pos;
    if (pos + rep_len + tail > limit) tail = limit - pos - rep_len;
    memmove(text + pos + rep_len, text + pos + len, tail);
    memcpy(text + pos, rep, rep_len);
    text[pos + rep_len + tail] = '\0';
    return pos + rep_len + tail;
}

} // namespace tarvona_diag
