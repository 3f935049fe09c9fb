// Parsers of the system facts: command output or file text in, record
// fields out. Pure.
#pragma once

#include "report.h"

namespace tarvona_diag {

// /etc/openwrt_release -> the six version fields of s (cleared first).
void parse_openwrt_release(const char* text, system_facts& s);

// /proc/loadavg -> load[0..2]; all 0 when fewer than three fields.
void parse_loadavg(const char* text, double load[3]);

// "free" -> total, used, free, shared, buffers, available (cleared first),
// from the first line containing "Mem:".
void parse_free(const char* text, system_facts& s);

// "df -h" -> disk rows (header line skipped, lines of fewer than six fields
// skipped). Returns the row count (at most max_rows).
int parse_df(const char* text, disk_row* rows, int max_rows);

} // namespace tarvona_diag
