#include "report_clean.h"

#include <cstring>
#include <initializer_list>
#include <memory>

#include "mask/forms.h"
#include "mask/hidden_map.h"
#include "mask/json_masker.h"
#include "mask/names.h"
#include "mask/nft.h"
#include "mask/text_masker.h"
#include "mask/uci_text.h"
#include "mask/wan.h"

namespace tarvona_diag {

namespace {

// Every text of the record fits: the log is the largest.
constexpr size_t scratch_capacity = log_capacity;

class cleaner {
  public:
    cleaner(diag_report& r, const mask_facts& facts)
        : r_(r), facts_(facts), scratch_(new char[scratch_capacity]) {}

    void run() {
        network_facts& n = r_.network;
        // Configurations by their kind.
        if (n.wifi_config[0]) uci("wireless", n.wifi_config, sizeof n.wifi_config);
        for (int i = 0; i < r_.service_count && i < max_services; ++i) {
            service_entry& e = r_.services[i];
            if (!e.config[0]) continue;
            const config_text& kind = facts_.services[i];
            if (kind.kind == config_text::uci)
                uci(kind.package, e.config, sizeof e.config);
            else if (kind.kind == config_text::json)
                json(e.config, sizeof e.config);
            else
                rules(e.config);
        }

        // The WAN side, from every source.
        const wan_sources src{facts_.ip_route, facts_.ip_brief, facts_.network, facts_.firewall};
        detect_wan(src, wan_);
        wan_addresses(src, wan_, map_);
        wan_addresses_in_log(r_.log, wan_, map_);
        wan_addresses_in_nft(n.nftables, wan_, map_);

        // Free texts.
        rules(r_.log);
        rules(n.arp);
        rules(n.wifi);
        rules(n.wifi_rx_queues);
        rules(n.wifi_hw_queues);
        rules(n.wifi_dmesg);
        rules(n.nftables);
        server_sets(n.nftables, sizeof n.nftables);
        rules(r_.proxy_check.error);

        // Every hidden value, wherever else it appears.
        for (int i = 0; i < n.interface_count && i < max_interfaces; ++i) {
            iface_row& row = n.interfaces[i];
            if (is_wan_iface(row.name) || wan_has_device(wan_, row.name)) {
                if (!row.ip[0]) continue;
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
        for (int i = 0; i < r_.service_count && i < max_services; ++i)
            hide_known(r_.services[i].config);
        hide_known(r_.log);
        for (auto& lookup : r_.overlap.nslookup)
            hide_known(lookup.ip);
        hide_known(r_.proxy_check.error);

        // The shown forms of the tables.
        for (int i = 0; i < n.link_count && i < max_links; ++i) {
            char masked[masked_mac_capacity];
            mask_mac(n.links[i].mac, masked); // empty stays empty
            copy_text(n.links[i].mac, masked);
        }
        macs(n.arp, sizeof n.arp);
        macs(n.wifi, sizeof n.wifi);
        n.interface_count = drop_hidden(n.interfaces, n.interface_count, max_interfaces);
        n.link_count = drop_hidden(n.links, n.link_count, max_links);
        n.traffic_count = drop_hidden(n.traffic, n.traffic_count, max_traffic_rows);
    }

  private:
    diag_report& r_;
    const mask_facts& facts_;
    hidden_map map_;
    wan_facts wan_;
    std::unique_ptr<char[]> scratch_;

    size_t room(size_t cap) const { return cap < scratch_capacity ? cap : scratch_capacity; }
    // The scratch text replaces the field (it fits: it was made for cap).
    void take(char* field) const { memcpy(field, scratch_.get(), strlen(scratch_.get()) + 1); }

    template <size_t N> void rules(char (&text)[N]) {
        mask_text(text, scratch_.get(), room(N), 0, &map_);
        take(text);
    }
    void uci(const char* package, char* text, size_t cap) {
        mask_uci_dump(package, text, scratch_.get(), room(cap), &map_);
        take(text);
    }
    void json(char* text, size_t cap) {
        mask_json_config(text, scratch_.get(), room(cap), &map_);
        take(text);
    }
    void server_sets(char* text, size_t cap) {
        mask_server_sets(text, scratch_.get(), room(cap), &map_);
        take(text);
    }
    void macs(char* text, size_t cap) {
        static_assert(masked_text_capacity <= sizeof(network_facts::arp));
        mask_macs_in_text(text, scratch_.get());
        copy_text(text, cap, scratch_.get());
    }
    template <size_t N> void hide_known(char (&text)[N]) { hidden_map_apply(map_, text, N); }

    template <typename Row> static int drop_hidden(Row* rows, int count, int max) {
        int kept = 0;
        for (int i = 0; i < count && i < max; ++i) {
            const char* name = row_name(rows[i]);
            if (is_hidden_iface(name)) continue;
            if (kept != i) rows[kept] = rows[i];
            ++kept;
        }
        return kept;
    }
    static const char* row_name(const iface_row& row) { return row.name; }
    static const char* row_name(const traffic_row& row) { return row.interface; }
};

} // namespace

void clean_report(diag_report& r, const mask_facts& facts) {
    if (!any_network_test(r.flags) && !any_service_test(r.flags)) return;
    cleaner c(r, facts);
    c.run();
}

} // namespace tarvona_diag
