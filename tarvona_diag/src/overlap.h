// List overlap analysis (svc_overlap): community lists routed by the proxy
// routers that a DPI-bypass service also handles, and the test-domain
// lookups through the router's resolver.
//
// The table work here is pure and works on the overlap part of the record;
// collect_overlap (overlap_collect.h) does the I/O.
#pragma once

#include <cstddef>

#include "report.h"

namespace tarvona_diag {

// ------------------------------------------------------------ conflicts

// A coverage field of conflict_entry: zapret, zapret2 or youtubeUnblock.
using coverage_field = int32_t conflict_entry::*;

// The entry whose list is `name`, appended (cleared) when missing; null when
// the table is full (the mark is lost).
conflict_entry* find_or_add_conflict(overlap_analysis& ov, const char* name);

// Sets `field` to `code` for every list of every podkop section.
void mark_all_lists(overlap_analysis& ov, coverage_field field, int32_t code);

// Walks the NFQWS_OPT text of zapret profile by profile ("--new" ends one):
// a profile's --hostlist= files mark their lists with code 1; a profile
// without any host list marks every podkop list with code 2.
void scan_zapret_profiles(overlap_analysis& ov, const char* nfqws_opt);

// One enabled zapret2 strategy with its hostlist values: each value (minus
// "list_hosts_") is marked with code 1; none at all marks every podkop list
// with code 2.
void mark_zapret2_strategy(overlap_analysis& ov, const char* const* hostlists, int count);

// youtubeUnblock running: "youtube" and "russia_inside" get code 1.
void mark_youtube_unblock(overlap_analysis& ov);

struct conflict_candidate {
    char list[64];
    int32_t zapret;
    int32_t zapret2;
    int32_t youtubeUnblock;
};

// Copies the scratch entries with a non-zero code into out (at most
// max_conflicts), then empties the conflict table. Returns the count.
int compact_candidates(overlap_analysis& ov, conflict_candidate* out);

// Adds the final entries: one per (list item, section) pair that a
// candidate covers, keyed by list and section name.
void record_conflicts(overlap_analysis& ov, const list_section* sections, int section_count,
                      const char* service, const conflict_candidate* candidates,
                      int candidate_count);

// The whole conflict step once the section tables are loaded and the
// scratch marks are set: compaction, then podkop's pairs (when podkop is
// active) and brimvale's youtubeUnblock pairs (when brimvale is active).
void finish_conflicts(overlap_analysis& ov, bool podkop_active, bool brimvale_active);

// ------------------------------------------------------------ lookups

constexpr int test_domain_count = 5;
extern const char* const test_domains[test_domain_count];

constexpr size_t lookup_script_capacity = 2048;

// Puts the test domains into ov.nslookup (ip empty).
void fill_test_domains(overlap_analysis& ov);

// Builds the shell script that looks the entries of ov.nslookup up in
// parallel under a 5-second watchdog and prints "<domain> <address>" per
// entry. Its temporary files live in a private directory made with
// mktemp -d and removed at the end. Returns false when it does not fit.
bool build_lookup_script(const overlap_analysis& ov, char* out, size_t cap);

// Reads the script's output into the ip fields; entries without an
// answer get "-".
void parse_lookup_output(overlap_analysis& ov, const char* output);

} // namespace tarvona_diag
