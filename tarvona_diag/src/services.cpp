#include "services.h"

#include <cstdio>
#include <cstring>

#include "config_dump.h"
#include "probes.h"

namespace tarvona_diag {

namespace {

enum class config_kind { raw, uci, json };

// How a UCI package is dumped for the report: which sections are left out
// (null: none). The dump is raw; the cleaner masks it by its package.
struct dump_settings {
    const char* package;
    section_filter filter;
};

constexpr dump_settings network_dump{"network", nullptr};
constexpr dump_settings firewall_dump{"firewall", firewall_section_hidden};
constexpr dump_settings dhcp_dump{"dhcp", dhcp_section_hidden};
constexpr dump_settings podkop_dump{"podkop", nullptr};
constexpr dump_settings brimvale_dump{"brimvale", nullptr};
constexpr dump_settings zapret2_ctl_dump{"zapret2", zapret2_section_hidden};
constexpr dump_settings telemt_dump{"telemt", nullptr};
constexpr dump_settings wireless_dump{"wireless", nullptr};

struct service_row {
    int32_t test_flags::*flag;
    const char* name;
    const char* init_script;
    const char* process; // empty: none
    const char* config_path;
    config_kind kind;
    const dump_settings* dump; // UCI kind only
    bool hidden;               // listed for its configuration only
};

constexpr service_row service_table[] = {
    {&test_flags::svc_cron, "crond", "cron", "crond", "/etc/crontabs/root", config_kind::raw,
     nullptr, false},
    {&test_flags::svc_network, "network", "network", "", "/etc/config/network", config_kind::uci,
     &network_dump, true},
    {&test_flags::svc_firewall, "firewall", "firewall", "", "/etc/config/firewall",
     config_kind::uci, &firewall_dump, false},
    {&test_flags::svc_dnsmasq, "dnsmasq", "dnsmasq", "dnsmasq", "/etc/config/dhcp",
     config_kind::uci, &dhcp_dump, false},
    {&test_flags::svc_velmora, "velmora", "velmora", "velmora", "/etc/config/velmora",
     config_kind::raw, nullptr, false},
    {&test_flags::svc_singbox, "sing-box", "sing-box", "sing-box", "/etc/sing-box/config.json",
     config_kind::json, nullptr, false},
    {&test_flags::svc_podkop, "podkop", "podkop", "", "/etc/config/podkop", config_kind::uci,
     &podkop_dump, true},
    {&test_flags::svc_brimvale, "brimvale", "brimvale", "", "/etc/config/brimvale",
     config_kind::uci, &brimvale_dump, true},
    {&test_flags::svc_zapret, "zapret", "zapret", "nfqws", "/etc/config/zapret", config_kind::raw,
     nullptr, false},
    {&test_flags::svc_zapret2, "zapret2", "zapret2", "nfqws2", "/etc/config/zapret2",
     config_kind::uci, &zapret2_ctl_dump, false},
    {&test_flags::svc_ytunblock, "youtubeUnblock", "youtubeUnblock", "youtubeUnblock",
     "/etc/config/youtubeUnblock", config_kind::raw, nullptr, false},
    {&test_flags::svc_dohproxy, "doh-proxy", "doh-proxy", "doh-proxy", "/etc/config/doh-proxy",
     config_kind::raw, nullptr, false},
    {&test_flags::svc_stubby, "stubby", "stubby", "stubby", "/etc/stubby/stubby.yml",
     config_kind::raw, nullptr, false},
    {&test_flags::svc_telemt, "telemt", "telemt", "telemt", "/etc/config/telemt", config_kind::uci,
     &telemt_dump, false},
};

void dump_package(const dump_settings& d, char* dst, size_t cap) {
    dump_uci_config(d.package, dst, cap, d.filter);
}

// The configuration text as the file or the package holds it, and what
// kind of text it is.
void fill_config(service_entry& e, const service_row& row, config_text& kind) {
    switch (row.kind) {
    case config_kind::raw:
        read_text_file(row.config_path, e.config, sizeof e.config);
        break;
    case config_kind::json:
        kind.kind = config_text::json;
        read_text_file(row.config_path, e.config, sizeof e.config);
        break;
    case config_kind::uci:
        kind.kind = config_text::uci;
        kind.package = row.dump->package;
        dump_package(*row.dump, e.config, sizeof e.config);
        break;
    }
}

void add_service(diag_report& r, const service_row& row, mask_facts& facts) {
    if (r.service_count >= max_services) return;
    char path[64];
    snprintf(path, sizeof path, "/etc/init.d/%s", row.init_script);
    if (!file_exists(path)) return;

    config_text& kind = facts.services[r.service_count];
    kind = config_text{};
    service_entry& e = r.services[r.service_count++];
    memset(&e, 0, sizeof e);
    copy_text(e.name, row.name);
    copy_text(e.init_script, row.init_script);
    copy_text(e.process, row.process);
    copy_text(e.config_path, row.config_path);
    e.hidden = row.hidden;
    if (!e.hidden) {
        e.running = service_running(e.init_script, e.process);
        e.pid = service_pid(e.init_script, e.process);
        e.enabled = service_enabled(e.init_script);
    }
    if (e.config_path[0] && file_exists(e.config_path)) fill_config(e, row, kind);
}

} // namespace

void collect_services(diag_report& r, mask_facts& facts) {
    for (const service_row& row : service_table)
        if (r.flags.*row.flag) add_service(r, row, facts);
}

void collect_wifi_config(diag_report& r) {
    if (!file_exists("/etc/config/wireless")) return;
    dump_package(wireless_dump, r.network.wifi_config, sizeof r.network.wifi_config);
}

void collect_system_log(diag_report& r) {
    if (!r.flags.svc_log) return;
    run_command("logread", r.log, sizeof r.log);
}

} // namespace tarvona_diag
