// Parsers of the system facts over real OpenWrt command output, and over
// hostile text.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "parse_system.h"
#include "test_support.h"

using namespace tarvona_diag;

namespace {
std::unique_ptr<system_facts> fresh() {
    auto s = std::make_unique<system_facts>();
    memset(s.get(), 0, sizeof *s);
    return s;
}
} // namespace

TEST(tarvona_diag_openwrt_release, RealFileAndQuotes) {
    auto s = fresh();
    parse_openwrt_release("DISTRIB_ID='OpenWrt'\n"
                          "DISTRIB_RELEASE='23.05.3'\n"
                          "DISTRIB_REVISION='r23809-234f1a2efa'\n"
                          "DISTRIB_TARGET='mediatek/filogic'\n"
                          "DISTRIB_ARCH='aarch64_cortex-a53'\n"
                          "DISTRIB_DESCRIPTION='OpenWrt 23.05.3 r23809-234f1a2efa'\n"
                          "DISTRIB_TAINTS=''\n",
                          *s);
    EXPECT_STREQ("OpenWrt", s->distrib_id);
    EXPECT_STREQ("23.05.3", s->release);
    EXPECT_STREQ("r23809-234f1a2efa", s->revision);
    EXPECT_STREQ("mediatek/filogic", s->target);
    EXPECT_STREQ("aarch64_cortex-a53", s->arch);
    EXPECT_STREQ("OpenWrt 23.05.3 r23809-234f1a2efa", s->description);
}

TEST(tarvona_diag_openwrt_release, EdgeValues) {
    struct {
        const char* text;
        const char* id;
    } const cases[] = {
        {"DISTRIB_ID='OpenWrt\n", "OpenWrt"},        // only a leading quote
        {"DISTRIB_ID=\"Open\"Wrt\"\n", "Open\"Wrt"}, // one quote off each end only
        {"DISTRIB_ID= spaced \n", " spaced "},       // no white-space trimming
        {"DISTRIB_ID='a'\nDISTRIB_ID='b'\n", "b"},   // last wins
        {"DISTRIB_ID\nOTHER=1\n", ""},               // no "="
        {"DISTRIB_ID=''\n", ""},
        {"DISTRIB_ID='\n", ""},
        {"distrib_id='x'\n", ""}, // exact key only
    };
    for (const auto& c : cases) {
        auto s = fresh();
        strcpy(s->distrib_id, "stale");
        parse_openwrt_release(c.text, *s);
        EXPECT_STREQ(c.id, s->distrib_id) << c.text;
    }
}

TEST(tarvona_diag_openwrt_release, LongDescriptionIsCut) {
    auto s = fresh();
    std::string text = "DISTRIB_DESCRIPTION='" + std::string(200, 'd') + "'\n";
    parse_openwrt_release(text.c_str(), *s);
    EXPECT_EQ(127u, strlen(s->description));
}

TEST(tarvona_diag_loadavg, Cases) {
    double load[3] = {9, 9, 9};
    parse_loadavg("0.42 0.31 0.25 2/117 4242\n", load);
    EXPECT_DOUBLE_EQ(0.42, load[0]);
    EXPECT_DOUBLE_EQ(0.31, load[1]);
    EXPECT_DOUBLE_EQ(0.25, load[2]);
    parse_loadavg("0.42 0.31\n", load);
    EXPECT_EQ(0, load[0] + load[1] + load[2]);
    load[0] = 5;
    parse_loadavg("", load);
    EXPECT_EQ(0, load[0]);
}

TEST(tarvona_diag_free, BusyboxAndShortLines) {
    auto s = fresh();
    // busybox free on OpenWrt 23.05
    parse_free("              total        used        free      shared  buff/cache   available\n"
               "Mem:         493516       88244      353472        1124       51800      366356\n"
               "Swap:             0           0           0\n",
               *s);
    EXPECT_STREQ("493516", s->total);
    EXPECT_STREQ("88244", s->used);
    EXPECT_STREQ("353472", s->free);
    EXPECT_STREQ("1124", s->shared);
    EXPECT_STREQ("51800", s->buffers);
    EXPECT_STREQ("366356", s->available);

    parse_free("Mem: 100 20 80\nMem: 1 2 3 4 5 6\n", *s);
    EXPECT_STREQ("100", s->total);
    EXPECT_STREQ("80", s->free);
    EXPECT_STREQ("", s->shared);
    EXPECT_STREQ("", s->available);

    parse_free("Mem: 100 20\n", *s);
    EXPECT_STREQ("", s->total);
    parse_free("", *s);
    EXPECT_STREQ("", s->used);
}

TEST(tarvona_diag_df, RealOutputWrappedLineAndLimit) {
    auto s = fresh();
    const char* df = "Filesystem                Size      Used Available Use% Mounted on\n"
                     "/dev/root                 4.5M      4.5M         0 100% /rom\n"
                     "tmpfs                   241.0M    316.0K    240.7M   0% /tmp\n"
                     "/dev/mtdblock6_very_long_device_name_that_wrapped\n"
                     "                         53.9M      1.3M     52.6M   2% /overlay\n"
                     "overlayfs:/overlay       53.9M      1.3M     52.6M   2% /\n"
                     "\n";
    int n = parse_df(df, s->disk, max_disk_rows);
    // Both halves of the wrapped entry have fewer than six fields: skipped.
    ASSERT_EQ(3, n);
    EXPECT_STREQ("/dev/root", s->disk[0].filesystem);
    EXPECT_STREQ("100%", s->disk[0].percent);
    EXPECT_STREQ("/rom", s->disk[0].mount);
    EXPECT_STREQ("overlayfs:/overlay", s->disk[2].filesystem);
    EXPECT_STREQ("/", s->disk[2].mount);

    std::string many = "Filesystem Size Used Available Use% Mounted on\n";
    for (int i = 0; i < 20; ++i)
        many += "tmpfs 1M 0 1M 0% /mnt/m" + std::to_string(i) + "\n";
    EXPECT_EQ(16, parse_df(many.c_str(), s->disk, max_disk_rows));
    EXPECT_STREQ("/mnt/m15", s->disk[15].mount);
    EXPECT_EQ(0, parse_df("Filesystem Size Used Available Use% Mounted on\n", s->disk, 16));
    EXPECT_EQ(0, parse_df("", s->disk, 16));
}

// Long lines, long words, many fields, separators in odd places: each text
// stays terminated within its field and each count within its table (ASan
// watches the rest).
TEST(tarvona_diag_parse_system, HostileTextsStayWithinFields) {
    auto sys = std::make_unique<system_facts>();
    test::for_each_hostile_text([&](const char* t) {
        memset(sys.get(), 0x5a, sizeof *sys); // garbage: parsers must set what they fill
        parse_openwrt_release(t, *sys);
        test::expect_terminated(sys->distrib_id, "distrib_id");
        test::expect_terminated(sys->description, "description");
        parse_free(t, *sys);
        test::expect_terminated(sys->total, "total");
        test::expect_terminated(sys->available, "available");
        int n = parse_df(t, sys->disk, max_disk_rows);
        ASSERT_LE(n, max_disk_rows);
        for (int i = 0; i < n; ++i) {
            test::expect_terminated(sys->disk[i].filesystem, "filesystem");
            test::expect_terminated(sys->disk[i].percent, "percent");
            test::expect_terminated(sys->disk[i].mount, "mount");
        }
    });
}
