#include "collect.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "mask_collect.h"
#include "overlap_collect.h"
#include "parse_network.h"
#include "parse_system.h"
#include "probes.h"
#include "report_clean.h"
#include "services.h"
#include "slow_probes.h"
#include "text_ops.h"

namespace tarvona_diag {

const char check_resolver[] = "1.1.1.1";
const char check_host[] = "google.com";

namespace {

constexpr size_t work_capacity = 4096; // every command and file of this pass

char g_work[work_capacity]; // static: the pass is single-threaded

const char* command_output(const char* cmd) {
    run_command(cmd, g_work, sizeof g_work);
    return g_work;
}

const char* file_text(const char* path) {
    read_text_file(path, g_work, sizeof g_work);
    return g_work;
}

// Trimmed output of a command into a record field.
void store_trimmed(const char* cmd, char* field, size_t cap) {
    run_command(cmd, g_work, sizeof g_work);
    copy_text(field, cap, trim(g_work));
}

void collect_system(const test_flags& f, system_facts& s) {
    if (f.sys_version) parse_openwrt_release(file_text("/etc/openwrt_release"), s);
    if (f.sys_kernel) store_trimmed("uname -r", s.kernel, sizeof s.kernel);
    if (f.sys_uptime) store_trimmed("uptime", s.uptime, sizeof s.uptime);
    if (f.sys_cpu) parse_loadavg(file_text("/proc/loadavg"), s.load);
    if (f.sys_memory) parse_free(command_output("free"), s);
    if (f.sys_disk) s.disk_count = parse_df(command_output("df -h"), s.disk, max_disk_rows);
    if (f.sys_time) store_trimmed("date", s.time, sizeof s.time);
}

int64_t counter_file(const char* path) {
    if (read_text_file(path, g_work, sizeof g_work) <= 0) return 0;
    return leading_int64(g_work);
}

void collect_wifi(diag_report& r) {
    network_facts& n = r.network;
    run_command("iwinfo 2>/dev/null || iw dev 2>/dev/null", g_work, sizeof g_work);
    copy_text(n.wifi, g_work);
    collect_wifi_config(r);
    store_trimmed("cat /sys/kernel/debug/ieee80211/phy*/mt76/rx-queues 2>/dev/null",
                  n.wifi_rx_queues, sizeof n.wifi_rx_queues);
    store_trimmed("cat /sys/kernel/debug/ieee80211/phy*/mt76/hw-queues 2>/dev/null",
                  n.wifi_hw_queues, sizeof n.wifi_hw_queues);
    store_trimmed("dmesg | grep -i mt7 2>/dev/null", n.wifi_dmesg, sizeof n.wifi_dmesg);
}

void collect_network(const test_flags& f, diag_report& r) {
    network_facts& n = r.network;
    if (f.net_interfaces)
        n.interface_count =
            parse_ip_brief(command_output("ip -br addr"), n.interfaces, max_interfaces);
    if (f.net_links)
        n.link_count = parse_ip_link(command_output("ip -br link"), n.links, max_links);
    if (f.net_routes)
        n.route_count = parse_routes(command_output("ip route"), n.routes, max_routes);
    if (f.net_routes6)
        n.route6_count =
            parse_routes(command_output("ip -6 route 2>/dev/null"), n.routes6, max_routes);
    if (f.net_arp) store_trimmed("ip neigh", n.arp, sizeof n.arp);
    if (f.net_dns) {
        const char* auto_conf = "/tmp/resolv.conf.d/resolv.conf.auto";
        file_text(file_exists(auto_conf) ? auto_conf : "/etc/resolv.conf");
        n.dns_count = parse_resolv_conf(g_work, n.dns, max_dns);
    }
    if (f.net_conntrack) {
        n.current = counter_file("/proc/sys/net/netfilter/nf_conntrack_count");
        n.max = counter_file("/proc/sys/net/netfilter/nf_conntrack_max");
    }
    if (f.net_traffic)
        n.traffic_count = parse_net_dev(file_text("/proc/net/dev"), n.traffic, max_traffic_rows);
    if (f.net_wifi) collect_wifi(r);
    if (f.net_nftables) {
        run_command("nft list ruleset 2>/dev/null", g_work, sizeof g_work);
        copy_text(n.nftables, g_work);
    }
}

bool is_safe_iface_name(const char* s) {
    if (!*s) return false;
    for (; *s; ++s) {
        char c = *s;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '_' || c == '@' || c == '-';
        if (!ok) return false;
    }
    return true;
}

} // namespace

void format_ping_command(const char* iface, const char* target, char* out, size_t cap) {
    if (is_safe_iface_name(iface)) {
        snprintf(out, cap, "ping -c 1 -W 3 -I %s %s 2>&1", iface, target);
        return;
    }
    // Kernel interface names may hold shell characters: quote them.
    char quoted[160];
    size_t q = 0;
    quoted[q++] = '\'';
    for (const char* s = iface; *s && q + 5 < sizeof quoted; ++s) {
        if (*s == '\'') {
            memcpy(quoted + q, "'\\''", 4);
            q += 4;
        } else {
            quoted[q++] = *s;
        }
    }
    quoted[q++] = '\'';
    quoted[q] = '\0';
    snprintf(out, cap, "ping -c 1 -W 3 -I %s %s 2>&1", quoted, target);
}

void collect_report(const test_flags& f, diag_report& r) {
    memset(&r, 0, sizeof r);
    r.flags = f;
    // What the masking policy needs to know beside the record (its texts
    // are filled, and so touched, only as far as they are used).
    std::unique_ptr<mask_facts> facts(new mask_facts);
    format_timestamp(r.timestamp, sizeof r.timestamp);
    // The probes that wait on the network run while the rest is collected.
    start_slow_probes(r);
    store_trimmed("cat /proc/sys/kernel/hostname", r.hostname, sizeof r.hostname);

    collect_system(f, r.system);
    collect_network(f, r);
    if (any_service_test(f)) collect_services(r, *facts);
    if (f.svc_overlap) collect_overlap(r);
    if (f.svc_log) collect_system_log(r);
    finish_slow_probes(r);
    collect_mask_facts(f, *facts);
    clean_report(r, *facts);
}

} // namespace tarvona_diag
