// The shown forms of hidden addresses, and the address recognisers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mask/forms.h"
#include "test_support.h"

namespace tarvona_diag {
namespace {

TEST(tarvona_diag_mask_forms, Ip) {
    struct {
        const char* in;
        const char* out;
    } const cases[] = {
        {"192.168.1.1/24", "192.168.x.x/24"},
        {"10.0.0.5", "10.0.x.x"},
        {"fe80::1/64", "***"},
        {"2001:db8::5", "***"},
        {"", ""},
        {"100.64.0.1/32", "100.64.x.x/32"},
        {"nodots", "nodots.x.x"},
    };
    for (const auto& c : cases) {
        char out[masked_ip_capacity];
        mask_ip(c.in, out);
        EXPECT_STREQ(c.out, out) << "input " << c.in;
    }
}

TEST(tarvona_diag_mask_forms, IpWithLongPrefixTextStaysWithin64Bytes) {
    std::string in = "10.1.2.3/" + std::string(100, '9');
    char out[masked_ip_capacity + 8];
    memset(out, 'Z', sizeof out);
    mask_ip(in.c_str(), out);
    EXPECT_EQ(63u, strlen(out));
    EXPECT_EQ('Z', out[masked_ip_capacity]);
}

TEST(tarvona_diag_mask_forms, Mac) {
    struct {
        const char* in;
        const char* out;
    } const cases[] = {
        {"AA:BB:CC:DD:EE:FF", "AA:BB:CC:xx:xx:xx"},
        {"", ""},
        {"aa:bb", "aa:bb:xx:xx:xx"},
        {"0123456789abcdefABCD:1:2", "0123456789abcde:xx:xx:x"}, // cut to 23 bytes
    };
    for (const auto& c : cases) {
        char out[masked_mac_capacity];
        mask_mac(c.in, out);
        EXPECT_STREQ(c.out, out) << "input " << c.in;
    }
}

TEST(tarvona_diag_mask_forms, MacsInText) {
    struct {
        const char* in;
        const char* out;
    } const cases[] = {
        {"192.168.1.20 dev br-lan lladdr 3c:22:fb:10:aa:01 REACHABLE\n"
         "fe80::3e22:fbff:fe10:aa01 dev br-lan lladdr 3c:22:fb:10:aa:01 STALE",
         "192.168.1.20 dev br-lan lladdr 3c:22:fb:xx:xx:xx REACHABLE\n"
         "fe80::3e22:fbff:fe10:aa01 dev br-lan lladdr 3c:22:fb:xx:xx:xx STALE"},
        {"two: 00:11:22:33:44:55 and AA:BB:CC:DD:EE:FF.",
         "two: 00:11:22:xx:xx:xx and AA:BB:CC:xx:xx:xx."},
        {"word 0123456789ab stays", "word 0123456789ab stays"},
        {"fe80::1234:5678:9abc:def0%br-lan", "fe80::1234:5678:9abc:def0%br-lan"},
        {"", ""},
        {"Access Point: 02:11:22:33:44:55", "Access Point: 02:11:22:xx:xx:xx"},
    };
    for (const auto& c : cases) {
        static char out[masked_text_capacity];
        mask_macs_in_text(c.in, out);
        EXPECT_STREQ(c.out, out);
    }
}

TEST(tarvona_diag_mask_forms, MacsInTextStopAt8191Bytes) {
    std::string in;
    while (in.size() < 9000)
        in += "00:11:22:33:44:55 ";
    static char out[masked_text_capacity + 16];
    memset(out, 'Z', sizeof out);
    mask_macs_in_text(in.c_str(), out);
    size_t n = strlen(out);
    EXPECT_LE(n, 8191u);
    EXPECT_GT(n, 8170u);
    // No MAC is half-written at the end: a masked MAC or a separator.
    EXPECT_EQ(std::string::npos, std::string(out).find("33:44"));
}

TEST(tarvona_diag_mask_forms, IsMacAddress) {
    EXPECT_TRUE(is_mac_address("aa:bb:cc:dd:ee:ff"));
    EXPECT_TRUE(is_mac_address("00:1A:2b:3C:4d:5E"));
    EXPECT_FALSE(is_mac_address("aa:bb:cc:dd:ee:f"));
    EXPECT_FALSE(is_mac_address("aa:bb:ccxdd:ee:ff")); // letter where a colon belongs
    EXPECT_FALSE(is_mac_address("aa:bb:cc:dd:ee:fg"));
    EXPECT_FALSE(is_mac_address("00:00:00:00:00:00:00"));
    EXPECT_FALSE(is_mac_address(""));
}

TEST(tarvona_diag_mask_forms, Addresses) {
    struct {
        const char* text;
        bool ipv4, is_public, ipv6;
    } const cases[] = {
        {"203.0.113.7", true, true, false},  {"198.51.100.1", true, true, false},
        {"10.172.9.14", true, false, false}, {"100.66.12.34", true, false, false},
        {"172.16.0.1", true, false, false},  {"172.32.0.1", true, true, false},
        {"192.168.1.1", true, false, false}, {"169.254.1.1", true, false, false},
        {"127.0.0.1", true, false, false},   {"224.0.0.1", true, false, false},
        {"300.1.1.1", true, false, false},   {"1.2.3", false, false, false},
        {"1.2.3.4.5", false, false, false},  {"a.b.c.d", false, false, false},
        {"2001:db8::5", false, false, true}, {"2001:db8::5/64", false, false, true},
        {"fe80::1", false, false, true},     {"1:2:3:4:5:6:7:8", false, false, true},
        {"20:01:12", false, false, false},   {"host:443", false, false, false},
    };
    for (const auto& c : cases) {
        const size_t len = strlen(c.text);
        EXPECT_EQ(c.ipv4, parse_ipv4(c.text, len)) << c.text;
        EXPECT_EQ(c.is_public, is_public_ipv4(c.text, len)) << c.text;
        EXPECT_EQ(c.ipv6, is_ipv6_text(c.text, len)) << c.text;
    }
    uint32_t net = 0, mask = 0;
    ASSERT_TRUE(parse_ipv4_prefix("10.172.9.14/30", 14, net, mask));
    EXPECT_EQ(0x0aac090cu, net);
    EXPECT_EQ(0xfffffffcu, mask);
    EXPECT_FALSE(parse_ipv4_prefix("10.172.9.14", 11, net, mask));
    EXPECT_FALSE(parse_ipv4_prefix("10.172.9.14/33", 14, net, mask));
}

// Hostile text (long lines, long words, separators in odd places): every
// shown form stays terminated within its buffer.
TEST(tarvona_diag_mask_forms, HostileTextsStayWithinTheirBuffers) {
    static char masked[masked_text_capacity];
    test::for_each_hostile_text([](const char* t) {
        mask_macs_in_text(t, masked);
        EXPECT_LT(strnlen(masked, sizeof masked), sizeof masked);
        char ip[masked_ip_capacity], mac[masked_mac_capacity];
        mask_ip(t, ip);
        EXPECT_LT(strnlen(ip, sizeof ip), sizeof ip);
        mask_mac(t, mac);
        EXPECT_LT(strnlen(mac, sizeof mac), sizeof mac);
    });
}

} // namespace
} // namespace tarvona_diag
