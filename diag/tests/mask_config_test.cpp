#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mask_config.h"

namespace diag {
namespace {

std::string servers_masked(const char* text, size_t cap = 512) {
    char buf[512];
    snprintf(buf, sizeof buf, "%s", text);
    mask_servers_in_text(buf, cap);
    return buf;
}

TEST(diag_ServerMask, Cases) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {R"(option proxy_string '{"server":"203.0.113.7","port":443}')",
         R"(option proxy_string '{"server":"***","port":443}')"},
        {R"({"server":   "a.example"})", R"({"server":   "***"})"},
        // empty and short values grow to three stars
        {R"({"server":""} {"server":"x"})", R"({"server":"***"} {"server":"***"})"},
        // not a quoted value: left alone, the search goes on
        {R"({"server":123,"b":{"server":"h"}})", R"({"server":123,"b":{"server":"***"}})"},
        // no closing quote
        {R"({"server":"open)", R"({"server":"open)"},
        {"server: 1.2.3.4", "server: 1.2.3.4"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, servers_masked(c.in)) << c.in;
}

TEST(diag_ServerMask, GrowthPastCapacityCutsTheTail) {
    // "x" becomes "***": one byte more than the 20-byte buffer can take.
    char buf[20] = R"({"server":"x"}abcd)";
    ASSERT_EQ(18u, strlen(buf));
    mask_servers_in_text(buf, sizeof buf);
    EXPECT_STREQ(R"({"server":"***"}abc)", buf);
    EXPECT_EQ(19u, strlen(buf));
}

std::string log_masked(const char* text, const char* addr, size_t cap = 512) {
    char buf[512];
    snprintf(buf, sizeof buf, "%s", text);
    mask_address_in_text(buf, cap, addr);
    return buf;
}

TEST(diag_LogMask, Cases) {
    struct {
        const char* log;
        const char* addr;
        const char* out;
    } cases[] = {
        {"pppd: local IP address 203.0.113.7\n", "203.0.113.7/32",
         "pppd: local IP address 203.0.x.x\n"},
        // a longer number is left alone, the real occurrence after it is masked
        {"a 203.0.113.70 b 203.0.113.7\n", "203.0.113.7", "a 203.0.113.70 b 203.0.x.x\n"},
        // a sentence may end right after the address
        {"x1203.0.113.7 1.203.0.113.7 203.0.113.7.5 .203.0.113.7 203.0.113.7.", "203.0.113.7",
         "x1203.0.113.7 1.203.0.113.7 203.0.113.7.5 .203.0.x.x 203.0.x.x."},
        {"203.0.113.7,203.0.113.7", "203.0.113.7", "203.0.x.x,203.0.x.x"},
        // IPv6 and empty addresses mask nothing
        {"2001:db8::1 up", "2001:db8::1/64", "2001:db8::1 up"},
        {"nothing", "", "nothing"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, log_masked(c.log, c.addr)) << c.log;
}

TEST(diag_LogMask, ReplacementThatWouldOverflowStops) {
    // "1.2.3.4" -> "1.2.x.x" keeps the length; an address with one dot
    // grows ("10.1" -> "10.1.x.x") and stops at the capacity.
    char buf[20] = "10.1 10.1 10.1";
    EXPECT_EQ(1, mask_address_in_text(buf, sizeof buf, "10.1"));
    EXPECT_STREQ("10.1.x.x 10.1 10.1", std::string(buf).c_str());
}

}  // namespace
}  // namespace diag
