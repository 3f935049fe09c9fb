// UCI dumps of small packages in a private configuration directory: the
// text as stored, the section filters, the cut at capacity, and the dump
// read back by the masking policy of its package.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config_dump.h"
#include "mask/hidden_map.h"
#include "mask/uci_text.h"
#include "test_support.h"

namespace tarvona_diag {
namespace {

// Dumps of the packages a test writes into a private configuration
// directory.
class tarvona_diag_uci_dump : public test::uci_confdir_test {
  protected:
    std::string dump(const char* package, section_filter filter, size_t cap = 4096) {
        std::string buf(cap, 'Z');
        int rc = dump_uci_config(package, buf.data(), cap, filter, dir());
        if (rc != 0) return "<failed>";
        return std::string(buf.c_str());
    }
    // The dump as the report shows it: masked by its package's policy.
    std::string shown(const char* package, hidden_map* map) {
        std::string raw = dump(package, nullptr);
        std::string out(4096, 'Z');
        mask_uci_dump(package, raw.c_str(), out.data(), out.size(), map);
        return std::string(out.c_str());
    }
};

// The dump is the package as stored; its masked form is read back from it.
TEST_F(tarvona_diag_uci_dump, DumpIsRawAndMaskedByItsPackage) {
    write("network", "config interface 'wg0'\n"
                     "\toption proto 'wireguard'\n"
                     "\toption private_key 'PRIV'\n"
                     "\tlist addresses '10.7.0.2/32'\n"
                     "config device\n"
                     "\toption macaddr 'AA:BB:CC:DD:EE:FF'\n"
                     "\tlist macs 'AA:BB:CC:DD:EE:FF'\n"
                     "config wireguard_wg0\n"
                     "\tlist preshared_key 'PSK'\n"
                     "\toption description 'it'\\''s'\n");
    EXPECT_EQ("config interface 'wg0'\n"
              "\toption proto 'wireguard'\n"
              "\toption private_key 'PRIV'\n"
              "\tlist addresses '10.7.0.2/32'\n"
              "config device\n"
              "\toption macaddr 'AA:BB:CC:DD:EE:FF'\n"
              "\tlist macs 'AA:BB:CC:DD:EE:FF'\n"
              "config wireguard_wg0\n"
              "\tlist preshared_key 'PSK'\n"
              "\toption description 'it's'\n",
              dump("network", nullptr));
    EXPECT_EQ("config interface 'wg0'\n"
              "\toption proto 'wireguard'\n"
              "\toption private_key '***'\n"
              "\tlist addresses '10.7.0.2/32'\n"
              "config device\n"
              "\toption macaddr 'AA:BB:CC:xx:xx:xx'\n"
              "\tlist macs 'AA:BB:CC:DD:EE:FF'\n"
              "config wireguard_wg0\n"
              "\tlist preshared_key '***'\n"
              "\toption description 'it's'\n",
              shown("network", nullptr));
}

// Every package goes through the masking policy on top of its own masks:
// secret names, VPN servers by proto, JSON and links in option values, and
// each hidden value is remembered for the rest of the report.
TEST_F(tarvona_diag_uci_dump, PolicyMasksEveryPackage) {
    write(
        "network",
        "config interface 'work'\n\toption proto 'openconnect'\n\toption server 'vpn.example.com'\n"
        "\toption password2 'otp-2'\n\toption token_mode 'totp'\n\toption token_secret 'TS'\n"
        "config interface 'lan'\n\toption proto 'static'\n\toption server 'not-a-vpn'\n"
        "\toption pincode '1234'\n\toption auth 'both'\n");
    write("podkop", "config section 'main'\n"
                    "\toption outbound_json '{\"type\":\"vless\",\"server\" : "
                    "\"203.0.113.7\",\"server_port\":443,\"tag\":\"t\"}'\n"
                    "\tlist selector_proxy_links 'vless://id@h.example:443#x'\n\toption dns_server "
                    "'8.8.8.8'\n");
    auto map = std::make_unique<hidden_map>();
    EXPECT_EQ("config interface 'work'\n\toption proto 'openconnect'\n\toption server '***'\n"
              "\toption password2 '***'\n\toption token_mode 'totp'\n\toption token_secret '***'\n"
              "config interface 'lan'\n\toption proto 'static'\n\toption server 'not-a-vpn'\n"
              "\toption pincode '***'\n\toption auth 'both'\n",
              shown("network", map.get()));
    EXPECT_EQ("config section 'main'\n"
              "\toption outbound_json '{\"type\":\"vless\",\"server\" : "
              "\"***\",\"server_port\":\"***\",\"tag\":\"t\"}'\n"
              "\tlist selector_proxy_links 'vless://***'\n\toption dns_server '8.8.8.8'\n",
              shown("podkop", map.get()));
    char log[128] = "dial vpn.example.com and 203.0.113.7:443 via h.example";
    hidden_map_apply(*map, log, sizeof log);
    EXPECT_STREQ("dial *** and 203.0.x.x:443 via ***", log);
}

TEST_F(tarvona_diag_uci_dump, FirewallDumpKeepsOnlyUserSections) {
    write("firewall", "config defaults\n\toption input 'REJECT'\n"
                      "config zone\n\toption name 'lan'\n"
                      "config zone\n\toption name 'wan'\n"
                      "config zone 'guest'\n\toption name 'guest'\n"
                      "config rule\n\toption name 'Allow-Ping'\n"
                      "config rule\n\toption name 'Block-Game'\n"
                      "config redirect 'lan'\n\toption src 'wan'\n"
                      "config forwarding\n\toption src 'lan'\n");
    EXPECT_EQ("config zone 'guest'\n\toption name 'guest'\n"
              "config rule\n\toption name 'Block-Game'\n"
              "config forwarding\n\toption src 'lan'\n",
              dump("firewall", firewall_section_hidden));
}

TEST_F(tarvona_diag_uci_dump, SectionFiltersOfDhcpAndZapret2) {
    write("dhcp",
          "config dnsmasq\n\toption domain 'lan'\nconfig odhcpd 'odhcpd'\n\toption maindhcp '0'\n");
    EXPECT_EQ("config dnsmasq\n\toption domain 'lan'\n", dump("dhcp", dhcp_section_hidden));
    write("zapret2", "config strategy 'off'\n\toption enabled '0'\n"
                     "config strategy 'on'\n\toption enabled '1'\n"
                     "config strategy 'plain'\n\tlist enabled '0'\n");
    EXPECT_EQ(
        "config strategy 'on'\n\toption enabled '1'\nconfig strategy 'plain'\n\tlist enabled '0'\n",
        dump("zapret2", zapret2_section_hidden));
}

TEST_F(tarvona_diag_uci_dump, DumpIsCutAtCapacityAndMissingPackageLeavesDestination) {
    write("telemt", "config telemt 'main'\n\toption secret 'S'\n\toption port '8443'\n");
    EXPECT_EQ("config telemt 'main'\n\toption secret 'S'\n\toption port '8443'\n",
              dump("telemt", nullptr));
    EXPECT_EQ("config telemt 'main'\n\top", dump("telemt", nullptr, 25));

    char dst[16] = "untouched";
    EXPECT_NE(0, dump_uci_config("absent", dst, sizeof dst, nullptr, dir()));
    EXPECT_STREQ("untouched", dst);
}

} // namespace
} // namespace tarvona_diag
