// Parsers of the network facts over real OpenWrt command output, and over
// hostile text.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "mask/forms.h"
#include "parse_network.h"
#include "test_support.h"

using namespace tarvona_diag;

TEST(tarvona_diag_ip_brief, RealOutput) {
    const char* out =
        "lo               UNKNOWN        127.0.0.1/8 ::1/128 \n"
        "eth0             UP             \n"
        "br-lan           UP             192.168.1.1/24 fd3c:5a71:9e04::1/60 fe80::1/64 \n"
        "pppoe-wan        UP             100.66.12.34 peer 10.0.0.1/32 \n"
        "wg0              UNKNOWN        10.7.0.2/32 \n"
        "awg10            UNKNOWN        10.8.0.2/32 \n"
        "tailscale0       UNKNOWN        100.100.1.2/32 \n"
        "tun0             UNKNOWN        10.9.0.1/24 \n"
        "lan3             LOWERLAYERDOWN \n"
        "sit0@NONE        DOWN           \n"
        "\n"
        "weird            UP             <NO-CARRIER> 10.1.1.1/24\n"
        "weird2           UP             <NO-CARRIER>\n"
        "single\n";
    static iface_row rows[max_interfaces];
    int n = parse_ip_brief(out, rows, max_interfaces);
    ASSERT_EQ(12, n);
    struct {
        const char* name;
        const char* status;
        const char* ip;
    } const want[] = {
        {"lo", "UNKNOWN", "127.0.0.1/8"},
        {"eth0", "UP", ""},
        {"br-lan", "UP", "192.168.1.1/24"},
        {"pppoe-wan", "UP", "100.66.12.34"},
        {"wg0", "UP", "10.7.0.2/32"},
        {"awg10", "UP", "10.8.0.2/32"},
        {"tailscale0", "UP", "100.100.1.2/32"},
        {"tun0", "UNKNOWN", "10.9.0.1/24"},
        {"lan3", "link down", ""},
        {"sit0@NONE", "DOWN", ""},
        {"weird", "UP", "10.1.1.1/24"},
        {"weird2", "UP", ""},
    };
    for (int i = 0; i < n; ++i) {
        EXPECT_STREQ(want[i].name, rows[i].name);
        EXPECT_STREQ(want[i].status, rows[i].status) << rows[i].name;
        EXPECT_STREQ(want[i].ip, rows[i].ip) << rows[i].name;
        EXPECT_STREQ("", rows[i].mac);
    }
}

TEST(tarvona_diag_ip_brief, RowLimitAndLongName) {
    std::string out;
    for (int i = 0; i < 40; ++i)
        out += "veth" + std::to_string(i) + " UP 10.0.0." + std::to_string(i) + "/24\n";
    static iface_row rows[max_interfaces];
    EXPECT_EQ(32, parse_ip_brief(out.c_str(), rows, max_interfaces));
    EXPECT_STREQ("veth31", rows[31].name);
    std::string longname = std::string(40, 'n') + " UP\n";
    ASSERT_EQ(1, parse_ip_brief(longname.c_str(), rows, max_interfaces));
    EXPECT_EQ(31u, strlen(rows[0].name));
}

TEST(tarvona_diag_ip_link, RealOutput) {
    const char* out =
        "lo               UNKNOWN        00:00:00:00:00:00 <LOOPBACK,UP,LOWER_UP> \n"
        "eth1             UP             94:83:c4:a1:b2:c3 <BROADCAST,MULTICAST,UP,LOWER_UP> \n"
        "lan2             LOWERLAYERDOWN 94:83:c4:a1:b2:c5 <NO-CARRIER,BROADCAST,MULTICAST,UP> \n"
        "pppoe-wan        UNKNOWN        <POINTOPOINT,MULTICAST,NOARP,UP,LOWER_UP> \n"
        "wg0              UNKNOWN        <POINTOPOINT,NOARP> \n"
        "bad              UP             94:83:c4:a1:b2Xc3 <UP> \n"
        "phy0-ap0         UP             94:83:c4:a1:b2:c7 <BROADCAST,MULTICAST,UP,LOWER_UP> \n";
    static iface_row rows[max_links];
    int n = parse_ip_link(out, rows, max_links);
    ASSERT_EQ(7, n);
    struct {
        const char* status;
        const char* mac;
    } const want[] = {
        {"UNKNOWN", "00:00:00:00:00:00"},
        {"UP", "94:83:c4:a1:b2:c3"},
        {"link down", "94:83:c4:a1:b2:c5"},
        {"UP", ""}, // UNKNOWN with UP among the flags
        {"UNKNOWN", ""},
        {"UP", ""}, // letter in a colon place
        {"UP", "94:83:c4:a1:b2:c7"},
    };
    for (int i = 0; i < n; ++i) {
        EXPECT_STREQ(want[i].status, rows[i].status) << rows[i].name;
        EXPECT_STREQ(want[i].mac, rows[i].mac) << rows[i].name;
        EXPECT_STREQ("", rows[i].ip);
    }
}

TEST(tarvona_diag_routes, RealOutputAndKeywordPlaces) {
    const char* out = "default via 192.0.2.1 dev wan proto static\n"
                      "default dev pppoe-wan proto static scope link metric 10\n"
                      "10.0.0.1 dev pppoe-wan proto kernel scope link src 100.66.12.34\n"
                      "192.168.1.0/24 dev br-lan proto kernel scope link src 192.168.1.1\n"
                      "\n"
                      "blackhole 10.99.0.0/16 metric\n"
                      "via dev x\n"
                      "10.5.0.0/16 via 10.0.0.1 via 10.0.0.2 dev a dev b metric 1 metric 2\n";
    static route_row rows[max_routes];
    int n = parse_routes(out, rows, max_routes);
    ASSERT_EQ(7, n);
    struct {
        const char* dst;
        const char* gw;
        const char* dev;
        const char* metric;
    } const want[] = {
        {"default", "192.0.2.1", "wan", ""},
        {"default", "", "pppoe-wan", "10"},
        {"10.0.0.1", "", "pppoe-wan", ""},
        {"192.168.1.0/24", "", "br-lan", ""},
        {"blackhole", "", "", ""}, // "metric" last: no value
        {"via", "", "x", ""},      // the first word is never a keyword
        {"10.5.0.0/16", "10.0.0.2", "b", "2"},
    };
    for (int i = 0; i < n; ++i) {
        EXPECT_STREQ(want[i].dst, rows[i].destination) << i;
        EXPECT_STREQ(want[i].gw, rows[i].gateway) << i;
        EXPECT_STREQ(want[i].dev, rows[i].device) << i;
        EXPECT_STREQ(want[i].metric, rows[i].metric) << i;
    }
}

TEST(tarvona_diag_routes, Ipv6AndLimit) {
    static route_row rows[max_routes];
    int n = parse_routes(
        "default from 2001:db8::/64 via fe80::1 dev pppoe-wan proto static metric 512 pref medium\n"
        "fd3c:5a71:9e04::/64 dev br-lan proto static metric 1024 pref medium\n",
        rows, max_routes);
    ASSERT_EQ(2, n);
    EXPECT_STREQ("fe80::1", rows[0].gateway);
    EXPECT_STREQ("512", rows[0].metric);
    std::string many;
    for (int i = 0; i < 70; ++i)
        many += "10.0." + std::to_string(i) + ".0/24 dev br-lan\n";
    EXPECT_EQ(64, parse_routes(many.c_str(), rows, max_routes));
}

TEST(tarvona_diag_resolv_conf, Cases) {
    char dns[max_dns][64];
    int n = parse_resolv_conf("# Interface wan\nnameserver 198.51.100.53\nnameserver 2001:db8::53\n"
                              "search lan\nnameserver\n  nameserver 9.9.9.9\nnameserverX 1.2.3.4\n",
                              dns, max_dns);
    // "nameserverX" begins with the word too and has two fields.
    ASSERT_EQ(3, n);
    EXPECT_STREQ("198.51.100.53", dns[0]);
    EXPECT_STREQ("2001:db8::53", dns[1]);
    EXPECT_STREQ("1.2.3.4", dns[2]);
    std::string many;
    for (int i = 0; i < 10; ++i)
        many += "nameserver 10.0.0." + std::to_string(i) + "\n";
    EXPECT_EQ(8, parse_resolv_conf(many.c_str(), dns, max_dns));
}

TEST(tarvona_diag_net_dev, RealFile) {
    const char* text =
        "Inter-|   Receive                                                |  Transmit\n"
        " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
        "drop fifo colls carrier compressed\n"
        "    lo:   28196     312    0    0    0     0          0         0    28196     312    0   "
        " 0    0     0       0          0\n"
        "  eth0: 9876543210 7654321    0    0    0     0          0       0 1234567890123 654321   "
        " 0    0    0     0       0          0\n"
        "br-lan: 1 2 3 4 5 6 7 8 9\n"
        "junk line without colon\n";
    static traffic_row rows[max_traffic_rows];
    int n = parse_net_dev(text, rows, max_traffic_rows);
    ASSERT_EQ(3, n);
    EXPECT_STREQ("lo", rows[0].interface);
    EXPECT_EQ(28196, rows[0].rx_bytes);
    EXPECT_STREQ("eth0", rows[1].interface);
    EXPECT_EQ(9876543210LL, rows[1].rx_bytes);
    EXPECT_EQ(7654321, rows[1].rx_packets);
    EXPECT_EQ(1234567890123LL, rows[1].tx_bytes);
    EXPECT_EQ(654321, rows[1].tx_packets);
    // Too few columns: counted, counters 0.
    EXPECT_STREQ("br-lan", rows[2].interface);
    EXPECT_EQ(0, rows[2].rx_bytes + rows[2].tx_packets);
    EXPECT_EQ(0, parse_net_dev("only one header\n", rows, max_traffic_rows));
}

TEST(tarvona_diag_ping, BusyboxOutputs) {
    struct {
        const char* out;
        int success;
        double ms;
    } const cases[] = {
        {"PING 1.1.1.1 (1.1.1.1): 56 data bytes\n64 bytes from 1.1.1.1: seq=0 ttl=57 time=12.345 "
         "ms\n\n"
         "--- 1.1.1.1 ping statistics ---\n1 packets transmitted, 1 packets received, 0% packet "
         "loss\n"
         "round-trip min/avg/max = 12.345/12.345/12.345 ms\n",
         1, 12.345},
        {"PING google.com (142.250.74.46): 56 data bytes\n\n--- google.com ping statistics ---\n"
         "1 packets transmitted, 0 packets received, 100% packet loss\n",
         0, 0},
        {"ping: sendto: Network unreachable\n", 0, 0},
        {"ping: bad address 'google.com'\n", 0, 0},
        {"64 bytes from 8.8.8.8: icmp_seq=1 ttl=117 time=7 ms\n", 1, 7},
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        ping_result r{};
        r.success = 7;
        r.latency_ms = 99;
        parse_ping_output(c.out, r);
        EXPECT_EQ(c.success, r.success) << c.out;
        EXPECT_DOUBLE_EQ(c.ms, r.latency_ms) << c.out;
    }
}

TEST(tarvona_diag_proxy_check, CurlOutputs) {
    struct {
        const char* out;
        int code;
        int success;
        const char* error;
    } const cases[] = {
        {"200", 200, 1, ""},
        {"301", 301, 1, ""},
        {"399\n", 399, 1, ""},
        {"000", 0, 0, "000"},
        {"404", 404, 0, "404"},
        {"", 0, 0, ""},
        {"  \n", 0, 0, ""},
        {"curl: (7) Failed to connect to 127.0.0.1 port 18080\n000", 0, 0,
         "curl: (7) Failed to connect to 127.0.0.1 port 18080\n000"},
        {"199", 199, 0, "199"},
    };
    for (const auto& c : cases) {
        proxy_check_result pc{};
        pc.attempted = 1;
        parse_proxy_output(c.out, pc);
        EXPECT_EQ(c.code, pc.http_code) << c.out;
        EXPECT_EQ(c.success, pc.success) << c.out;
        EXPECT_STREQ(c.error, pc.error) << c.out;
        EXPECT_EQ(1, pc.attempted);
    }
}

// Long lines, long words, many fields, separators in odd places: each text
// stays terminated within its field and each count within its table (ASan
// watches the rest).
TEST(tarvona_diag_parse_network, HostileTextsStayWithinFields) {
    auto net = std::make_unique<network_facts>();
    test::for_each_hostile_text([&](const char* t) {
        memset(net.get(), 0x5a, sizeof *net); // garbage: parsers must set what they fill
        int n = parse_ip_brief(t, net->interfaces, max_interfaces);
        ASSERT_LE(n, max_interfaces);
        for (int i = 0; i < n; ++i) {
            test::expect_terminated(net->interfaces[i].name, "name");
            test::expect_terminated(net->interfaces[i].status, "status");
            test::expect_terminated(net->interfaces[i].ip, "ip");
            EXPECT_STREQ("", net->interfaces[i].mac);
        }
        n = parse_ip_link(t, net->links, max_links);
        ASSERT_LE(n, max_links);
        for (int i = 0; i < n; ++i) {
            test::expect_terminated(net->links[i].mac, "mac");
            EXPECT_TRUE(!net->links[i].mac[0] || is_mac_address(net->links[i].mac));
        }
        n = parse_routes(t, net->routes, max_routes);
        ASSERT_LE(n, max_routes);
        for (int i = 0; i < n; ++i) {
            test::expect_terminated(net->routes[i].gateway, "gateway");
            test::expect_terminated(net->routes[i].device, "device");
            test::expect_terminated(net->routes[i].metric, "metric");
        }
        n = parse_resolv_conf(t, net->dns, max_dns);
        ASSERT_LE(n, max_dns);
        for (int i = 0; i < n; ++i)
            test::expect_terminated(net->dns[i], "dns");
        n = parse_net_dev(t, net->traffic, max_traffic_rows);
        ASSERT_LE(n, max_traffic_rows);
        for (int i = 0; i < n; ++i)
            test::expect_terminated(net->traffic[i].interface, "interface");

        proxy_check_result pc{};
        parse_proxy_output(t, pc);
        test::expect_terminated(pc.error, "error");
        EXPECT_TRUE(pc.http_code >= 0 && pc.http_code <= 999);
    });
}
