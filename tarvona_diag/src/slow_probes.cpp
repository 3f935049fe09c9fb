#include "slow_probes.h"

#include <cstdio>
#include <cstring>

#include "collect.h"
#include "command_runner.h"
#include "overlap.h"
#include "parse_network.h"
#include "probes.h"
#include "text_ops.h"

namespace tarvona_diag {

namespace {

constexpr size_t route_output = 4096;
constexpr size_t ping_output = 512;
constexpr size_t proxy_output = 256;
constexpr size_t lookup_output = 2048;
constexpr int ping_targets = 2;
constexpr int max_ping_sources = 2; // awg10 and the default route's interface

struct ping_job {
    int id = -1;
    char out[ping_output];
};

// The probes under way: started by start_slow_probes, gathered by
// finish_slow_probes within the same collection pass.
struct slow_probes {
    char iface[max_ping_sources][32];
    int iface_count = 0;
    ping_job pings[max_ping_sources][ping_targets];
    int proxy_id = -1;
    char proxy_out[proxy_output];
    bool lookups = false;
    int lookup_id = -1;
    char lookup_out[lookup_output];
    char script[lookup_script_capacity];
};

slow_probes g_probes;

const char* const* targets() {
    static const char* const list[ping_targets] = {check_resolver, check_host};
    return list;
}

void start_pings(slow_probes& p) {
    static char route[route_output];
    run_command("ip route show default 2>/dev/null | awk '/default/{for(i=1;i<=NF;i++)"
                "if($i==\"dev\")print $(i+1)}' | head -1",
                route, sizeof route);
    char iface[32];
    copy_text(iface, trim(route));
    if (!iface[0]) copy_text(iface, "wan");
    if (file_exists("/sys/class/net/awg10")) copy_text(p.iface[p.iface_count++], "awg10");
    copy_text(p.iface[p.iface_count++], iface);
    for (int g = 0; g < p.iface_count; ++g) {
        for (int t = 0; t < ping_targets; ++t) {
            char cmd[256];
            format_ping_command(p.iface[g], targets()[t], cmd, sizeof cmd);
            ping_job& job = p.pings[g][t];
            job.id = start_command(cmd, job.out, sizeof job.out, ping_limit_ms);
        }
    }
}

void start_proxy_check(slow_probes& p, proxy_check_result& pc) {
    pc.attempted = 0;
    if (!file_exists("/etc/init.d/opera-proxy") || !service_running("opera-proxy", "opera-proxy"))
        return;
    pc.attempted = 1;
    char cmd[320];
    snprintf(cmd, sizeof cmd,
             "curl -x http://127.0.0.1:18080 -s -o /dev/null -w '%%{http_code}' "
             "--connect-timeout 5 --max-time 10 https://%s 2>&1",
             check_host);
    p.proxy_id = start_command(cmd, p.proxy_out, sizeof p.proxy_out, proxy_limit_ms);
}

void start_lookups(slow_probes& p, overlap_analysis& ov) {
    p.lookups = true;
    p.lookup_out[0] = '\0';
    fill_test_domains(ov);
    if (build_lookup_script(ov, p.script, sizeof p.script))
        p.lookup_id = start_command(p.script, p.lookup_out, sizeof p.lookup_out, lookup_limit_ms);
}

// A job that could not be started leaves its buffer empty, as a command
// that cannot be started does.
void finish(int& id) {
    finish_command(id);
    id = -1;
}

void finish_pings(slow_probes& p, network_facts& n) {
    for (int g = 0; g < p.iface_count; ++g) {
        if (n.ping_group_count >= max_ping_groups) break;
        ping_group& group = n.ping[n.ping_group_count++];
        memset(&group, 0, sizeof group);
        copy_text(group.interface, p.iface[g]);
        for (int t = 0; t < ping_targets; ++t) {
            ping_job& job = p.pings[g][t];
            finish(job.id);
            ping_result& res = group.results[group.result_count++];
            copy_text(res.target, targets()[t]);
            parse_ping_output(job.out, res);
        }
    }
    p.iface_count = 0;
}

} // namespace

void start_slow_probes(diag_report& r) {
    slow_probes& p = g_probes;
    p.iface_count = 0;
    if (r.flags.net_ping) {
        start_pings(p);
        start_proxy_check(p, r.proxy_check);
    }
    p.lookups = false;
    if (r.flags.svc_overlap) start_lookups(p, r.overlap);
}

void finish_slow_probes(diag_report& r) {
    slow_probes& p = g_probes;
    finish_pings(p, r.network);
    if (r.proxy_check.attempted) {
        finish(p.proxy_id);
        parse_proxy_output(p.proxy_out, r.proxy_check);
    }
    if (p.lookups) {
        finish(p.lookup_id);
        parse_lookup_output(r.overlap, p.lookup_out);
        p.lookups = false;
    }
}

} // namespace tarvona_diag
