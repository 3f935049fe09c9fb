// Collection of the raw facts the masking policy needs beside the record
// (report_clean.h): the routes, the interface addresses, and the network
// and firewall configurations, each gathered on its own.
#pragma once

#include "report.h"
#include "report_clean.h"

namespace tarvona_diag {

// Fills facts.ip_route ("ip route"), facts.ip_brief ("ip -br addr") and
// the dumps of the UCI packages network and firewall (every section, one
// UCI context each, so a package that does not load leaves only its own
// text empty). Does nothing for a report of system tests only.
void collect_mask_facts(const test_flags& f, mask_facts& facts);

} // namespace tarvona_diag
