// Names that decide masking: secrets, endpoints, protocols, interfaces.
#include <gtest/gtest.h>

#include <cstring>

#include "mask/names.h"

namespace tarvona_diag {
namespace {

TEST(tarvona_diag_mask_names, SecretNamesByWordParts) {
    const char* secret[] = {
        // Wi-Fi
        "key",
        "key1",
        "key4",
        "sae_password",
        "password",
        "priv_key_pwd",
        "auth_secret",
        "acct_secret",
        "dae_secret",
        "r0kh",
        "r1kh",
        "wps_pin",
        "identity",
        "anonymous_identity",
        "wpa_psk",
        "priv_key",
        // network
        "pincode",
        "pin",
        "updatekey",
        "password2",
        "token_secret",
        "passgroup",
        "username",
        "private_key",
        "public_key",
        "preshared_key",
        // sing-box, podkop, brimvale, telemt, raw texts
        "auth_str",
        "auth_key",
        "obfs",
        "uuid",
        "short_id",
        "host_key",
        "peer_public_key",
        "private_key_passphrase",
        "yacd_secret_key",
        "clash_api_secret",
        "secret",
        "user",
        "subscription_url",
        "Authorization",
        "clientSecret",
        "apiKey",
        "TOKEN",
        "--password",
        "bot_token",
        "x-api-key",
        "credentials",
        "dc_override",
    };
    const char* kept[] = {
        "key_mgmt",
        "auth_type",
        "auth_server",
        "auth_port",
        "acct_server",
        "auth_cache",
        "encryption",
        "ssid",
        "keepalive",
        "persistent_keepalive",
        "ft_psk_generate_local",
        "wpa_disable_eapol_key_retries",
        "eapol_key_index_workaround",
        "tls_auth_name",
        "tls_authentication",
        "private_key_path",
        "host_key_algorithms",
        "wpa_psk_file",
        "authoritative",
        "token_mode",
        "sae_password_id",
        "server",
        "server_port",
        "listen_port",
        "dns_server",
        "proxy",
        "authgroup",
        "usergroup",
        "mobility_domain",
        "nasid",
        "tag",
        "outbound_json",
        "community_lists",
        "macaddr",
        "endpoint_port",
        "rsn_preauth",
        "passthrough",
        "bypass",
        "ping",
        "keyword",
        "key_name",
    };
    for (const char* n : secret)
        EXPECT_TRUE(is_secret_name(n)) << n;
    for (const char* n : kept)
        EXPECT_FALSE(is_secret_name(n)) << n;
}

TEST(tarvona_diag_mask_names, MethodWordsAndAccountsStayVisible) {
    struct {
        const char* name;
        const char* value;
        bool secret;
    } cases[] = {
        {"auth", "auth=MSCHAPV2", false},
        {"auth", "MSCHAPV2", false},
        {"auth", "chap", false},
        {"auth", "both", false},
        {"obfs", "salamander", false},
        {"auth", "c2VjcmV0", true},
        {"key", "1", true},
        {"password", "", false},
        {"password", "***", false},
        {"ssid", "HomeNet", false},
        {"ws_user", "daemon", false},
        {"user", "root", false},
        {"user", "alice", true},
        {"username", "nobody", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.secret, value_is_secret(c.name, c.value, strlen(c.value)))
            << c.name << "=" << c.value;
}

TEST(tarvona_diag_mask_names, PasswordWordsOfFreeText) {
    for (const char* n :
         {"password", "Password", "passwd", "psk", "sae_password", "passphrase", "secret", "pwd"})
        EXPECT_TRUE(is_password_word(n, strlen(n))) << n;
    // secret names, but words that free text uses otherwise
    for (const char* n : {"key", "token", "user", "auth", "pin", "password_file", "ssid"})
        EXPECT_FALSE(is_password_word(n, strlen(n))) << n;
}

TEST(tarvona_diag_mask_names, EndpointNames) {
    struct {
        const char* name;
        bool server_key;
        bool proxy_option;
    } cases[] = {
        {"server", true, true},         {"server_port", true, true},
        {"server_ports", true, true},   {"server_address", true, true},
        {"serverAddr", true, true},     {"server_ip", true, true},
        {"remote_host", false, true},   {"remote_port", false, true},
        {"proxy_address", false, true}, {"peer_port", false, true},
        {"host", false, true},          {"address", false, true},
        {"server_name", false, false},  {"servers", false, false},
        {"dns_server", false, false},   {"listen_address", false, false},
        {"port", false, false},         {"proxy_port", false, false},
        {"interface", false, false},    {"connection_type", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.server_key, is_server_key(c.name)) << c.name;
        EXPECT_EQ(c.proxy_option, is_proxy_option_endpoint(c.name)) << c.name;
    }
}

TEST(tarvona_diag_mask_names, ProtocolsTypesAndSchemesFromOneTable) {
    // A protocol is known by its type and by its link schemes alike.
    struct {
        const char* type;
        const char* scheme;
    } protocols[] = {{"shadowsocks", "ss"},    {"hysteria2", "hy2"}, {"hysteria2", "hysteria2"},
                     {"socks", "socks5"},      {"vless", "vless"},   {"trojan", "trojan"},
                     {"tuic", "tuic"},         {"ssh", "ssh"},       {"wireguard", "wg"},
                     {"naive", "naive+https"}, {"anytls", "anytls"}, {"mtproto", "tg"}};
    for (const auto& p : protocols) {
        EXPECT_TRUE(is_proxy_type(p.type)) << p.type;
        EXPECT_TRUE(is_proxy_scheme(p.scheme, strlen(p.scheme))) << p.scheme;
    }
    EXPECT_TRUE(is_proxy_type("http"));
    for (const char* s : {"http", "https", "ftp", "file"})
        EXPECT_FALSE(is_proxy_scheme(s, strlen(s))) << s;
    for (const char* t : {"direct", "block", "dns", "selector", "urltest", "tun", "mixed", ""})
        EXPECT_FALSE(is_proxy_type(t)) << t;
    for (const char* t : {"direct", "block", "dns", "selector", "urltest"})
        EXPECT_TRUE(is_local_type(t)) << t;
    for (const char* t : {"vless", "wireguard", "tailscale", "directx"})
        EXPECT_FALSE(is_local_type(t)) << t;
}

TEST(tarvona_diag_mask_names, ServerSetNames) {
    for (const char* n : {"proxy_servers", "brimvale_servers", "vpn_endpoints", "server_ips"})
        EXPECT_TRUE(is_server_set_name(n, strlen(n))) << n;
    for (const char* n : {"brimvale_subnets", "podkop_subnets", "observer", "lan_hosts"})
        EXPECT_FALSE(is_server_set_name(n, strlen(n))) << n;
}

TEST(tarvona_diag_mask_names, Interfaces) {
    struct {
        const char* name;
        bool hidden;
        bool wan;
        bool uplink;
    } const cases[] = {
        {"lo", true, false, false},          {"sit0@NONE", true, false, false},
        {"ip6tnl0", true, false, false},     {"gre0", true, false, false},
        {"tunl0", true, false, false},       {"erspan0", true, false, false},
        {"wan", false, true, true},          {"wan6", false, true, true},
        {"eth0", false, true, true},         {"eth1", false, true, true},
        {"eth2", false, false, false},       {"pppoe-wan", false, true, true},
        {"br-lan", false, false, false},     {"lo0", false, false, false},
        {"wwan0", false, false, true},       {"3g-modem", false, false, true},
        {"pppoa-wan", false, false, true},   {"ppp0", false, false, true},
        {"rmnet_data0", false, false, true}, {"pppx", false, false, false},
        {"lan3", false, false, false},       {"wan@eth0", false, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.hidden, is_hidden_iface(c.name)) << c.name;
        EXPECT_EQ(c.wan, is_wan_iface(c.name)) << c.name;
        EXPECT_EQ(c.uplink, is_uplink_name(c.name)) << c.name;
    }
}

} // namespace
} // namespace tarvona_diag
