// nft rulesets: the servers of a proxy router's sets, and the WAN addresses
// of DNAT and SNAT rules.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mask/nft.h"

namespace tarvona_diag {
namespace {

const char* ruleset =
    "table inet fw4 {\n"
    "\tchain dstnat_wan {\n"
    "\t\tip daddr 203.0.113.69 tcp dport 8080 dnat ip to 192.168.1.21:80 comment \"!fw4: Cam\"\n"
    "\t\tip daddr { 100.66.12.34, 10.172.9.14 } tcp dport 22 dnat ip to 192.168.1.22:22\n"
    "\t}\n"
    "\tchain dstnat_lan {\n"
    "\t\tip saddr 192.168.1.0/24 ip daddr 203.0.113.69 tcp dport 8080 dnat ip to 192.168.1.21:80\n"
    "\t\tip daddr 192.168.1.1 udp dport 53 dnat ip to 192.168.1.1:5353\n"
    "\t\tip daddr 10.9.9.9 tcp dport 80 dnat ip to 192.168.1.2:80\n"
    "\t}\n"
    "\tchain srcnat_lan {\n"
    "\t\tip saddr 192.168.1.0/24 ip daddr 192.168.1.21 tcp dport 80 snat ip to 192.168.1.1\n"
    "\t}\n"
    "\tchain srcnat_mobile {\n"
    "\t\tip saddr 192.168.1.30 snat ip to 10.172.9.15 comment \"!fw4: Office\"\n"
    "\t\tmeta nfproto ipv4 masquerade\n"
    "\t}\n"
    "\tchain mangle_prerouting {\n"
    "\t\tip daddr @brimvale_subnets meta mark set 0x00000001\n"
    "\t}\n"
    "}\n"
    "table inet brimvale {\n"
    "\tset brimvale_servers {\n"
    "\t\ttype ipv4_addr\n"
    "\t\tflags interval\n"
    "\t\telements = { 45.137.21.9, 185.199.108.7,\n"
    "\t\t\t     194.87.12.0/24, 198.18.0.1-198.18.0.9 }\n"
    "\t}\n"
    "\tset proxy_endpoints6 {\n"
    "\t\ttype ipv6_addr\n"
    "\t\telements = { 2a01:4f8::9 timeout 1h expires 59m }\n"
    "\t}\n"
    "\tset brimvale_subnets {\n"
    "\t\ttype ipv4_addr\n"
    "\t\telements = { 91.108.4.0/22, 149.154.160.0/20 }\n"
    "\t}\n"
    "}\n";

TEST(tarvona_diag_nft, ServerSetsHideTheirElements) {
    auto m = std::make_unique<hidden_map>();
    static char out[4096];
    mask_server_sets(ruleset, out, sizeof out, m.get());
    const std::string s = out;
    EXPECT_NE(std::string::npos,
              s.find("\t\telements = { 45.137.x.x, 185.199.x.x,\n"
                     "\t\t\t     194.87.x.x/24, 198.18.x.x-198.18.x.x }\n\t}\n"));
    EXPECT_NE(std::string::npos, s.find("\t\telements = { *** timeout 1h expires 59m }\n"));
    // another set, the rules: as they were
    EXPECT_NE(std::string::npos, s.find("\t\telements = { 91.108.4.0/22, 149.154.160.0/20 }\n"));
    EXPECT_EQ(std::string(ruleset).substr(0, std::string(ruleset).find("table inet brimvale")),
              s.substr(0, s.find("table inet brimvale")));
    const char* want[] = {"45.137.21.9", "185.199.108.7", "194.87.12.0",
                          "198.18.0.1",  "198.18.0.9",    "2a01:4f8::9"};
    ASSERT_EQ(6, m->count);
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(want[i], m->values[i]);
}

TEST(tarvona_diag_nft, WanAddressesOfNatRules) {
    wan_facts w;
    detect_wan({"", "br-lan UP 192.168.1.1/24\n", "",
                "config zone\n\toption name 'mobile'\n\toption masq '1'\n"},
               w);
    auto m = std::make_unique<hidden_map>();
    wan_addresses_in_nft(ruleset, w, *m);
    // dnat in a wan chain, a public reflection target, snat to the mobile
    // zone's address; never the LAN address, a private address of a LAN
    // chain, or a set reference
    const char* want[] = {"203.0.113.69", "100.66.12.34", "10.172.9.14", "10.172.9.15"};
    ASSERT_EQ(4, m->count);
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(want[i], m->values[i]);
}

} // namespace
} // namespace tarvona_diag
