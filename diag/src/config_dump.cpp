#include "config_dump.h"

#include <uci.h>

#include <cstdio>
#include <cstring>

#include "mask.h"
#include "mask_policy.h"
#include "handles.h"

namespace diag {

namespace {

// Appends to a fixed buffer; what no longer fits is lost.
class dump_writer {
public:
    dump_writer(char* dst, size_t cap) : dst_(dst), cap_(cap) { dst_[0] = '\0'; }
    void add(const char* fmt, const char* a, const char* b = nullptr, const char* c = nullptr) {
        if (len_ >= cap_ - 1) return;
        int n = snprintf(dst_ + len_, cap_ - len_, fmt, a, b, c);
        if (n < 0) return;
        len_ += static_cast<size_t>(n);
        if (len_ > cap_ - 1) len_ = cap_ - 1;
    }

private:
    char* dst_;
    size_t cap_;
    size_t len_ = 0;
};

template <size_t N>
bool in_set(const char* const (&set)[N], const char* word) {
    for (const char* s : set)
        if (strcmp(s, word) == 0) return true;
    return false;
}

constexpr size_t value_capacity = 16384;

// Whole options hidden by where they stand: the server of a VPN interface,
// the server of a proxy section.
bool option_masked_in(const char* package, const char* proto, const char* name) {
    static constexpr const char* vpn_protos[] = {"l2tp", "pptp",    "openconnect", "vpnc",
                                                 "sstp", "openvpn", "pppossh"};
    if (strcmp(package, "network") == 0 && proto && in_set(vpn_protos, proto))
        return strcmp(name, "server") == 0 || strcmp(name, "port") == 0;
    if (strcmp(package, "podkop") == 0 || strcmp(package, "brimvale") == 0)
        return strcmp(name, "server") == 0 || strcmp(name, "server_port") == 0;
    return false;
}

// The value shown for one option value or list item: "***" for a masked
// option or a secret-named one; a JSON text (a sing-box outbound kept in an
// option) masked as an outbound; else the value with the links, tokens and
// key=value secrets inside it hidden; a single MAC value keeps its vendor
// part. Every hidden value is remembered in the report's map.
void mask_option_value(const char* name, const char* value, bool masked, bool mask_macs,
                       char* out) {
    mask_map& map = report_mask_map();
    if (masked || value_is_secret(name, value, strlen(value))) {
        mask_map_add(map, value);
        secret_replacement(name, value, out, value_capacity);
        return;
    }
    if (mask_macs && is_mac_address(value)) {
        // The vendor part stays, the device part is hidden.
        snprintf(out, value_capacity, "%.9sxx:xx:xx", value);
        return;
    }
    const char* p = value;
    while (*p == ' ' || *p == '\t' || *p == '\n')
        ++p;
    const unsigned flags = (*p == '{' || *p == '[') ? mask_endpoints : 0u;
    mask_text(value, out, value_capacity, flags, &map);
}

}  // namespace

int dump_uci_config(const char* package, char* dst, size_t cap, section_filter filter,
                    option_mask mask, bool mask_macs, const char* confdir) {
    if (!package || !dst || cap == 0) return -1;
    uci_handle uci(confdir);
    uci_package* pkg = uci.load(package);
    if (!pkg) return -1;

    dump_writer out(dst, cap);
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (filter && filter(uci.get(), s)) continue;
        if (s->anonymous)
            out.add("config %s\n", s->type);
        else
            out.add("config %s '%s'\n", s->type, se->name);

        const char* proto = uci_lookup_option_string(uci.get(), s, "proto");
        uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            uci_option* o = uci_to_option(oe);
            const bool masked =
                (mask && mask(oe->name)) || option_masked_in(package, proto, oe->name);
            static char value[value_capacity]; // one dump at a time
            if (o->type == UCI_TYPE_STRING) {
                mask_option_value(oe->name, o->v.string, masked, mask_macs, value);
                out.add("\toption %s '%s'\n", oe->name, value);
            } else {
                uci_element* item;
                uci_foreach_element(&o->v.list, item) {
                    mask_option_value(oe->name, item->name, masked, false, value);
                    out.add("\tlist %s '%s'\n", oe->name, value);
                }
            }
        }
    }
    return 0;
}

bool firewall_name_hidden(const char* name) {
    return strcmp(name, "lan") == 0 || strcmp(name, "wan") == 0 || strncmp(name, "Allow", 5) == 0;
}

bool firewall_section_hidden(uci_context* ctx, uci_section* s) {
    if (strcmp(s->type, "defaults") == 0) return true;
    const char* name = uci_lookup_option_string(ctx, s, "name");
    if (!name || !*name) name = s->e.name;
    return name && firewall_name_hidden(name);
}

bool dhcp_section_hidden(uci_context*, uci_section* s) { return strcmp(s->type, "odhcpd") == 0; }

bool zapret2_section_hidden(uci_context* ctx, uci_section* s) {
    const char* enabled = uci_lookup_option_string(ctx, s, "enabled");
    return enabled && strcmp(enabled, "0") == 0;
}

bool network_option_masked(const char* name) {
    // preshared_key is a WireGuard peer secret just like private_key.
    static constexpr const char* set[] = {"private_key", "public_key", "preshared_key",
                                          "endpoint_host", "username", "password"};
    return in_set(set, name);
}

bool podkop_option_masked(const char* name) {
    static constexpr const char* set[] = {"urltest_proxy_links", "proxy_string"};
    return in_set(set, name);
}

bool brimvale_option_masked(const char* name) {
    static constexpr const char* set[] = {"urltest_proxy_links", "proxy_string", "server_port"};
    return in_set(set, name);
}

bool telemt_option_masked(const char* name) {
    static constexpr const char* set[] = {"secret", "dc_override"};
    return in_set(set, name);
}

bool wireless_option_masked(const char* name) { return strcmp(name, "key") == 0; }

}  // namespace diag
