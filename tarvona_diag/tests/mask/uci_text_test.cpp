// UCI dump texts read back, and masked by the policy of their package.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mask/uci_text.h"

namespace tarvona_diag {
namespace {

std::vector<std::string> pieces(const char* dump) {
    std::vector<std::string> out;
    uci_reader reader(dump);
    uci_piece p;
    while (reader.next(p)) {
        std::string s;
        switch (p.kind) {
        case uci_piece::head:
            s = "head " + std::string(p.type, p.type_len) + " [" +
                std::string(p.section, p.section_len) + "]";
            break;
        case uci_piece::option:
        case uci_piece::list:
            s = std::string(p.kind == uci_piece::list ? "list " : "option ") +
                std::string(p.name, p.name_len) + " [" + std::string(p.value, p.value_len) + "]" +
                (p.closed ? "" : " open");
            break;
        case uci_piece::other:
            s = "other [" + std::string(p.text, p.length) + "]";
            break;
        }
        out.push_back(s);
    }
    return out;
}

TEST(tarvona_diag_uci_text, ReaderFindsWhereEachValueEnds) {
    // Values are written as stored: a quote or a line break inside a value
    // does not end it; a text cut at the capacity leaves the last one open;
    // a line that is no element stands on its own.
    EXPECT_EQ((std::vector<std::string>{
                  "head interface [wan]",
                  "option description [it's]",
                  "option json [{\"a\":\n 'x'\n}]",
                  "list l [one]",
                  "head device []",
                  "other [garbage line\n]",
                  "option name [br-lan]",
                  "option password [cut-off-sec] open",
              }),
              pieces("config interface 'wan'\n\toption description 'it's'\n"
                     "\toption json '{\"a\":\n 'x'\n}'\n\tlist l 'one'\nconfig device\n"
                     "garbage line\n\toption name 'br-lan'\n\toption password 'cut-off-sec"));
    EXPECT_TRUE(pieces("").empty());
}

std::string masked(const char* package, const char* dump, hidden_map* map = nullptr,
                   size_t cap = 4096) {
    std::string out(cap, 'Z');
    mask_uci_dump(package, dump, out.data(), cap, map);
    return out.c_str();
}

struct dump_case {
    const char* package;
    const char* in;
    const char* out;
};

TEST(tarvona_diag_uci_text, EachPackageByItsPolicy) {
    const dump_case cases[] = {
        // network: its secrets, single MAC values, the servers of VPN
        // interfaces whatever the option order; lists of MACs stay
        {"network",
         "config interface 'wg0'\n\toption proto 'wireguard'\n\toption private_key 'PRIV'\n"
         "\tlist addresses '10.7.0.2/32'\nconfig device\n\toption macaddr 'AA:BB:CC:DD:EE:FF'\n"
         "\toption name 'AA:BB:CC:DD:EE:FG'\n\tlist macs 'AA:BB:CC:DD:EE:FF'\n"
         "config wireguard_wg0\n\tlist preshared_key 'PSK'\n\toption description 'it's'\n"
         "\toption endpoint_host 'vpn.example.com'\n",
         "config interface 'wg0'\n\toption proto 'wireguard'\n\toption private_key '***'\n"
         "\tlist addresses '10.7.0.2/32'\nconfig device\n\toption macaddr 'AA:BB:CC:xx:xx:xx'\n"
         "\toption name 'AA:BB:CC:DD:EE:FG'\n\tlist macs 'AA:BB:CC:DD:EE:FF'\n"
         "config wireguard_wg0\n\tlist preshared_key '***'\n\toption description 'it's'\n"
         "\toption endpoint_host '***'\n"},
        {"network",
         "config interface 'work'\n\toption server 'vpn.example.com'\n\toption port '4443'\n"
         "\toption proto 'openconnect'\n\toption password2 'otp-2'\n\toption token_mode 'totp'\n"
         "config interface 'lan'\n\toption proto 'static'\n\toption server 'not-a-vpn'\n"
         "\toption port '53'\n\toption pincode '1234'\n\toption auth 'both'\n",
         "config interface 'work'\n\toption server '***'\n\toption port '***'\n"
         "\toption proto 'openconnect'\n\toption password2 '***'\n\toption token_mode 'totp'\n"
         "config interface 'lan'\n\toption proto 'static'\n\toption server 'not-a-vpn'\n"
         "\toption port '53'\n\toption pincode '***'\n\toption auth 'both'\n"},
        // wireless: key, MAC values; telemt: secret, dc_override
        {"wireless",
         "config wifi-iface 'x'\n\toption key '1'\n\toption macaddr '02:11:22:33:44:55'\n",
         "config wifi-iface 'x'\n\toption key '***'\n\toption macaddr '02:11:22:xx:xx:xx'\n"},
        {"telemt",
         "config telemt 'main'\n\toption secret 's'\n\toption dc_override '1.2.3.4:443'\n\toption "
         "port '8443'\n",
         "config telemt 'main'\n\toption secret '***'\n\toption dc_override '***'\n\toption port "
         "'8443'\n"},
        // a proxy package: every name of its remote end, JSON and links in
        // options; the TLS name, DNS server and lists stay
        {"brimvale",
         "config section 'nl'\n\toption server_address 'nl.example.org'\n\toption server_port "
         "'41301'\n"
         "\toption remote_host '198.18.50.21'\n\toption server_name 'www.example.com'\n"
         "\toption proxy_string 'trojan://pw@h.example:443'\n\tlist community_lists 'youtube'\n",
         "config section 'nl'\n\toption server_address '***'\n\toption server_port '***'\n"
         "\toption remote_host '***'\n\toption server_name 'www.example.com'\n"
         "\toption proxy_string '***'\n\tlist community_lists 'youtube'\n"},
        {"podkop",
         "config settings 'settings'\n\toption dns_server '8.8.8.8'\n\toption yacd_secret_key 'k'\n"
         "config section 'main'\n\toption server '203.0.113.7'\n"
         "\toption outbound_json '{\"type\":\"vless\",\"server\" : "
         "\"203.0.113.7\",\"server_port\":443,\"tag\":\"t\"}'\n"
         "\tlist selector_proxy_links 'vless://id@h.example:443#x'\n"
         "\toption note '{\"server\":\"a.example\",\"port\":443} {\"server\":\"\"} "
         "{\"server\":123}'\n",
         "config settings 'settings'\n\toption dns_server '8.8.8.8'\n\toption yacd_secret_key "
         "'***'\n"
         "config section 'main'\n\toption server '***'\n"
         "\toption outbound_json '{\"type\":\"vless\",\"server\" : "
         "\"***\",\"server_port\":\"***\",\"tag\":\"t\"}'\n"
         "\tlist selector_proxy_links 'vless://***'\n"
         "\toption note '{\"server\":\"***\",\"port\":443} {\"server\":\"***\"} "
         "{\"server\":\"***\"}'\n"},
        // other packages: secret names, JSON in options in endpoint mode
        {"dhcp", "config dnsmasq\n\toption server 'x.example'\n\toption mac '00:11:22:33:44:55'\n",
         "config dnsmasq\n\toption server 'x.example'\n\toption mac '00:11:22:33:44:55'\n"},
        {"firewall",
         "config rule\n\toption name 'x'\n\toption extra '{\"server\":\"s.example\"}'\n",
         "config rule\n\toption name 'x'\n\toption extra '{\"server\":\"***\"}'\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, masked(c.package, c.in)) << c.in;
}

TEST(tarvona_diag_uci_text, HiddenValuesAreRememberedAndCutValuesStayHidden) {
    auto m = std::make_unique<hidden_map>();
    EXPECT_EQ(
        "config interface 'l2'\n\toption proto 'l2tp'\n\toption server '***'\n"
        "\toption username '***'\n\toption password '***",
        masked("network",
               "config interface 'l2'\n\toption proto 'l2tp'\n\toption server 'l2tp.example.com'\n"
               "\toption username 'alice-l2tp'\n\toption password 'cut-off-pass",
               m.get()));
    ASSERT_EQ(3, m->count);
    EXPECT_STREQ("l2tp.example.com", m->values[0]);
    EXPECT_STREQ("alice-l2tp", m->values[1]);
    EXPECT_STREQ("cut-off-pass", m->values[2]);
    // the output is cut at its capacity and stays terminated
    EXPECT_EQ("config telemt 'main'\n\top",
              masked("telemt", "config telemt 'main'\n\toption secret 'abc'\n", nullptr, 25));
}

} // namespace
} // namespace tarvona_diag
