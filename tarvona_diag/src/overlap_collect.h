// The I/O side of the list overlap analysis (svc_overlap): the process
// listing, the UCI packages of the proxy routers and the DPI-bypass
// services, and their service probes. The table work is overlap.h's.
#pragma once

#include "report.h"

namespace tarvona_diag {

// Fills r.overlap when svc_overlap is selected in r.flags; does nothing
// otherwise. Runs after collect_services and before collect_system_log.
// The lookups (nslookup) are filled by the slow probes (slow_probes.h).
void collect_overlap(diag_report& r);

// The UCI side; confdir: the UCI configuration directory (null: the default
// /etc/config).

// The `section` sections of a package that have a `community_lists` list,
// at most max_list_sections. Returns the count (0 when the package cannot
// be loaded).
int load_list_sections(const char* package, list_section* table, const char* confdir = nullptr);

// zapret: the first `main` section; nothing when NFQWS_ENABLE is "0" or
// NFQWS_OPT is empty; else scan_zapret_profiles over NFQWS_OPT.
void scan_zapret_config(overlap_analysis& ov, const char* confdir = nullptr);

// zapret2: every `strategy` section not disabled, with its hostlist values.
void scan_zapret2_config(overlap_analysis& ov, const char* confdir = nullptr);

} // namespace tarvona_diag
