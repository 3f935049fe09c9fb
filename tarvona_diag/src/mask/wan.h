// WAN detection: which devices, networks and firewall zones carry the
// router's public side, and which addresses belong to it. Every source
// counts on its own, so a configuration that does not load loses only
// what it alone tells. Pure text work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mask/hidden_map.h"

namespace tarvona_diag {

// The raw facts WAN detection reads; each may be empty.
struct wan_sources {
    const char* ip_route = ""; // "ip route"
    const char* ip_brief = ""; // "ip -br addr"
    const char* network = "";  // dump text of the UCI package network
    const char* firewall = ""; // dump text of the UCI package firewall
};

struct wan_facts {
    static constexpr int max_devices = 32;
    static constexpr int max_networks = 16;
    static constexpr int max_zones = 8;
    static constexpr int max_subnets = 16;
    static constexpr int max_lan = 16;
    char devices[max_devices][32];
    int device_count = 0;
    char networks[max_networks][32]; // UCI interface sections of the WAN
    int network_count = 0;
    char zones[max_zones][32]; // firewall zones named "wan" or masquerading, and "wan"
    int zone_count = 0;
    struct subnet {
        uint32_t network, mask;
    } subnets[max_subnets]; // connected subnets of WAN devices
    int subnet_count = 0;
    char lan_addresses[max_lan][48]; // addresses of the other interfaces
    int lan_count = 0;
};

// Finds the WAN side, each source on its own:
//   - devices of default routes ("ip route");
//   - devices whose brief line names a point-to-point peer;
//   - the firewall's wan zones (named "wan" or masquerading): their
//     networks and devices;
//   - network sections in those zones, with a gateway of their own, named
//     by a static default route, of an uplink proto (pppoe, pppoa, 3g,
//     ppp, qmi, mbim, ncm, modemmanager, directip, wwan, xmm) or named like
//     an uplink ("wan*", "wwan*"): their layer-3 device ("pppoe-wan" for
//     proto pppoe, ...) and their device option;
// and, whatever the sources say, every name is_uplink_name accepts.
void detect_wan(const wan_sources& src, wan_facts& wan);

// A device of the WAN side ("lan4@eth0" is the device lan4).
bool wan_has_device(const wan_facts& wan, const char* device);
// A network or zone name of the WAN side (len bytes of name).
bool wan_has_network(const wan_facts& wan, const char* name, size_t len);
bool wan_has_zone(const wan_facts& wan, const char* name, size_t len);

// The layer-3 device of a UCI network interface section: "pppoe-wan" for
// proto pppoe, "3g-x" for 3g, "wg0" for a wireguard section, ..., else
// the section's device option (an "@alias" or a path gives nothing).
// Writes "" when unknown.
void uci_l3_device(const char* section, const char* proto, const char* device, char* out,
                   size_t cap);

// The addresses of the WAN side into the map:
//   - network sections of the WAN: ipaddr, ip6addr, a public gateway, the
//     public targets and gateways of their route sections;
//   - firewall redirects and NAT rules from or to a wan zone (or with a
//     public address): src_dip, snat_ip;
//   - every address of a WAN device in "ip -br addr" (not the remote end
//     after "peer", not link-local);
//   - routes over a WAN device: a public destination (an endpoint, the
//     ISP's peer, the WAN's own subnet), the network of a connected subnet,
//     a gateway that is public or inside a connected WAN subnet, the
//     source address.
void wan_addresses(const wan_sources& src, const wan_facts& wan, hidden_map& m);

// The addresses of uplink lines in a log: lines of pppd and udhcpc, and
// lines naming a WAN device or network. An address after an own-address
// word (address, ip, local, src, "lease of", "select for", with) is the
// uplink's own; one after a gateway word (remote, gw, gateway, via, from,
// peer) counts when it is public or inside a connected WAN subnet.
void wan_addresses_in_log(const char* log, const wan_facts& wan, hidden_map& m);

} // namespace tarvona_diag
