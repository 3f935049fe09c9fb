// The collection pass: fills the report record from commands, files and
// UCI, for the selected tests, in the fixed order of the tests.
#pragma once

#include "report.h"

namespace tarvona_diag {

// First ping target and second ping target / site fetched through the
// local HTTP proxy.
extern const char check_resolver[];
extern const char check_host[];

// Clears r, stores f in r.flags and runs every selected test. Never fails
// as a whole: a failed command or file leaves its fields empty. The pings,
// the proxy fetch and the lookups run meanwhile (slow_probes.h).
void collect_report(const test_flags& f, diag_report& r);

// The shell command that pings target once from iface.
// An interface name outside [A-Za-z0-9._@-] is single-quoted.
void format_ping_command(const char* iface, const char* target, char* out, size_t cap);

} // namespace tarvona_diag
