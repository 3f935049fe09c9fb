// Output-time maskers and interface filters.
#include <gtest/gtest.h>

#include <string>

#include "mask.h"

using namespace diag;

TEST(diag_MaskIp, Cases) {
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

TEST(diag_MaskIp, LongPrefixTextStaysWithin64Bytes) {
    std::string in = "10.1.2.3/" + std::string(100, '9');
    char out[masked_ip_capacity + 8];
    memset(out, 'Z', sizeof out);
    mask_ip(in.c_str(), out);
    EXPECT_EQ(63u, strlen(out));
    EXPECT_EQ('Z', out[masked_ip_capacity]);
}

TEST(diag_MaskMac, Cases) {
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

TEST(diag_MaskMacsInText, Cases) {
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

TEST(diag_MaskMacsInText, OutputStopsAt8191Bytes) {
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

TEST(diag_IfaceFilters, Cases) {
    struct {
        const char* name;
        bool hidden;
        bool wan;
    } const cases[] = {
        {"lo", true, false},    {"sit0@NONE", true, false}, {"ip6tnl0", true, false},
        {"gre0", true, false},  {"tunl0", true, false},     {"wan", false, true},
        {"wan6", false, true},  {"eth0", false, true},      {"eth1", false, true},
        {"eth2", false, false}, {"pppoe-wan", false, true}, {"br-lan", false, false},
        {"lo0", false, false},  {"erspan0", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.hidden, is_hidden_iface(c.name)) << c.name;
        EXPECT_EQ(c.wan, is_wan_iface(c.name)) << c.name;
    }
}

TEST(diag_IsMacAddress, Cases) {
    EXPECT_TRUE(is_mac_address("aa:bb:cc:dd:ee:ff"));
    EXPECT_TRUE(is_mac_address("00:1A:2b:3C:4d:5E"));
    EXPECT_FALSE(is_mac_address("aa:bb:cc:dd:ee:f"));
    EXPECT_FALSE(is_mac_address("aa:bb:ccxdd:ee:ff")); // letter where a colon belongs
    EXPECT_FALSE(is_mac_address("aa:bb:cc:dd:ee:fg"));
    EXPECT_FALSE(is_mac_address("00:00:00:00:00:00:00"));
    EXPECT_FALSE(is_mac_address(""));
}
