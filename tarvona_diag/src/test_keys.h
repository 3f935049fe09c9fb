// The test keys of a report: one 0/1 flag per key in test_flags, the
// table of the keys in flag order, and the predicates over the flags.
#pragma once

#include <cstdint>

namespace tarvona_diag {

// One 0/1 flag per test key, in the fixed order of collection and report.
struct test_flags {
    int32_t sys_version; // always on
    int32_t sys_kernel;  // always on
    int32_t sys_uptime;  // always on
    int32_t sys_cpu;
    int32_t sys_memory;
    int32_t sys_disk;
    int32_t sys_time; // always on
    int32_t net_interfaces;
    int32_t net_links;
    int32_t net_routes;
    int32_t net_routes6;
    int32_t net_arp;
    int32_t net_dns;
    int32_t net_conntrack;
    int32_t net_traffic;
    int32_t net_ping;
    int32_t net_wifi;
    int32_t net_nftables;
    int32_t svc_cron;
    int32_t svc_network;
    int32_t svc_firewall;
    int32_t svc_dnsmasq;
    int32_t svc_velmora;
    int32_t svc_singbox;
    int32_t svc_podkop;
    int32_t svc_brimvale;
    int32_t svc_zapret;
    int32_t svc_zapret2;
    int32_t svc_ytunblock;
    int32_t svc_dohproxy;
    int32_t svc_stubby;
    int32_t svc_telemt;
    int32_t svc_overlap;
    int32_t svc_log;
};

constexpr int test_key_count = 34;

struct test_key {
    const char* key;
    int32_t test_flags::*flag;
};

// The 34 keys in flag order.
extern const test_key test_keys[test_key_count];

// Any of net_interfaces .. net_nftables set.
bool any_network_test(const test_flags& f);
// Any of svc_cron .. svc_log set.
bool any_service_test(const test_flags& f);

} // namespace tarvona_diag
