// Character and word helpers shared by the maskers (header only).
#pragma once

#include <cctype>
#include <cstddef>
#include <cstring>

namespace tarvona_diag::mask_chars {

inline bool is_alnum(char c) {
    return isalnum(static_cast<unsigned char>(c)) != 0;
}
inline bool is_alpha(char c) {
    return isalpha(static_cast<unsigned char>(c)) != 0;
}
inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
inline bool is_hex(char c) {
    return isxdigit(static_cast<unsigned char>(c)) != 0;
}
inline char lower(char c) {
    return static_cast<char>(tolower(static_cast<unsigned char>(c)));
}
inline bool blank(char c) {
    return c == ' ' || c == '\t';
}
inline bool space(char c) {
    return blank(c) || c == '\n' || c == '\r';
}

// len bytes of a equal the text b, ignoring case.
inline bool equals_ci(const char* a, size_t alen, const char* b) {
    size_t blen = strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

inline bool starts_with_ci(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (!*s || lower(*s) != lower(*prefix)) return false;
    return true;
}

template <size_t N> bool in_list(const char* const (&list)[N], const char* word, size_t len) {
    for (const char* w : list)
        if (equals_ci(word, len, w)) return true;
    return false;
}

} // namespace tarvona_diag::mask_chars
