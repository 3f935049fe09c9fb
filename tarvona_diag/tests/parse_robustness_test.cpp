// Every parser and masker over hostile text: long lines, long words, many
// fields, separators in odd places. Each output text must stay terminated
// within its field and each count within its table (ASan watches the rest).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "mask/forms.h"
#include "parse_network.h"
#include "parse_system.h"

using namespace tarvona_diag;

namespace {

template <size_t N> void expect_terminated(const char (&field)[N], const char* what) {
    EXPECT_LT(strnlen(field, N), N) << what;
}

// Deterministic hostile texts built from pieces that the parsers react to.
std::string hostile_text(std::mt19937& rng, size_t length) {
    static const char* const pieces[] = {
        " ",
        "\t",
        "\n",
        "\r\n",
        ":",
        "=",
        "'",
        "\"",
        "/",
        ".",
        "<UP>",
        "via",
        "dev",
        "metric",
        "Mem:",
        "nameserver",
        "time=",
        "UP",
        "UNKNOWN",
        "wg0",
        "default",
        "DISTRIB_ID",
        "@NONE",
        "aa:bb:cc:dd:ee:ff",
        "0",
        "999",
        "123456789",
        "-",
        "x",
        "\xff\xfe",
        "LOWERLAYERDOWN",
    };
    std::uniform_int_distribution<size_t> pick(0, sizeof pieces / sizeof pieces[0] - 1);
    std::uniform_int_distribution<int> longword(0, 40);
    std::string s;
    while (s.size() < length) {
        if (longword(rng) == 0)
            s += std::string(300, 'w'); // longer than every field and some lines
        else
            s += pieces[pick(rng)];
    }
    s.resize(length);
    return s;
}

} // namespace

TEST(tarvona_diag_parse_robustness, HostileTextsStayWithinFields) {
    std::mt19937 rng(20261209);
    auto sys = std::make_unique<system_facts>();
    auto net = std::make_unique<network_facts>();
    static char masked[masked_text_capacity];
    for (int round = 0; round < 300; ++round) {
        std::string text = hostile_text(rng, 64 + static_cast<size_t>(round) * 13);
        const char* t = text.c_str();
        memset(sys.get(), 0x5a, sizeof *sys); // garbage: parsers must set what they fill
        memset(net.get(), 0x5a, sizeof *net);

        parse_openwrt_release(t, *sys);
        expect_terminated(sys->distrib_id, "distrib_id");
        expect_terminated(sys->description, "description");
        parse_free(t, *sys);
        expect_terminated(sys->total, "total");
        expect_terminated(sys->available, "available");
        int n = parse_df(t, sys->disk, max_disk_rows);
        ASSERT_LE(n, max_disk_rows);
        for (int i = 0; i < n; ++i) {
            expect_terminated(sys->disk[i].filesystem, "filesystem");
            expect_terminated(sys->disk[i].percent, "percent");
            expect_terminated(sys->disk[i].mount, "mount");
        }

        n = parse_ip_brief(t, net->interfaces, max_interfaces);
        ASSERT_LE(n, max_interfaces);
        for (int i = 0; i < n; ++i) {
            expect_terminated(net->interfaces[i].name, "name");
            expect_terminated(net->interfaces[i].status, "status");
            expect_terminated(net->interfaces[i].ip, "ip");
            EXPECT_STREQ("", net->interfaces[i].mac);
        }
        n = parse_ip_link(t, net->links, max_links);
        ASSERT_LE(n, max_links);
        for (int i = 0; i < n; ++i) {
            expect_terminated(net->links[i].mac, "mac");
            EXPECT_TRUE(!net->links[i].mac[0] || is_mac_address(net->links[i].mac));
        }
        n = parse_routes(t, net->routes, max_routes);
        ASSERT_LE(n, max_routes);
        for (int i = 0; i < n; ++i) {
            expect_terminated(net->routes[i].gateway, "gateway");
            expect_terminated(net->routes[i].device, "device");
            expect_terminated(net->routes[i].metric, "metric");
        }
        n = parse_resolv_conf(t, net->dns, max_dns);
        ASSERT_LE(n, max_dns);
        for (int i = 0; i < n; ++i)
            expect_terminated(net->dns[i], "dns");
        n = parse_net_dev(t, net->traffic, max_traffic_rows);
        ASSERT_LE(n, max_traffic_rows);
        for (int i = 0; i < n; ++i)
            expect_terminated(net->traffic[i].interface, "interface");

        proxy_check_result pc{};
        parse_proxy_output(t, pc);
        expect_terminated(pc.error, "error");
        EXPECT_TRUE(pc.http_code >= 0 && pc.http_code <= 999);

        mask_macs_in_text(t, masked);
        EXPECT_LT(strnlen(masked, sizeof masked), sizeof masked);
        char ip[masked_ip_capacity], mac[masked_mac_capacity];
        mask_ip(t, ip);
        EXPECT_LT(strnlen(ip, sizeof ip), sizeof ip);
        mask_mac(t, mac);
        EXPECT_LT(strnlen(mac, sizeof mac), sizeof mac);
    }
}
