// The map of hidden values: every value the policy hides (a WAN address, a
// proxy server, a user name, a key) is kept here, so that a value hidden in
// one text is hidden in every other text of the report. A plain value: the
// owner passes it where it is filled and where it is applied; nothing is
// global.
#pragma once

#include <cstddef>

namespace tarvona_diag {

struct hidden_map {
    static constexpr int capacity = 256;
    static constexpr size_t value_capacity = 192;
    char values[capacity][value_capacity];
    int count = 0;
};

// Remembers len bytes of value, blanks around it and an IPv4 prefix length
// ("/24") left out. Values that would hide ordinary text are not kept:
// shorter than 6 bytes (7 for an IPv4 address), longer than the value
// capacity, purely numeric, plain words (true, none, default, ...),
// loopback and unspecified addresses, values already masked ("***",
// ".x.x") and values spanning lines. Returns true when the value is (now)
// in the map; a full map keeps what it has.
bool hidden_map_add(hidden_map& m, const char* value, size_t len);
bool hidden_map_add(hidden_map& m, const char* value);

// Replaces in text (terminated, capacity cap) every occurrence of every
// value that stands on its own: an IPv4 address not inside a longer number
// (a digit, or a dot with a digit beyond it, on either side) by its first
// two octets and ".x.x"; any other value not inside a longer word by
// "***". Longer values go first, so "alice:pw" goes whole before "alice"
// could split it. Growth past cap - 1 cuts the tail; the text stays
// terminated.
void hidden_map_apply(const hidden_map& m, char* text, size_t cap);

} // namespace tarvona_diag
