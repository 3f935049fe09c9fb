// Masking of configuration texts and of the system log (pure text work).
#pragma once

#include <cstddef>

namespace diag {

// Replaces the value of every JSON member "server" in quotes, found inside a
// configuration dump, by "***" (quotes kept). text holds a terminated text
// in a buffer of capacity cap; a value that grows the text beyond cap - 1
// bytes cuts the tail of the text, which always stays terminated.
void mask_servers_in_text(char* text, size_t cap);

// Masks an IPv4 address in a log: every occurrence of addr that does not
// belong to a longer number (no digit right before or after it, nor a dot
// with a digit beyond it) is
// replaced by its first two octets followed by ".x.x". addr may carry a
// prefix length ("/24"), which is ignored; an empty or IPv6 address changes
// nothing. A replacement that would end the text beyond byte cap - 1 stops
// the masking. Returns the number of occurrences replaced.
int mask_address_in_text(char* text, size_t cap, const char* addr);

}  // namespace diag
