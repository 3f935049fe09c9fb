// Parsers of the network facts: command output or file text in, record
// rows out. Pure.
#pragma once

#include "report.h"

namespace tarvona_diag {

// "ip -br addr" -> interface rows (name, rewritten status, first address).
// Returns the row count (at most max_rows).
int parse_ip_brief(const char* text, iface_row* rows, int max_rows);

// "ip -br link" -> link rows (name, rewritten status, well-formed MAC).
int parse_ip_link(const char* text, iface_row* rows, int max_rows);

// "ip route" / "ip -6 route" -> route rows (destination, via, dev, metric).
int parse_routes(const char* text, route_row* rows, int max_rows);

// Resolver file -> the addresses of its "nameserver" lines.
int parse_resolv_conf(const char* text, char (*dns)[64], int max_entries);

// /proc/net/dev -> traffic rows (two header lines skipped).
int parse_net_dev(const char* text, traffic_row* rows, int max_rows);

// One ping's output -> success and latency of r (target untouched).
void parse_ping_output(const char* text, ping_result& r);

// The proxy fetch's output (curl's "%{http_code}", or its complaint) ->
// http_code, success and error of pc (attempted untouched).
void parse_proxy_output(const char* text, proxy_check_result& pc);

} // namespace tarvona_diag
