// WAN detection from every source, each on its own, and the addresses of
// the WAN side.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mask/wan.h"

namespace tarvona_diag {
namespace {

const char* routes = "default dev pppoe-wan proto static scope link metric 10\n"
                     "default via 203.0.113.65 dev lan3 proto static metric 30\n"
                     "10.7.0.0/24 dev wg0 proto kernel scope link src 10.7.0.2\n"
                     "10.172.9.12/30 dev wwan0 proto kernel scope link src 10.172.9.14\n"
                     "10.64.0.1 dev pppoe-wan proto kernel scope link src 100.66.12.34\n"
                     "203.0.113.64/29 dev lan3 proto kernel scope link src 203.0.113.66\n"
                     "203.0.113.9 via 10.64.0.1 dev pppoe-wan proto static\n"
                     "192.168.1.0/24 dev br-lan proto kernel scope link src 192.168.1.1\n";
const char* brief =
    "br-lan           UP             192.168.1.1/24 fd3c::1/60\n"
    "pppoe-wan        UP             100.66.12.34 peer 10.64.0.1/32 2001:db8:1::5/64\n"
    "l2tp-vpn         UP             10.99.0.2 peer 10.99.0.1/32\n"
    "wwan0            UNKNOWN        10.172.9.14/30 fe80::1/64\n"
    "lan3             UP             203.0.113.66/29\n"
    "lan4@eth0        UP             198.51.100.10/24\n"
    "wg0              UNKNOWN        10.7.0.2/32\n";
const char* network =
    "config interface 'lan'\n\toption device 'br-lan'\n\toption proto 'static'\n"
    "\toption ipaddr '192.168.1.1'\n"
    "config interface 'wan'\n\toption device 'eth1'\n\toption proto 'pppoe'\n"
    "config interface 'isp2'\n\toption device 'lan3'\n\toption proto 'static'\n"
    "\tlist ipaddr '203.0.113.66/29'\n\toption gateway '203.0.113.65'\n"
    "config route\n\toption interface 'isp2'\n\toption target '203.0.113.68/30'\n"
    "config interface 'wan2'\n\toption device 'lan4'\n\toption proto 'static'\n"
    "\toption ipaddr '198.51.100.10'\n"
    "config interface 'modem'\n\toption proto 'ncm'\n\toption device 'usb0'\n"
    "config interface 'backup'\n\toption proto '3g'\n"
    "config interface 'office'\n\toption device 'lan2'\n\toption proto 'static'\n"
    "\toption ipaddr '192.0.2.20'\n"
    "config route\n\toption interface 'office'\n\toption target '0.0.0.0'\n"
    "config interface 'guest'\n\toption device 'br-guest'\n\toption proto 'static'\n"
    "\toption ipaddr '192.168.2.1'\n";
const char* firewall =
    "config zone\n\toption name 'lan'\n\tlist network 'lan'\n"
    "config zone\n\toption name 'wan'\n\tlist network 'wan'\n\tlist network 'isp2'\n"
    "config zone\n\toption name 'mobile'\n\toption network 'lte tether'\n\toption masq '1'\n"
    "\tlist device 'eth2'\n"
    "config redirect\n\toption name 'Cam'\n\toption src 'wan'\n\toption src_dip '203.0.113.69'\n"
    "\toption dest_ip '192.168.1.21'\n"
    "config nat\n\toption src 'mobile'\n\toption snat_ip '10.172.9.14'\n"
    "config redirect\n\toption src 'lan'\n\toption src_dip '192.168.1.1'\n"
    "config redirect\n\toption src 'lan'\n\toption src_dip '198.18.0.5'\n";

std::string applied(const hidden_map& m, const char* text) {
    char buf[1024];
    snprintf(buf, sizeof buf, "%s", text);
    hidden_map_apply(m, buf, sizeof buf);
    return buf;
}

TEST(tarvona_diag_wan, DevicesFromEverySource) {
    wan_facts w;
    detect_wan({routes, brief, network, firewall}, w);
    // default routes, a point-to-point peer, names, zones, network sections
    for (const char* d : {"pppoe-wan", "lan3", "l2tp-vpn", "wwan0", "eth1", "wan9", "eth2", "lan4",
                          "lan4@eth0", "usb0", "3g-backup", "lan2"})
        EXPECT_TRUE(wan_has_device(w, d)) << d;
    for (const char* d : {"br-lan", "wg0", "br-guest", "lan1", ""})
        EXPECT_FALSE(wan_has_device(w, d)) << d;
    for (const char* n : {"wan", "isp2", "lte", "tether", "wan2", "modem", "backup", "office"})
        EXPECT_TRUE(wan_has_network(w, n, strlen(n))) << n;
    for (const char* n : {"lan", "guest"})
        EXPECT_FALSE(wan_has_network(w, n, strlen(n))) << n;
    EXPECT_TRUE(wan_has_zone(w, "mobile", 6));
    EXPECT_FALSE(wan_has_zone(w, "lan", 3));
}

TEST(tarvona_diag_wan, EachSourceCountsOnItsOwn) {
    struct {
        wan_sources src;
        const char* device;
    } cases[] = {
        {{routes, "", "", ""}, "lan3"},    // a default route
        {{"", brief, "", ""}, "l2tp-vpn"}, // a peer
        {{"", "", "", ""}, "wwan0"},       // a name
        {{"", "", network, ""}, "lan2"},   // a static default route section
        {{"", "", network, ""}, "usb0"},   // an uplink proto
        {{"", "", "", firewall}, "eth2"},  // a zone's device
        {{"", "", network, "config zone\n\toption name 'wan"}, "lan3"}, // half-edited firewall
    };
    for (const auto& c : cases) {
        wan_facts w;
        detect_wan(c.src, w);
        EXPECT_TRUE(wan_has_device(w, c.device)) << c.device;
    }
    wan_facts w;
    detect_wan({"", "", "", ""}, w);
    EXPECT_FALSE(wan_has_device(w, "lan3"));
}

TEST(tarvona_diag_wan, AddressesOfTheWanSide) {
    wan_facts w;
    const wan_sources src{routes, brief, network, firewall};
    detect_wan(src, w);
    auto m = std::make_unique<hidden_map>();
    wan_addresses(src, w, *m);
    EXPECT_EQ("lan 192.168.1.1 192.168.2.1 wg 10.7.0.2 10.7.0.0/24 | pppoe 100.66.x.x *** "
              "peer 10.64.0.1 | lte 10.172.x.x/30 10.172.x.x | isp2 203.0.x.x/29 gw 203.0.x.x "
              "block 203.0.x.x/30 | wan2 198.51.x.x | office 192.0.x.x | dnat 203.0.x.x "
              "snat 10.172.x.x | lan dnat 192.168.1.1 198.18.x.x | endpoint 203.0.x.x",
              applied(*m, "lan 192.168.1.1 192.168.2.1 wg 10.7.0.2 10.7.0.0/24 | pppoe "
                          "100.66.12.34 2001:db8:1::5 peer 10.64.0.1 | lte 10.172.9.12/30 "
                          "10.172.9.14 | isp2 203.0.113.66/29 gw 203.0.113.65 block "
                          "203.0.113.68/30 | wan2 198.51.100.10 | office 192.0.2.20 | dnat "
                          "203.0.113.69 snat 10.172.9.14 | lan dnat 192.168.1.1 198.18.0.5 | "
                          "endpoint 203.0.113.9"));
}

TEST(tarvona_diag_wan, GatewaysInsideAConnectedSubnet) {
    const char* r = "default via 10.172.9.13 dev wwan0\n"
                    "10.172.9.12/30 dev wwan0 proto kernel scope link src 10.172.9.14\n"
                    "default via 10.64.0.1 dev pppoe-wan\n";
    wan_facts w;
    detect_wan({r, "", "", ""}, w);
    auto m = std::make_unique<hidden_map>();
    wan_addresses({r, "", "", ""}, w, *m);
    // the LTE gateway gives its subnet away; a private PPP peer does not
    EXPECT_EQ("10.172.x.x 10.172.x.x/30 10.64.0.1",
              applied(*m, "10.172.9.13 10.172.9.12/30 10.64.0.1"));
}

TEST(tarvona_diag_wan, UplinkLinesOfTheLog) {
    const char* r = "10.172.9.12/30 dev wwan0 proto kernel scope link src 10.172.9.14\n";
    wan_facts w;
    detect_wan(
        {r, "", "config interface 'isp2'\n\toption device 'lan3'\n\toption gateway 'x'\n", ""}, w);
    struct {
        const char* line;
        const char* shown;
    } cases[] = {
        {"pppd[2101]: local  IP address 198.51.100.23", "pppd[2101]: local  IP address 198.51.x.x"},
        {"pppd[2101]: remote IP address 198.51.100.1", "pppd[2101]: remote IP address 198.51.x.x"},
        // a private PPP peer is a route shape, not a secret
        {"pppd[1893]: remote IP address 10.64.0.1", "pppd[1893]: remote IP address 10.64.0.1"},
        {"netifd: modem (3120): udhcpc: lease of 10.172.9.30 obtained from 10.172.9.13, lease time "
         "7200",
         "netifd: modem (3120): udhcpc: lease of 10.172.x.x obtained from 10.172.x.x, lease time "
         "7200"},
        {"udhcpc: sending select for 10.150.3.77", "udhcpc: sending select for 10.150.x.x"},
        {"hotplug: ifup isp2 (lan3) ip 203.0.113.66/29 gw 203.0.113.65",
         "hotplug: ifup isp2 (lan3) ip 203.0.x.x/29 gw 203.0.x.x"},
        {"mwan3-hotplug[3301]: isp2 (lan3) is online, address 203.0.113.67.",
         "mwan3-hotplug[3301]: isp2 (lan3) is online, address 203.0.x.x."},
        {"odhcp6c[1950]: wwan0: address 2001:db8:77::5/64 valid",
         "odhcp6c[1950]: wwan0: address ***/64 valid"},
        // lines of no uplink, and numbers that are no own address
        {"dnsmasq[1301]: using nameserver 10.64.0.53#53",
         "dnsmasq[1301]: using nameserver 10.64.0.53#53"},
        {"wg0: endpoint 203.0.113.90:51820 handshake ok",
         "wg0: endpoint 203.0.113.90:51820 handshake ok"},
        {"mwan3track: ping 8.8.8.8 on isp2 (lan3) at 20:01:12 ok",
         "mwan3track: ping 8.8.8.8 on isp2 (lan3) at 20:01:12 ok"},
    };
    for (const auto& c : cases) {
        auto m = std::make_unique<hidden_map>();
        wan_addresses_in_log(c.line, w, *m);
        EXPECT_EQ(c.shown, applied(*m, c.line)) << c.line;
    }
}

TEST(tarvona_diag_wan, Layer3DeviceOfANetworkSection) {
    char dev[32];
    struct {
        const char* section;
        const char* proto;
        const char* device;
        const char* l3;
    } l3[] = {
        {"wan", "pppoe", "eth1", "pppoe-wan"}, {"wg0", "wireguard", nullptr, "wg0"},
        {"wan2", "static", "lan4", "lan4"},    {"lte", "modemmanager", "/sys/devices/usb1", ""},
        {"wan6", "dhcpv6", "@wan", ""},        {"vpn", "openconnect", nullptr, "vpn-vpn"}};
    for (const auto& c : l3) {
        uci_l3_device(c.section, c.proto, c.device, dev, sizeof dev);
        EXPECT_STREQ(c.l3, dev) << c.section;
    }
}

} // namespace
} // namespace tarvona_diag
