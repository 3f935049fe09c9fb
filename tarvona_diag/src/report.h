// The report record of tarvona_diag and the output buffer. The record
// carries the test selection it was collected for (test_keys.h).
//
// One diag_report exists per run, in static storage (see report_storage()).
// The collector clears it to zero bytes and fills it; exactly one renderer
// reads it and writes the output buffer; the front end prints the buffer.
//
// Every text is a NUL-terminated char array whose size includes the
// terminator; a longer value is cut at size minus one byte (copy_text).
// Every table is a fixed array with a count beside it; rows beyond the
// array size are dropped silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "test_keys.h"

namespace tarvona_diag {

// ---------------------------------------------------------------- texts

// Copies src into dst of capacity cap, cut at cap - 1 bytes, always
// terminated. A null src stores the empty text.
inline void copy_text(char* dst, size_t cap, const char* src) {
    if (cap == 0) return;
    if (!src) {
        dst[0] = '\0';
        return;
    }
    size_t n = strnlen(src, cap - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

template <size_t N> inline void copy_text(char (&dst)[N], const char* src) {
    copy_text(dst, N, src);
}

// ---------------------------------------------------------------- record

// System

struct disk_row {
    char filesystem[64];
    char size[16];
    char used[16];
    char available[16];
    char percent[8];
    char mount[64];
};

constexpr int max_disk_rows = 16;

struct system_facts {
    char distrib_id[32];
    char release[32];
    char revision[64];
    char target[64];
    char arch[32];
    char description[128];
    char kernel[64];
    char uptime[128];
    double load[3];
    char total[32];
    char used[32];
    char free[32];
    char shared[32];
    char buffers[32];
    char available[32];
    disk_row disk[max_disk_rows];
    int32_t disk_count;
    char time[64];
};

// Network

struct iface_row {
    char name[32];
    char status[16];
    char ip[64];  // first address with prefix length; empty in links
    char mac[24]; // only in links, only a well-formed MAC; unmasked
};

struct route_row {
    char destination[64];
    char gateway[64];
    char device[32];
    char metric[16];
};

struct traffic_row {
    char interface[32];
    int64_t rx_bytes;
    int64_t rx_packets;
    int64_t tx_bytes;
    int64_t tx_packets;
};

struct ping_result {
    char target[64];
    int32_t success;
    double latency_ms;
};

constexpr int max_ping_results = 4;

struct ping_group {
    char interface[32];
    ping_result results[max_ping_results];
    int32_t result_count;
};

constexpr int max_interfaces = 32;
constexpr int max_links = 32;
constexpr int max_routes = 64;
constexpr int max_dns = 8;
constexpr int max_traffic_rows = 32;
constexpr int max_ping_groups = 4;

struct network_facts {
    iface_row interfaces[max_interfaces];
    int32_t interface_count;
    iface_row links[max_links];
    int32_t link_count;
    route_row routes[max_routes];
    int32_t route_count;
    route_row routes6[max_routes];
    int32_t route6_count;
    char arp[8192];
    char dns[max_dns][64];
    int32_t dns_count;
    int64_t current;
    int64_t max;
    traffic_row traffic[max_traffic_rows];
    int32_t traffic_count;
    ping_group ping[max_ping_groups];
    int32_t ping_group_count;
    char wifi[8192];
    char wifi_config[16384];
    char wifi_rx_queues[8192];
    char wifi_hw_queues[8192];
    char wifi_dmesg[8192];
    char nftables[8192];
};

// Services

struct service_entry {
    char name[32];
    char init_script[32];
    char process[32];
    char config_path[128];
    int32_t hidden;
    int32_t running;
    int32_t pid;
    int32_t enabled;
    char config[16384];
};

constexpr int max_services = 16;
constexpr size_t log_capacity = 131072;

// Overlap analysis

constexpr int max_section_lists = 32;

struct list_section {
    char name[64];
    char type[32];
    char interface[32];
    char lists[max_section_lists][64];
    int32_t list_count;
};

// Coverage codes of conflict_entry.
constexpr int32_t coverage_none = 0;
constexpr int32_t coverage_by_name = 1;
constexpr int32_t coverage_all_traffic = 2;

struct conflict_entry {
    char list[64];
    char section[64];
    char service[16];
    int32_t zapret;
    int32_t zapret2;
    int32_t youtubeUnblock;
};

struct nslookup_entry {
    char domain[128];
    char ip[64];
};

constexpr int max_list_sections = 8;
constexpr int max_conflicts = 32;
constexpr int max_nslookups = 8;

struct overlap_analysis {
    list_section podkop_sections[max_list_sections];
    int32_t podkop_section_count;
    list_section brimvale_sections[max_list_sections];
    int32_t brimvale_section_count;
    conflict_entry conflicts[max_conflicts];
    int32_t conflict_count;
    nslookup_entry nslookup[max_nslookups];
    int32_t nslookup_count;
};

// Proxy check

struct proxy_check_result {
    int32_t attempted;
    int32_t success;
    int32_t http_code;
    char error[128];
};

struct diag_report {
    char timestamp[64];
    char hostname[64];
    system_facts system;
    network_facts network;
    service_entry services[max_services];
    int32_t service_count;
    char log[log_capacity];
    overlap_analysis overlap;
    proxy_check_result proxy_check;
    // The selection this record was collected for; set by collect_report
    // right after clearing, read by the collector steps and the renderers.
    test_flags flags;
};

// The one record of the run (static storage).
diag_report& report_storage();

// ---------------------------------------------------------------- output

constexpr size_t output_capacity = 262144; // 256 KiB

// The output buffer and its write position (static storage).
extern char output_buffer[output_capacity];
size_t out_position();

// Empties the buffer: position 0, first byte NUL.
void out_reset();

// Appends text at the write position. A null text is ignored; a text that
// would end beyond byte output_capacity - 1 is dropped whole and the
// position stays; otherwise it is copied and NUL-terminated.
void out_append(const char* text);

// Makes the position follow a text that was copied in directly (the JSON
// renderer): position := strlen(output_buffer), at most capacity - 1.
void out_sync();

} // namespace tarvona_diag
