// The UCI side of the overlap analysis over small packages in a private
// configuration directory: the list sections of a proxy router and the
// zapret/zapret2 scans.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "overlap_collect.h"
#include "test_support.h"

namespace tarvona_diag {
namespace {

class tarvona_diag_overlap_collect : public test::uci_confdir_test {};

TEST_F(tarvona_diag_overlap_collect, ListSectionsOfAProxyRouter) {
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "config section 's" + std::to_string(i) + "'\n\tlist community_lists 'l" +
                std::to_string(i) + "'\n";
    write("many", text.c_str());
    write("podkop", "config settings 'settings'\n\tlist community_lists 'ignored'\n"
                    "config section 'main'\n\toption connection_type 'proxy'\n"
                    "\tlist community_lists 'youtube'\n\tlist community_lists 'news'\n"
                    "config section 'nolists'\n\toption connection_type 'vpn'\n"
                    "config section 'single'\n\toption community_lists 'youtube'\n"
                    "config section\n\toption interface 'wg0'\n\tlist community_lists 'meta'\n");

    list_section table[max_list_sections];
    ASSERT_EQ(2, load_list_sections("podkop", table, dir()));
    EXPECT_STREQ("main", table[0].name);
    EXPECT_STREQ("proxy", table[0].type);
    EXPECT_STREQ("", table[0].interface);
    ASSERT_EQ(2, table[0].list_count);
    EXPECT_STREQ("news", table[0].lists[1]);
    EXPECT_STREQ("", table[1].type);
    EXPECT_STREQ("wg0", table[1].interface);
    EXPECT_STREQ("meta", table[1].lists[0]);

    EXPECT_EQ(max_list_sections, load_list_sections("many", table, dir()));
    EXPECT_EQ(0, load_list_sections("absent", table, dir()));
}

TEST_F(tarvona_diag_overlap_collect, ZapretConfigScans) {
    static overlap_analysis ov;
    auto reset = [] {
        memset(&ov, 0, sizeof ov);
        list_section& s = ov.podkop_sections[0];
        copy_text(s.name, "main");
        copy_text(s.lists[0], "youtube");
        copy_text(s.lists[1], "news");
        s.list_count = 2;
        ov.podkop_section_count = 1;
    };
    reset();
    write("zapret",
          "config main 'config'\n\toption NFQWS_ENABLE '0'\n\toption NFQWS_OPT '--new'\n");
    scan_zapret_config(ov, dir());
    EXPECT_EQ(0, ov.conflict_count) << "NFQWS_ENABLE 0 marks nothing";

    reset();
    write("zapret",
          "config other\n\toption NFQWS_OPT '--filter-tcp=80'\n"
          "config main 'config'\n\toption NFQWS_OPT '\n--hostlist=/o/zapret-hosts-youtube.txt\n'\n"
          "config main 'second'\n\toption NFQWS_OPT '--filter-tcp=443'\n");
    scan_zapret_config(ov, dir());
    ASSERT_EQ(1, ov.conflict_count) << "only the first main section counts";
    EXPECT_EQ(1, ov.conflicts[0].zapret);

    reset();
    write("zapret2", "config strategy 'a'\n\tlist hostlist 'list_hosts_youtube'\n"
                     "config strategy 'b'\n\toption enabled '0'\n"
                     "config strategy 'c'\n\toption hostlist 'list_hosts_discord'\n");
    scan_zapret2_config(ov, dir());
    ASSERT_EQ(2, ov.conflict_count);
    EXPECT_STREQ("youtube", ov.conflicts[0].list);
    EXPECT_EQ(1, ov.conflicts[0].zapret2);
    EXPECT_STREQ("discord", ov.conflicts[1].list);

    reset();
    write("zapret2", "config strategy 'all'\n\toption enabled '1'\n");
    scan_zapret2_config(ov, dir());
    ASSERT_EQ(2, ov.conflict_count);
    EXPECT_EQ(2, ov.conflicts[0].zapret2);
    EXPECT_EQ(2, ov.conflicts[1].zapret2);
}

} // namespace
} // namespace tarvona_diag
