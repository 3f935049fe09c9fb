#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "overlap.h"

namespace tarvona_diag {
namespace {

overlap_analysis& fresh() {
    static overlap_analysis ov;
    memset(&ov, 0, sizeof ov);
    return ov;
}

void add_section(list_section* table, int32_t& count, const char* name,
                 const std::vector<const char*>& lists) {
    list_section& s = table[count++];
    s = list_section{};
    copy_text(s.name, name);
    for (const char* l : lists)
        copy_text(s.lists[s.list_count++], l);
}

struct codes {
    int32_t zapret, zapret2, yt;
    bool operator==(const codes&) const = default;
};

codes codes_of(const overlap_analysis& ov, const char* list) {
    for (int i = 0; i < ov.conflict_count; ++i)
        if (strcmp(ov.conflicts[i].list, list) == 0)
            return {ov.conflicts[i].zapret, ov.conflicts[i].zapret2,
                    ov.conflicts[i].youtubeUnblock};
    return {-1, -1, -1};
}

TEST(tarvona_diag_overlap_zapret, ProfileScan) {
    struct {
        const char* name;
        const char* opt;
        codes youtube, news;
    } cases[] = {
        {"host list then catch-all profile",
         "--hostlist=/opt/zapret/ipset/zapret-hosts-youtube.txt "
         "--dpi-desync=fake\n--new\n--filter-udp=443",
         {2, 0, 0},
         {2, 0, 0}},
        {"catch-all then host list: the later write wins",
         "--filter-udp=443\n--new\n  --hostlist=/opt/zapret/ipset/zapret-hosts-youtube.txt",
         {1, 0, 0},
         {2, 0, 0}},
        {"every profile restricted",
         "\t--hostlist=zapret_hosts_youtube.txt\n--new\n--hostlist=/x/other.lst\n",
         {1, 0, 0},
         {-1, -1, -1}},
        {"an option in mid-line is not a profile start",
         "--filter-tcp=443 --hostlist=/a/youtube.txt",
         {2, 0, 0},
         {2, 0, 0}},
        {"a host list whose name comes out empty still restricts",
         "--hostlist=/opt/ipset/.txt",
         {-1, -1, -1},
         {-1, -1, -1}},
    };
    for (const auto& c : cases) {
        overlap_analysis& ov = fresh();
        add_section(ov.podkop_sections, ov.podkop_section_count, "main", {"youtube", "news"});
        scan_zapret_profiles(ov, c.opt);
        EXPECT_EQ(c.youtube, codes_of(ov, "youtube")) << c.name;
        EXPECT_EQ(c.news, codes_of(ov, "news")) << c.name;
    }
}

TEST(tarvona_diag_overlap_zapret2, StrategyMarks) {
    overlap_analysis& ov = fresh();
    add_section(ov.podkop_sections, ov.podkop_section_count, "main", {"youtube", "news"});
    const char* lists[] = {"list_hosts_youtube", "discord"};
    mark_zapret2_strategy(ov, lists, 2);
    EXPECT_EQ((codes{0, 1, 0}), codes_of(ov, "youtube"));
    EXPECT_EQ((codes{0, 1, 0}), codes_of(ov, "discord"));
    EXPECT_EQ((codes{-1, -1, -1}), codes_of(ov, "news"));
    mark_zapret2_strategy(ov, nullptr, 0); // no hostlist: all traffic
    EXPECT_EQ((codes{0, 2, 0}), codes_of(ov, "youtube"));
    EXPECT_EQ((codes{0, 2, 0}), codes_of(ov, "news"));
}

TEST(tarvona_diag_overlap_table, FullScratchTableLosesFurtherMarks) {
    overlap_analysis& ov = fresh();
    char name[16];
    for (int i = 0; i < max_conflicts; ++i) {
        snprintf(name, sizeof name, "l%d", i);
        ASSERT_NE(nullptr, find_or_add_conflict(ov, name));
    }
    EXPECT_EQ(nullptr, find_or_add_conflict(ov, "one-more"));
    EXPECT_EQ(&ov.conflicts[3], find_or_add_conflict(ov, "l3"));
    EXPECT_EQ(max_conflicts, ov.conflict_count);
}

TEST(tarvona_diag_overlap_record, PodkopAndBrimvalePairs) {
    overlap_analysis& ov = fresh();
    add_section(ov.podkop_sections, ov.podkop_section_count, "main", {"youtube", "news", "meta"});
    add_section(ov.podkop_sections, ov.podkop_section_count, "alt", {"news"});
    add_section(ov.brimvale_sections, ov.brimvale_section_count, "streaming",
                {"youtube", "russia_inside", "news"});
    scan_zapret_profiles(ov, "--hostlist=/x/zapret-hosts-news.txt");
    mark_youtube_unblock(ov);
    finish_conflicts(ov, true, true);

    struct row {
        std::string list, section, service;
        codes c;
        bool operator==(const row&) const = default;
    };
    std::vector<row> got;
    for (int i = 0; i < ov.conflict_count; ++i) {
        const conflict_entry& e = ov.conflicts[i];
        got.push_back({e.list, e.section, e.service, {e.zapret, e.zapret2, e.youtubeUnblock}});
    }
    std::vector<row> want = {
        {"youtube", "main", "podkop", {0, 0, 1}},
        {"news", "main", "podkop", {1, 0, 0}},
        {"news", "alt", "podkop", {1, 0, 0}},
        // brimvale gets youtubeUnblock's lists only, with the zapret codes cleared
        {"youtube", "streaming", "brimvale", {0, 0, 1}},
        {"russia_inside", "streaming", "brimvale", {0, 0, 1}},
    };
    EXPECT_EQ(want, got);
}

TEST(tarvona_diag_overlap_record, OnlyBrimvaleActive) {
    overlap_analysis& ov = fresh();
    add_section(ov.brimvale_sections, ov.brimvale_section_count, "main", {"youtube"});
    mark_youtube_unblock(ov);
    finish_conflicts(ov, false, true);
    ASSERT_EQ(1, ov.conflict_count);
    EXPECT_STREQ("brimvale", ov.conflicts[0].service);
    EXPECT_STREQ("main", ov.conflicts[0].section);
    EXPECT_EQ((codes{0, 0, 1}), codes_of(ov, "youtube"));
}

TEST(tarvona_diag_overlap_lookups, ScriptUsesAPrivateDirectory) {
    overlap_analysis& ov = fresh();
    fill_test_domains(ov);
    ASSERT_EQ(test_domain_count, ov.nslookup_count);
    char script[lookup_script_capacity];
    ASSERT_TRUE(build_lookup_script(ov, script, sizeof script));
    std::string s = script;
    EXPECT_EQ(std::string::npos, s.find("/tmp/.diag_ns_")) << "fixed temporary names";
    EXPECT_NE(std::string::npos, s.find("mktemp -d"));
    EXPECT_NE(std::string::npos, s.find("rm -rf \"$d\""));
    EXPECT_NE(std::string::npos, s.find("sleep 5"));
    // a domain that would need shell quoting never reaches the script
    copy_text(ov.nslookup[0].domain, "x';reboot;'");
    ASSERT_TRUE(build_lookup_script(ov, script, sizeof script));
    EXPECT_EQ(std::string::npos, std::string(script).find("reboot"));
    // too small a buffer is refused rather than run cut
    EXPECT_FALSE(build_lookup_script(ov, script, 200));
}

TEST(tarvona_diag_overlap_lookups, OutputParsing) {
    overlap_analysis& ov = fresh();
    fill_test_domains(ov);
    std::string out = std::string(test_domains[1]) + " 2a03:2880:f12f:83:face:b00c::25de\n" +
                      test_domains[0] + " 142.250.74.46\n" + test_domains[2] + " \n" +
                      "unknown.example 1.2.3.4\n";
    parse_lookup_output(ov, out.c_str());
    EXPECT_STREQ("142.250.74.46", ov.nslookup[0].ip);
    EXPECT_STREQ("2a03:2880:f12f:83:face:b00c::25de", ov.nslookup[1].ip);
    EXPECT_STREQ("-", ov.nslookup[2].ip);
    EXPECT_STREQ("-", ov.nslookup[3].ip);
    EXPECT_STREQ("-", ov.nslookup[4].ip);
}

} // namespace
} // namespace tarvona_diag
