// The probes that wait on the network: the pings from the WAN interfaces,
// the fetch through the local proxy (net_ping) and the test-domain lookups
// (svc_overlap). Over a dead uplink each of them waits for its own limit.
// They are all started at the beginning of the collection, run while the
// rest of the report is collected, and their results are put in their
// places at its end: a dead uplink costs the longest of them, not their sum,
// and the record is the one the probes give one after another.
#pragma once

#include "command_runner.h"
#include "report.h"

namespace tarvona_diag {

// Runner limits of the slow probes. The fetch and the lookups bound their
// whole run already (curl --max-time 10, the lookups' 5-s watchdog): the
// runner gives each a second more, so that its own limit ends it first and
// what it prints at its end is kept, and ends it should it hang anyway.
// ping's -W 3 bounds only the wait for the reply, not the lookup of the
// target's name before it: a slow resolver must not turn a reply into a
// failure, so a ping gets the limit of any other command.
constexpr int ping_limit_ms = command_limit_ms;
constexpr int proxy_limit_ms = 10000 + 1000;
constexpr int lookup_limit_ms = 5000 + 1000;

// Starts the slow probes that r.flags selects: for net_ping the pings (from
// awg10 when it exists, then from the default route's interface, "wan"
// without one) and, when opera-proxy runs, the proxy fetch; for
// svc_overlap the lookups of the test domains (r.overlap.nslookup is
// filled with the domains). Call with the record cleared.
void start_slow_probes(diag_report& r);

// Waits for the probes started and stores their results: r.network.ping,
// r.proxy_check and the addresses in r.overlap.nslookup.
void finish_slow_probes(diag_report& r);

} // namespace tarvona_diag
