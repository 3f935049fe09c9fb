// Text operations shared by the parsers and the maskers. Pure; no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvona_diag {

constexpr size_t field_capacity = 128;
using field_slot = char[field_capacity];

// True for space and the controls tab .. carriage return.
inline bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// s begins with prefix (compared byte for byte).
inline bool starts_with(const char* s, const char* prefix) {
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

// word is one of the texts of set (compared byte for byte).
template <size_t N> bool in_set(const char* const (&set)[N], const char* word) {
    for (const char* s : set)
        if (strcmp(s, word) == 0) return true;
    return false;
}

// Skips leading blanks and cuts trailing blanks in place. Returns the first
// non-blank position (the empty text at the end when all was blank).
char* trim(char* s);

// Splits text at runs of blanks into at most max fields of 127 bytes each
// (a longer word continues as the next field). Returns the field count.
int split_fields(const char* text, field_slot* fields, int max);

// Copies the characters from pos up to the next line feed (or the end) into
// line, at most cap - 1 bytes; a longer line is cut and the next call goes
// on with its remainder. Returns the position after the line feed, or
// nullptr when pos is null or already at the end of the text.
const char* next_line(const char* pos, char* line, size_t cap);

// Leading decimal number of s (after blanks, optional sign); 0 when none.
int64_t leading_int64(const char* s);

// Decimal reading of s as strtod does; 0 when none.
double leading_double(const char* s);

// Replaces len bytes at pos of text (total bytes long, terminated, capacity cap) by the
// rep_len bytes of rep; whatever no longer fits is cut off the end. Returns the new length.
size_t splice(char* text, size_t cap, size_t total, size_t pos, size_t len, const char* rep,
              size_t rep_len);

} // namespace tarvona_diag
