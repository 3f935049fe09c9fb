#include "text.h"

#include <climits>
#include <cstring>

namespace korvel {

namespace {
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
} // namespace

void trim_blanks(char* text) {
    if (!text) return;
    std::size_t len = std::strlen(text);
    while (len > 0 && is_blank(text[len - 1]))
        text[--len] = '\0';
    std::size_t start = 0;
    while (start < len && is_blank(text[start]))
        ++start;
    if (start > 0) std::memmove(text, text + start, len - start + 1);
}

void cut_line_end(char* text) {
    text[std::strcspn(text, "\r\n")] = '\0';
}

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool prefix_and_number(const char* text, const char* prefix, long* number) {
    if (!starts_with(text, prefix)) return false;
    const char* p = text + std::strlen(prefix);
    if (*p == '\0') return false;
    long value = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        int digit = *p - '0';
        value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    }
    if (number) *number = value;
    return true;
}

void replace_char(char* text, char from, char to) {
    for (; *text; ++text)
        if (*text == from) *text = to;
}

} // namespace korvel
