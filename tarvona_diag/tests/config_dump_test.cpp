#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config_dump.h"
#include "mask/hidden_map.h"
#include "mask/uci_text.h"
#include "overlap.h"

namespace tarvona_diag {
namespace {

// A private UCI configuration directory with the packages a test writes.
class tarvona_diag_uci_dump : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/diag-uci.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir_ = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(0, system(cmd.c_str()));
    }
    void write(const char* package, const char* text) {
        std::string path = dir_ + "/" + package;
        FILE* f = fopen(path.c_str(), "w");
        ASSERT_NE(nullptr, f);
        fputs(text, f);
        fclose(f);
    }
    std::string dump(const char* package, section_filter filter, size_t cap = 4096) {
        std::string buf(cap, 'Z');
        int rc = dump_uci_config(package, buf.data(), cap, filter, dir_.c_str());
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
    const char* dir() const { return dir_.c_str(); }

    std::string dir_;
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

TEST_F(tarvona_diag_uci_dump, ListSectionsOfAProxyRouter) {
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "config section 's" + std::to_string(i) + "'\n\tlist community_lists 'l" +
                std::to_string(i) + "'\n";
    write("many", text.c_str());
    write("podkop", "config settings 'settings'\n\tlist community_lists 'ignored'\n"
                    "config section 'main'\n\toption connection_type 'proxy'\n"
                    "\tlist community_lists 'youtube'\n\tlist community_lists 'news'\n"
                    "config section 'nolists'\n\toption connection_type 'vpn'\n"
                    "config section 'single'\n\toption community_lists 'youtube'\n"
                    "config section\n\toption interface 'wg0'\n\tlist community_lists 'meta'\n");

    list_section table[max_list_sections];
    ASSERT_EQ(2, load_list_sections("podkop", table, dir()));
    EXPECT_STREQ("main", table[0].name);
    EXPECT_STREQ("proxy", table[0].type);
    EXPECT_STREQ("", table[0].interface);
    ASSERT_EQ(2, table[0].list_count);
    EXPECT_STREQ("news", table[0].lists[1]);
    EXPECT_STREQ("", table[1].type);
    EXPECT_STREQ("wg0", table[1].interface);
    EXPECT_STREQ("meta", table[1].lists[0]);

    EXPECT_EQ(max_list_sections, load_list_sections("many", table, dir()));
    EXPECT_EQ(0, load_list_sections("absent", table, dir()));
}

TEST_F(tarvona_diag_uci_dump, ZapretConfigScans) {
    static overlap_analysis ov;
    auto reset = [] {
        memset(&ov, 0, sizeof ov);
        list_section& s = ov.podkop_sections[0];
        copy_text(s.name, "main");
        copy_text(s.lists[0], "youtube");
        copy_text(s.lists[1], "news");
        s.list_count = 2;
        ov.podkop_section_count = 1;
    };
    reset();
    write("zapret",
          "config main 'config'\n\toption NFQWS_ENABLE '0'\n\toption NFQWS_OPT '--new'\n");
    scan_zapret_config(ov, dir());
    EXPECT_EQ(0, ov.conflict_count) << "NFQWS_ENABLE 0 marks nothing";

    reset();
    write("zapret",
          "config other\n\toption NFQWS_OPT '--filter-tcp=80'\n"
          "config main 'config'\n\toption NFQWS_OPT '\n--hostlist=/o/zapret-hosts-youtube.txt\n'\n"
          "config main 'second'\n\toption NFQWS_OPT '--filter-tcp=443'\n");
    scan_zapret_config(ov, dir());
    ASSERT_EQ(1, ov.conflict_count) << "only the first main section counts";
    EXPECT_EQ(1, ov.conflicts[0].zapret);

    reset();
    write("zapret2", "config strategy 'a'\n\tlist hostlist 'list_hosts_youtube'\n"
                     "config strategy 'b'\n\toption enabled '0'\n"
                     "config strategy 'c'\n\toption hostlist 'list_hosts_discord'\n");
    scan_zapret2_config(ov, dir());
    ASSERT_EQ(2, ov.conflict_count);
    EXPECT_STREQ("youtube", ov.conflicts[0].list);
    EXPECT_EQ(1, ov.conflicts[0].zapret2);
    EXPECT_STREQ("discord", ov.conflicts[1].list);

    reset();
    write("zapret2", "config strategy 'all'\n\toption enabled '1'\n");
    scan_zapret2_config(ov, dir());
    ASSERT_EQ(2, ov.conflict_count);
    EXPECT_EQ(2, ov.conflicts[0].zapret2);
    EXPECT_EQ(2, ov.conflicts[1].zapret2);
}

} // namespace
} // namespace tarvona_diag
