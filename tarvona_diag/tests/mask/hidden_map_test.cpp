// The map of hidden values: what it keeps, and where it hides them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "mask/hidden_map.h"

namespace tarvona_diag {
namespace {

std::string applied(const hidden_map& m, const char* text, size_t cap = 512) {
    char buf[512];
    snprintf(buf, sizeof buf, "%s", text);
    hidden_map_apply(m, buf, cap);
    return buf;
}

TEST(tarvona_diag_hidden_map, KeepsOnlyValuesThatStandForASecret) {
    auto m = std::make_unique<hidden_map>();
    for (const char* v :
         {"alice-pppoe", "203.0.113.7", "100.66.12.34/32", " vpn.example.com ", "2001:db8::5"})
        EXPECT_TRUE(hidden_map_add(*m, v)) << v;
    // too short, numbers, plain words, loopback, masked already, lines
    for (const char* v : {"pw", "root", "443", "127.0.0.1", "0.0.0.0", "true", "default",
                          "localhost", "***", "10.0.x.x", "line\nbreak", ""})
        EXPECT_FALSE(hidden_map_add(*m, v)) << v;
    EXPECT_EQ(5, m->count);
    EXPECT_STREQ("100.66.12.34", m->values[2]); // the prefix length does not belong to it
    EXPECT_STREQ("vpn.example.com", m->values[3]);
    EXPECT_TRUE(hidden_map_add(*m, "alice-pppoe")); // already there
    EXPECT_EQ(5, m->count);
}

TEST(tarvona_diag_hidden_map, IPv4AddressesStandOnTheirOwn) {
    auto m = std::make_unique<hidden_map>();
    hidden_map_add(*m, "203.0.113.7");
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"pppd: local IP address 203.0.113.7\n", "pppd: local IP address 203.0.x.x\n"},
        // a longer number is left alone, the real occurrence after it is masked
        {"a 203.0.113.70 b 203.0.113.7\n", "a 203.0.113.70 b 203.0.x.x\n"},
        // a sentence may end right after the address
        {"x1203.0.113.7 1.203.0.113.7 203.0.113.7.5 .203.0.113.7 203.0.113.7.",
         "x1203.0.113.7 1.203.0.113.7 203.0.113.7.5 .203.0.x.x 203.0.x.x."},
        {"203.0.113.7,203.0.113.7:443/29", "203.0.x.x,203.0.x.x:443/29"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, applied(*m, c.in)) << c.in;
}

TEST(tarvona_diag_hidden_map, OtherValuesOutsideLongerWordsLongestFirst) {
    auto m = std::make_unique<hidden_map>();
    hidden_map_add(*m, "alice-user");
    hidden_map_add(*m, "alice-user:pw-secret");
    hidden_map_add(*m, "2001:db8:77::5");
    EXPECT_EQ("-u *** and *** but alice-user2 xalice-user ***/64",
              applied(*m, "-u alice-user:pw-secret and alice-user but alice-user2 xalice-user "
                          "2001:db8:77::5/64"));
}

TEST(tarvona_diag_hidden_map, GrowthPastTheCapacityCutsTheTail) {
    auto m = std::make_unique<hidden_map>();
    hidden_map_add(*m, "abcdef");
    EXPECT_EQ("*** abc", applied(*m, "abcdef abcd", 8));
    // "10.1.2.33" -> "10.1.x.x" shrinks; nothing is lost
    hidden_map_add(*m, "10.1.2.33");
    EXPECT_EQ("10.1.x.x 10.1.x.x", applied(*m, "10.1.2.33 10.1.2.33", 20));
}

TEST(tarvona_diag_hidden_map, AFullMapKeepsWhatItHas) {
    auto m = std::make_unique<hidden_map>();
    char v[32];
    for (int i = 0; i < hidden_map::capacity; ++i) {
        snprintf(v, sizeof v, "value-%04d", i);
        ASSERT_TRUE(hidden_map_add(*m, v));
    }
    EXPECT_FALSE(hidden_map_add(*m, "one-more-value"));
    EXPECT_EQ(hidden_map::capacity, m->count);
    EXPECT_EQ("*** one-more-value", applied(*m, "value-0255 one-more-value"));
}

} // namespace
} // namespace tarvona_diag
