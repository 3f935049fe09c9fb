// Text dumps of UCI packages, with sections left out. The dump is raw:
// masking is the cleaner's (report_clean.h).
#pragma once

#include <cstddef>

struct uci_context;
struct uci_section;

namespace tarvona_diag {

// Says whether a section is left out of a dump (true: leave it out).
using section_filter = bool (*)(uci_context* ctx, uci_section* s);

// Writes the dump of UCI package `package` into dst (capacity cap):
//   config <type>[ '<name>']          per section kept, in package order
//   \toption <name> '<value>'         per single-value option
//   \tlist <name> '<item>'            per list item
// Values are written as stored. The text is cut at cap - 1 bytes and always
// terminated. When the package cannot be loaded dst is left untouched and
// -1 returned; else 0. confdir overrides the UCI configuration directory
// (tests); null keeps the library's default.
int dump_uci_config(const char* package, char* dst, size_t cap, section_filter filter,
                    const char* confdir = nullptr);

// Section filters of the dumped packages.
bool firewall_section_hidden(uci_context* ctx, uci_section* s);
bool dhcp_section_hidden(uci_context* ctx, uci_section* s);
bool zapret2_section_hidden(uci_context* ctx, uci_section* s);

// True when the firewall section name (its `name` option, else its own
// name) marks a default section: "lan", "wan" or a name beginning "Allow".
bool firewall_name_hidden(const char* name);

} // namespace tarvona_diag
