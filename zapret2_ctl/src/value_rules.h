// Checks of single UCI values: the boolean, integer and mark rules and the
// list joiner. Pure functions over texts; warnings go through the logger.
#pragma once

#include "config.h"

#include <cstdint>
#include <cstring>

namespace zapret2_ctl {

// Largest joined list, terminator and separators included.
constexpr std::size_t max_joined_list_bytes = 262144;

// True only for exactly "1", "true" or "yes".
bool bool_rule(const char* text);

// Integer rule: text null means "option missing" (the default). A malformed
// text or one outside the 32-bit range warns and gives the default; a value
// outside [min, max] warns and gives the default.
int32_t int_rule(const char* option, const char* text, int32_t def, int32_t min, int32_t max);

// Mark rule: base-0 unsigned parse. Returns true and sets *out for a good
// value; warns and leaves *out alone otherwise.
bool mark_rule(const char* text, uint32_t* out);

// Joins the items of a list option with single spaces. Items is any range of
// const char*. Returns null for an empty list, for a list whose items (each
// counted with one extra byte) exceed max_joined_list_bytes (with a warning),
// or when the buffer cannot be allocated.
template <class item_range> heap_text join_list(const char* option, const item_range& items);

void warn_list_too_large(const char* option);
void warn_list_truncated(const char* option);

template <class item_range> heap_text join_list(const char* option, const item_range& items) {
    std::size_t total = 0;
    for (const char* item : items) {
        total += std::strlen(item) + 1;
        if (total > max_joined_list_bytes) {
            warn_list_too_large(option);
            return nullptr;
        }
    }
    if (total == 0) return nullptr;

    heap_text buf(static_cast<char*>(std::calloc(total, 1)));
    if (!buf) return nullptr;

    std::size_t used = 0;
    bool first = true;
    for (const char* item : items) {
        std::size_t len = std::strlen(item);
        std::size_t sep = first ? 0 : 1;
        if (total - used <= len + sep) {
            warn_list_truncated(option);
            break;
        }
        if (sep) buf.get()[used++] = ' ';
        std::memcpy(buf.get() + used, item, len);
        used += len;
        first = false;
    }
    buf.get()[used] = '\0';
    return buf;
}

} // namespace zapret2_ctl
