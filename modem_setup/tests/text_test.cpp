// Small pure helpers: trimming, numbered names, pidof answers, USB id split,
// marker freshness, HiLink interface names.
#include "binding.h"
#include "log.h"
#include "ports.h"
#include "process.h"
#include "text.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

TEST(korvel_TrimBlanks, RemovesEveryBlankKindAtBothEnds) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a b  ", "a b"}, {"\t\v\f\r\nx\n", "x"}, {" \t \n", ""}, {"", ""},
        {"x", "x"},         {" in it ", "in it"},
    };
    for (auto& c : cases) {
        std::string buf = c.in;
        trim_blanks(buf.data());
        EXPECT_STREQ(c.out, buf.c_str()) << "[" << c.in << "]";
    }
}

TEST(korvel_PrefixAndNumber, NeedsDigitsOnlyAfterThePrefix) {
    long n = -1;
    EXPECT_TRUE(prefix_and_number("ttyUSB12", "ttyUSB", &n));
    EXPECT_EQ(12, n);
    for (const char* bad : {"ttyUSB", "ttyUSB1a", "ttyACM0", "ttyUSB-1", "xttyUSB1"})
        EXPECT_FALSE(prefix_and_number(bad, "ttyUSB")) << bad;
}

TEST(korvel_HilinkCandidate, OnlyEthOrUsbWithDigits) {
    struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"eth1", true},   {"usb0", true}, {"eth10", true},  {"eth0.2", false},
        {"ethx1", false}, {"eth", false}, {"wlan0", false}, {"usb0a", false},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.ok, hilink_candidate(c.name)) << c.name;
}

TEST(korvel_NamesOtherProcess, IgnoresOwnAndParentIds) {
    struct {
        const char* text;
        bool other;
    } cases[] = {
        {"", false},        {"100", false},          {"200\n", false},
        {"100 200", false}, {"100 200 300\n", true}, {"300", true},
        {"1000", true}, // not a prefix match of 100
    };
    for (auto& c : cases)
        EXPECT_EQ(c.other, names_other_process(c.text, 100, 200)) << c.text;
}

TEST(korvel_SplitUsbId, FirstTwoParts) {
    char v[16], p[16];
    EXPECT_EQ(2, split_usb_id("12d1/1506/102", v, p));
    EXPECT_STREQ("12d1", v);
    EXPECT_STREQ("1506", p);
    EXPECT_EQ(1, split_usb_id("12d1", v, p));
    EXPECT_STREQ("", p);
    EXPECT_EQ(0, split_usb_id("/x", v, p));
    // A vendor over 15 characters is cut and the product is no longer read.
    EXPECT_EQ(1, split_usb_id("0123456789abcdef0/1", v, p));
    EXPECT_STREQ("0123456789abcde", v);
    EXPECT_STREQ("", p);
}

TEST(korvel_MarkerFreshness, NineSecondsOrLessIsFresh) {
    EXPECT_TRUE(marker_fresh_at(1000, 1000));
    EXPECT_TRUE(marker_fresh_at(1000, 991));
    EXPECT_FALSE(marker_fresh_at(1000, 990));
    EXPECT_FALSE(marker_fresh_at(1000, 0));
}

} // namespace
} // namespace korvel
