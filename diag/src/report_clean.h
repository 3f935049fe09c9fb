// The last step of the collection pass: no secret leaves the router. Finds
// the WAN side of the router and hides, in every text of the record, the
// secrets the masking policy names and every value hidden anywhere else.
#pragma once

#include "mask_policy.h"
#include "report.h"

namespace diag {

// The WAN devices (default routes of ip_route and of the network package:
// interfaces with a gateway, static routes to 0.0.0.0; the firewall's wan
// zones: a zone named "wan" or one that masquerades; networks mapped to
// devices through the network package) and the WAN addresses (of those
// devices in ip_brief, static addresses of those networks, public hosts
// and gateways routed over them) into w and m. confdir overrides the UCI
// directory (tests).
void find_wan(const char* ip_route, const char* ip_brief, wan_set& w, mask_map& m,
              const char* confdir = nullptr);

// Runs find_wan on "ip route" and "ip -br addr", then: addresses of WAN
// interfaces outside is_wan_iface masked in the interface table; the log,
// command outputs and the proxy check's error masked by mask_text; every
// text (configurations, routes, resolvers, lookups too) cleared of every
// value in the report's map. Does nothing for a report of system tests
// only.
void clean_report(diag_report& r);

}  // namespace diag
