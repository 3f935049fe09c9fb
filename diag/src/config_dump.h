// Text dumps of UCI packages, with sections left out and secrets masked.
#pragma once

#include <cstddef>

struct uci_context;
struct uci_section;

namespace diag {

// Says whether a section is left out of a dump (true: leave it out).
using section_filter = bool (*)(uci_context* ctx, uci_section* s);
// Says whether the values of an option are masked as "***".
using option_mask = bool (*)(const char* option_name);

// Writes the dump of UCI package `package` into dst (capacity cap):
//   config <type>[ '<name>']          per section kept, in package order
//   \toption <name> '<value>'         per single-value option
//   \tlist <name> '<item>'            per list item
// Values are written as stored. With mask_macs, a single value that is a
// MAC address keeps only its vendor part (list items stay as they are).
// The text is cut at cap - 1 bytes and always terminated. When the package
// cannot be loaded dst is left untouched and -1 returned; else 0.
// confdir overrides the UCI configuration directory (tests); null keeps
// the library's default.
int dump_uci_config(const char* package, char* dst, size_t cap, section_filter filter,
                    option_mask mask, bool mask_macs, const char* confdir = nullptr);

// Filters and masks of the dumped packages.
bool firewall_section_hidden(uci_context* ctx, uci_section* s);
bool dhcp_section_hidden(uci_context* ctx, uci_section* s);
bool zapret2_section_hidden(uci_context* ctx, uci_section* s);
bool network_option_masked(const char* name);
bool podkop_option_masked(const char* name);
bool brimvale_option_masked(const char* name);
bool telemt_option_masked(const char* name);
bool wireless_option_masked(const char* name);

// True when the firewall section name (its `name` option, else its own
// name) marks a default section: "lan", "wan" or a name beginning "Allow".
bool firewall_name_hidden(const char* name);

}  // namespace diag
