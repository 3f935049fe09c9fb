#include "mask/wan.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "mask/chars.h"
#include "mask/forms.h"
#include "mask/names.h"
#include "mask/uci_text.h"
#include "text_ops.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

// ---------------------------------------------------------------- lines

// Calls f(fields, count) for every line of text split at blanks.
template <typename F> void for_each_line(const char* text, F f) {
    const char* p = text ? text : "";
    while (*p) {
        const char* e = strchr(p, '\n');
        size_t len = e ? static_cast<size_t>(e - p) : strlen(p);
        char line[512];
        snprintf(line, sizeof line, "%.*s", static_cast<int>(len), p);
        const char* fields[24];
        int n = 0;
        char* save = nullptr;
        for (char* tok = strtok_r(line, " \t\r", &save); tok && n < 24;
             tok = strtok_r(nullptr, " \t\r", &save))
            fields[n++] = tok;
        if (n) f(fields, n);
        p += len;
        if (*p == '\n') ++p;
    }
}

const char* field_after(const char* const* fields, int n, const char* word) {
    for (int i = 1; i + 1 < n; ++i)
        if (strcmp(fields[i], word) == 0) return fields[i + 1];
    return nullptr;
}

// The address part of "a.b.c.d/len" or "a.b.c.d" (len bytes of s).
size_t address_length(const char* s, size_t len) {
    const char* slash = static_cast<const char*>(memchr(s, '/', len));
    return slash ? static_cast<size_t>(slash - s) : len;
}

void add_address(hidden_map& m, const char* s, size_t len) {
    hidden_map_add(m, s, address_length(s, len));
}

bool public_address(const char* s, size_t len) {
    return is_public_ipv4(s, address_length(s, len));
}

// ---------------------------------------------------------------- dumps

// The options of one section of a dump text, as far as WAN detection
// reads them.
struct section {
    static constexpr int max_options = 64;
    char type[32] = "";
    char name[64] = "";
    struct option {
        char name[32];
        char value[256];
    } options[max_options];
    int count = 0;

    // The first value of a single or list option, or null.
    const char* get(const char* option_name) const {
        for (int i = 0; i < count; ++i)
            if (strcmp(options[i].name, option_name) == 0) return options[i].value;
        return nullptr;
    }
    bool is(const char* option_name, const char* value) const {
        const char* v = get(option_name);
        return v && strcmp(v, value) == 0;
    }
    // Calls f(word, length) for every blank-separated word of every value
    // of the option (a list, or "lan wan" in a single value).
    template <typename F> void each(const char* option_name, F f) const {
        for (int i = 0; i < count; ++i) {
            if (strcmp(options[i].name, option_name) != 0) continue;
            for (const char* p = options[i].value; *p;) {
                size_t n = strcspn(p, " \t");
                if (n) f(p, n);
                p += n;
                p += strspn(p, " \t");
            }
        }
    }
};

template <typename F> void for_each_section(const char* dump, F f) {
    section s;
    bool open = false;
    uci_reader reader(dump);
    uci_piece p;
    while (reader.next(p)) {
        if (p.kind == uci_piece::head) {
            if (open) f(static_cast<const section&>(s));
            s.count = 0;
            uci_copy(p.type, p.type_len, s.type, sizeof s.type);
            uci_copy(p.section, p.section_len, s.name, sizeof s.name);
            open = true;
        } else if ((p.kind == uci_piece::option || p.kind == uci_piece::list) && open &&
                   s.count < section::max_options) {
            section::option& o = s.options[s.count++];
            uci_copy(p.name, p.name_len, o.name, sizeof o.name);
            uci_copy(p.value, p.value_len, o.value, sizeof o.value);
        }
    }
    if (open) f(static_cast<const section&>(s));
}

bool is_default_target(const char* target) {
    return target && (strcmp(target, "0.0.0.0") == 0 || strcmp(target, "0.0.0.0/0") == 0);
}

bool uplink_proto(const char* proto) {
    static constexpr const char* protos[] = {"pppoe",    "pppoa", "3g",  "ppp",
                                             "qmi",      "mbim",  "ncm", "modemmanager",
                                             "directip", "wwan",  "xmm"};
    return proto && in_set(protos, proto);
}

bool uplink_section_name(const char* name) {
    return strncmp(name, "wan", 3) == 0 || strncmp(name, "wwan", 4) == 0;
}

// ---------------------------------------------------------------- sets

template <size_t N, size_t L>
void add_name(char (&names)[N][L], int& count, const char* s, size_t len) {
    if (len == 0 || len >= L) return;
    for (int i = 0; i < count; ++i)
        if (strlen(names[i]) == len && memcmp(names[i], s, len) == 0) return;
    if (count >= static_cast<int>(N)) return;
    memcpy(names[count], s, len);
    names[count][len] = '\0';
    ++count;
}

template <size_t N, size_t L>
bool has_name(const char (&names)[N][L], int count, const char* s, size_t len) {
    for (int i = 0; i < count; ++i)
        if (strlen(names[i]) == len && memcmp(names[i], s, len) == 0) return true;
    return false;
}

void add_device(wan_facts& w, const char* s, size_t len) {
    if (len == 0 || s[0] == '@' || s[0] == '/') return;
    add_name(w.devices, w.device_count, s, len);
}

void add_device(wan_facts& w, const char* s) {
    if (s) add_device(w, s, strlen(s));
}

} // namespace

void uci_l3_device(const char* section, const char* proto, const char* device, char* out,
                   size_t cap) {
    static constexpr struct {
        const char* proto;
        const char* prefix;
    } tunnels[] = {{"pppoe", "pppoe-"},     {"pppoa", "pppoa-"}, {"pptp", "pptp-"},
                   {"l2tp", "l2tp-"},       {"3g", "3g-"},       {"ppp", "ppp-"},
                   {"openconnect", "vpn-"}, {"vpnc", "vpn-"},    {"6in4", "6in4-"},
                   {"6to4", "6to4-"},       {"6rd", "6rd-"},     {"dslite", "ds-"},
                   {"gre", "gre4-"},        {"sstp", "sstp-"}};
    if (cap == 0) return;
    out[0] = '\0';
    if (!section) return;
    proto = proto ? proto : "";
    for (const auto& t : tunnels) {
        if (strcmp(proto, t.proto) == 0) {
            snprintf(out, cap, "%s%s", t.prefix, section);
            return;
        }
    }
    if (strcmp(proto, "wireguard") == 0 || strcmp(proto, "amneziawg") == 0) {
        snprintf(out, cap, "%s", section);
        return;
    }
    if (device && *device && device[0] != '@' && device[0] != '/') snprintf(out, cap, "%s", device);
}

bool wan_has_device(const wan_facts& w, const char* device) {
    if (!device || !*device) return false;
    if (is_uplink_name(device)) return true;
    // "lan4@eth0" in "ip -br link" is the device lan4.
    return has_name(w.devices, w.device_count, device, strcspn(device, "@"));
}

bool wan_has_network(const wan_facts& w, const char* name, size_t len) {
    return has_name(w.networks, w.network_count, name, len);
}

bool wan_has_zone(const wan_facts& w, const char* name, size_t len) {
    return has_name(w.zones, w.zone_count, name, len);
}

void detect_wan(const wan_sources& src, wan_facts& w) {
    w = wan_facts{};
    add_name(w.zones, w.zone_count, "wan", 3);

    for_each_line(src.ip_route, [&](const char* const* f, int n) {
        if (strcmp(f[0], "default") != 0) return;
        add_device(w, field_after(f, n, "dev"));
    });
    for_each_line(src.ip_brief, [&](const char* const* f, int n) {
        for (int i = 2; i < n; ++i)
            if (strcmp(f[i], "peer") == 0) add_device(w, f[0], strcspn(f[0], "@"));
    });

    for_each_section(src.firewall, [&](const section& s) {
        if (strcmp(s.type, "zone") != 0) return;
        const char* name = s.get("name");
        if (!(name && strcmp(name, "wan") == 0) && !s.is("masq", "1")) return;
        if (name) add_name(w.zones, w.zone_count, name, strlen(name));
        s.each("network",
               [&](const char* v, size_t n) { add_name(w.networks, w.network_count, v, n); });
        s.each("device", [&](const char* v, size_t n) { add_device(w, v, n); });
    });

    for_each_section(src.network, [&](const section& s) {
        if (strcmp(s.type, "route") != 0 || !is_default_target(s.get("target"))) return;
        if (const char* iface = s.get("interface"))
            add_name(w.networks, w.network_count, iface, strlen(iface));
    });
    for_each_section(src.network, [&](const section& s) {
        if (strcmp(s.type, "interface") != 0 || !s.name[0]) return;
        const char* gateway = s.get("gateway");
        const char* proto = s.get("proto");
        const bool routes_default = gateway && *gateway && strcmp(gateway, "0.0.0.0") != 0;
        if (!wan_has_network(w, s.name, strlen(s.name)) && !routes_default &&
            !uplink_proto(proto) && !uplink_section_name(s.name))
            return;
        add_name(w.networks, w.network_count, s.name, strlen(s.name));
        const char* device = s.get("device");
        if (!device) device = s.get("ifname");
        char l3[32];
        uci_l3_device(s.name, proto, device, l3, sizeof l3);
        add_device(w, l3);
        add_device(w, device);
    });

    // Connected subnets of WAN devices; addresses of the other interfaces.
    for_each_line(src.ip_route, [&](const char* const* f, int n) {
        const char* dev = field_after(f, n, "dev");
        if (!dev || !wan_has_device(w, dev) || !field_after(f, n, "src")) return;
        wan_facts::subnet sn;
        if (!parse_ipv4_prefix(f[0], strlen(f[0]), sn.network, sn.mask) || sn.mask == 0 ||
            sn.mask == ~uint32_t{0})
            return;
        if (w.subnet_count < wan_facts::max_subnets) w.subnets[w.subnet_count++] = sn;
    });
    for_each_line(src.ip_brief, [&](const char* const* f, int n) {
        if (n < 3 || wan_has_device(w, f[0])) return;
        for (int i = 2; i < n && w.lan_count < wan_facts::max_lan; ++i) {
            size_t len = address_length(f[i], strlen(f[i]));
            if (len && len < sizeof w.lan_addresses[0] && !strchr(f[i], '<'))
                uci_copy(f[i], len, w.lan_addresses[w.lan_count++], sizeof w.lan_addresses[0]);
        }
    });
}

namespace {

bool in_wan_subnet(const wan_facts& w, const char* s, size_t len) {
    uint32_t a;
    if (!parse_ipv4(s, address_length(s, len), &a)) return false;
    for (int i = 0; i < w.subnet_count; ++i)
        if ((a & w.subnets[i].mask) == w.subnets[i].network) return true;
    return false;
}

// A gateway of the WAN side worth hiding: public, or inside a connected
// WAN subnet (which it would give away).
bool wan_gateway(const wan_facts& w, const char* s, size_t len) {
    return public_address(s, len) || in_wan_subnet(w, s, len);
}

} // namespace

void wan_addresses(const wan_sources& src, const wan_facts& w, hidden_map& m) {
    for_each_section(src.network, [&](const section& s) {
        if (strcmp(s.type, "interface") == 0) {
            if (!wan_has_network(w, s.name, strlen(s.name))) return;
            auto address = [&](const char* v, size_t n) { add_address(m, v, n); };
            s.each("ipaddr", address);
            s.each("ip6addr", address);
            if (const char* gw = s.get("gateway"); gw && public_address(gw, strlen(gw)))
                hidden_map_add(m, gw);
        } else if (strcmp(s.type, "route") == 0 || strcmp(s.type, "route6") == 0) {
            const char* iface = s.get("interface");
            if (!iface || !wan_has_network(w, iface, strlen(iface))) return;
            for (const char* opt : {"target", "gateway"})
                if (const char* v = s.get(opt); v && public_address(v, strlen(v)))
                    add_address(m, v, strlen(v));
        }
    });
    for_each_section(src.firewall, [&](const section& s) {
        if (strcmp(s.type, "redirect") != 0 && strcmp(s.type, "nat") != 0) return;
        const char* from = s.get("src");
        const char* to = s.get("dest");
        const bool wan_side = (from && wan_has_zone(w, from, strlen(from))) ||
                              (to && wan_has_zone(w, to, strlen(to)));
        for (const char* opt : {"src_dip", "snat_ip"})
            s.each(opt, [&](const char* v, size_t n) {
                if (wan_side || public_address(v, n)) add_address(m, v, n);
            });
    });
    for_each_line(src.ip_brief, [&](const char* const* f, int n) {
        if (n < 3 || !wan_has_device(w, f[0])) return;
        for (int i = 2; i < n; ++i) {
            if (strcmp(f[i], "peer") == 0) {
                ++i; // the remote end of a point-to-point link
                continue;
            }
            if (strncmp(f[i], "fe80:", 5) == 0 || strchr(f[i], '<')) continue;
            add_address(m, f[i], strlen(f[i]));
        }
    });
    for_each_line(src.ip_route, [&](const char* const* f, int n) {
        const char* dev = field_after(f, n, "dev");
        if (!dev || !wan_has_device(w, dev)) return;
        if (const char* gw = field_after(f, n, "via"); gw && wan_gateway(w, gw, strlen(gw)))
            hidden_map_add(m, gw);
        const char* source = field_after(f, n, "src");
        if (source) hidden_map_add(m, source);
        // A public host or network reached over the WAN (an endpoint, the
        // ISP's peer, the WAN's own subnet), and the network of a connected
        // subnet whatever its range.
        const size_t dl = strlen(f[0]);
        if (public_address(f[0], dl) ||
            (source && in_wan_subnet(w, f[0], dl) && memchr(f[0], '/', dl)))
            add_address(m, f[0], dl);
    });
}

// ---------------------------------------------------------------- log

namespace {

bool token_char(char c) {
    return is_alnum(c) || c == '.' || c == ':' || c == '/' || c == '-' || c == '_' || c == '@';
}

// A token without the punctuation that ends a word in a sentence.
size_t trimmed(const char* t, size_t len) {
    while (len > 0 && strchr(".,:;", t[len - 1]))
        --len;
    return len;
}

bool names_wan(const wan_facts& w, const char* t, size_t len) {
    char name[32];
    if (len == 0 || len >= sizeof name) return false;
    uci_copy(t, len, name, sizeof name);
    return wan_has_device(w, name) || wan_has_network(w, t, len);
}

// "a.b.c.d", "a.b.c.d/n" or "a.b.c.d:port": the address length, else 0.
size_t ipv4_token(const char* t, size_t len) {
    size_t n = strcspn(t, ":/");
    if (n > len) n = len;
    return parse_ipv4(t, n) ? n : 0;
}

void uplink_line(const char* line, size_t len, const wan_facts& w, hidden_map& m) {
    struct token {
        const char* s;
        size_t len;
    } tokens[64];
    int count = 0;
    for (size_t i = 0; i < len && count < 64;) {
        if (!token_char(line[i])) {
            ++i;
            continue;
        }
        size_t s = i;
        while (i < len && token_char(line[i]))
            ++i;
        tokens[count++] = {line + s, trimmed(line + s, i - s)};
    }
    bool uplink = false;
    for (int i = 0; i < count && !uplink; ++i) {
        const token& t = tokens[i];
        uplink = (t.len >= 4 && memcmp(t.s, "pppd", 4) == 0 && (t.len == 4 || !is_alnum(t.s[4]))) ||
                 (t.len >= 6 && memcmp(t.s, "udhcpc", 6) == 0) || names_wan(w, t.s, t.len);
    }
    if (!uplink) return;
    static constexpr const char* gateway_words[] = {"remote", "gw",   "gateway", "via",
                                                    "from",   "peer", "router"};
    static constexpr const char* own_words[] = {"address", "addr", "ip",  "local",
                                                "src",     "of",   "for", "with"};
    for (int i = 1; i < count; ++i) {
        const token& t = tokens[i];
        size_t v4 = ipv4_token(t.s, t.len);
        bool v6 = !v4 && is_ipv6_text(t.s, t.len) && strncmp(t.s, "fe80:", 5) != 0;
        if (!v4 && !v6) continue;
        bool gateway = false;
        for (int b = i - 1; b >= 0 && b >= i - 3; --b)
            if (in_list(gateway_words, tokens[b].s, tokens[b].len)) gateway = true;
        const token& prev = tokens[i - 1];
        if (gateway) {
            if (v4 && wan_gateway(w, t.s, v4)) hidden_map_add(m, t.s, v4);
        } else if (in_list(own_words, prev.s, prev.len)) {
            if (v4)
                hidden_map_add(m, t.s, v4);
            else
                add_address(m, t.s, t.len);
        }
    }
}

} // namespace

void wan_addresses_in_log(const char* log, const wan_facts& w, hidden_map& m) {
    for (const char* p = log ? log : ""; *p;) {
        const char* e = strchr(p, '\n');
        size_t len = e ? static_cast<size_t>(e - p) : strlen(p);
        uplink_line(p, len, w, m);
        p += len;
        if (*p == '\n') ++p;
    }
}

} // namespace tarvona_diag
