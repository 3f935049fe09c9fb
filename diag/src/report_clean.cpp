#include "report_clean.h"

#include <uci.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "mask.h"
#include "probes.h"
#include "handles.h"

namespace diag {

namespace {

constexpr int max_wan_networks = 16;

struct name_list {
    char names[max_wan_networks][64];
    int count = 0;
    void add(const char* s, size_t len) {
        if (len == 0 || len >= sizeof names[0] || count >= max_wan_networks) return;
        memcpy(names[count], s, len);
        names[count][len] = '\0';
        ++count;
    }
    bool has(const char* s) const {
        for (int i = 0; i < count; ++i)
            if (strcmp(names[i], s) == 0) return true;
        return false;
    }
};

// Calls f on each word of a list option or of a blank-separated value.
template <typename F> void for_each_value(uci_section* s, const char* option, F f) {
    uci_element* e;
    uci_foreach_element(&s->options, e) {
        if (strcmp(e->name, option) != 0) continue;
        uci_option* o = uci_to_option(e);
        if (o->type == UCI_TYPE_LIST) {
            uci_element* item;
            uci_foreach_element(&o->v.list, item) f(item->name, strlen(item->name));
        } else {
            for (const char* p = o->v.string; *p;) {
                size_t n = strcspn(p, " \t");
                if (n) f(p, n);
                p += n;
                p += strspn(p, " \t");
            }
        }
    }
}

void wan_zones(uci_handle& uci, wan_set& w, name_list& networks) {
    uci_package* pkg = uci.load("firewall");
    if (!pkg) return;
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "zone") != 0) continue;
        const char* name = uci_lookup_option_string(uci.get(), s, "name");
        const char* masq = uci_lookup_option_string(uci.get(), s, "masq");
        if (!(name && strcmp(name, "wan") == 0) && !(masq && strcmp(masq, "1") == 0)) continue;
        for_each_value(s, "network", [&](const char* v, size_t n) { networks.add(v, n); });
        for_each_value(s, "device", [&](const char* v, size_t n) { wan_set_add(w, v, n); });
    }
}

bool is_default_target(const char* target) {
    return target && (strcmp(target, "0.0.0.0") == 0 || strcmp(target, "0.0.0.0/0") == 0);
}

// Networks of the wan zones, networks with a gateway of their own and the
// networks of static default routes: their devices and addresses.
void wan_networks(uci_handle& uci, name_list networks, wan_set& w, mask_map& m) {
    uci_package* pkg = uci.load("network");
    if (!pkg) return;
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "route") != 0) continue;
        const char* target = uci_lookup_option_string(uci.get(), s, "target");
        const char* iface = uci_lookup_option_string(uci.get(), s, "interface");
        if (is_default_target(target) && iface) networks.add(iface, strlen(iface));
    }
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "interface") != 0) continue;
        const char* gateway = uci_lookup_option_string(uci.get(), s, "gateway");
        const bool routes_default = gateway && *gateway && strcmp(gateway, "0.0.0.0") != 0;
        if (!networks.has(se->name) && !routes_default) continue;
        const char* proto = uci_lookup_option_string(uci.get(), s, "proto");
        const char* device = uci_lookup_option_string(uci.get(), s, "device");
        if (!device) device = uci_lookup_option_string(uci.get(), s, "ifname");
        char l3[32];
        uci_l3_device(se->name, proto, device, l3, sizeof l3);
        wan_set_add(w, l3);
        if (device && device[0] != '@' && device[0] != '/') wan_set_add(w, device);
        auto address = [&](const char* v, size_t n) {
            char a[64];
            snprintf(a, sizeof a, "%.*s", static_cast<int>(n), v);
            if (char* slash = strchr(a, '/')) *slash = '\0';
            mask_map_add(m, a);
        };
        for_each_value(s, "ipaddr", address);
        for_each_value(s, "ip6addr", address);
        if (const char* gw = uci_lookup_option_string(uci.get(), s, "gateway");
            gw && is_public_ipv4(gw, strlen(gw)))
            mask_map_add(m, gw);
    }
}

void full_mask(char* text, size_t cap) {
    mask_text_in_place(text, cap, 0, &report_mask_map());
}

template <size_t N> void full_mask(char (&text)[N]) {
    full_mask(text, N);
}

template <size_t N> void hide_known(char (&text)[N]) {
    mask_map_apply(report_mask_map(), text, N);
}

} // namespace

void find_wan(const char* ip_route, const char* ip_brief, wan_set& w, mask_map& m,
              const char* confdir) {
    wan_devices_from_routes(ip_route, w);
    {
        uci_handle uci(confdir);
        name_list networks;
        wan_zones(uci, w, networks);
        wan_networks(uci, networks, w, m);
    }
    wan_addresses_from_brief(ip_brief, w, m);
    wan_route_addresses(ip_route, w, m);
}

void clean_report(diag_report& r) {
    if (!any_network_test(r.flags) && !any_service_test(r.flags)) return;
    mask_map& m = report_mask_map();
    static char routes[4096], brief[4096];
    run_command("ip route", routes, sizeof routes);
    run_command("ip -br addr", brief, sizeof brief);
    static wan_set w;
    w.count = 0;
    find_wan(routes, brief, w, m);

    network_facts& n = r.network;
    // Free texts: secrets by the policy (this also fills the map).
    full_mask(r.log);
    full_mask(n.arp);
    full_mask(n.wifi);
    full_mask(n.wifi_rx_queues);
    full_mask(n.wifi_hw_queues);
    full_mask(n.wifi_dmesg);
    full_mask(n.nftables);
    full_mask(r.proxy_check.error);

    // Then every value hidden anywhere, wherever else it appears.
    for (int i = 0; i < n.interface_count && i < max_interfaces; ++i) {
        iface_row& row = n.interfaces[i];
        // The renderers mask the rows is_wan_iface accepts; the other WAN
        // rows are masked here, the same way.
        if (is_wan_iface(row.name)) continue;
        if (row.ip[0] && wan_set_has(w, row.name)) {
            char masked[masked_ip_capacity];
            mask_ip(row.ip, masked);
            copy_text(row.ip, masked);
        } else {
            hide_known(row.ip);
        }
    }
    for (int i = 0; i < max_routes; ++i) {
        for (route_row* row : {&n.routes[i], &n.routes6[i]}) {
            hide_known(row->destination);
            hide_known(row->gateway);
        }
    }
    for (auto& dns : n.dns)
        hide_known(dns);
    hide_known(n.arp);
    hide_known(n.wifi);
    hide_known(n.wifi_config);
    hide_known(n.wifi_rx_queues);
    hide_known(n.wifi_hw_queues);
    hide_known(n.wifi_dmesg);
    hide_known(n.nftables);
    for (int i = 0; i < r.service_count && i < max_services; ++i)
        hide_known(r.services[i].config);
    hide_known(r.log);
    for (auto& lookup : r.overlap.nslookup)
        hide_known(lookup.ip);
    hide_known(r.proxy_check.error);
}

} // namespace diag
