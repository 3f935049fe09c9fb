// The line filter of uci_revert: which lines of a change file stay.
#include "change.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* change_file = "net.lan=interface\n"
                                    "+net.lan.proto=static\n"
                                    "-net.lan.ipaddr\n"
                                    "@net.lan=lan2\n"
                                    "net.wan.proto='pppoe dsl'\n"
                                    "fw.lan.input=ACCEPT\n"
                                    "network.lan.proto=dhcp\n";

TEST(uci_revert_filter, TableOfTargets) {
    struct {
        const char* what;
        const char* text;
        const char* section;
        const char* option;
        const char* kept;
    } cases[] = {
        {"whole package: other packages stay, a longer name is another package", change_file, "",
         "", "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"one section: its type, options and rename go", change_file, "lan", "",
         "net.wan.proto='pppoe dsl'\nfw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"one option: the section's other lines stay", change_file, "lan", "proto",
         "net.lan=interface\n-net.lan.ipaddr\n@net.lan=lan2\nnet.wan.proto='pppoe dsl'\n"
         "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"removal of one option", change_file, "lan", "ipaddr",
         "net.lan=interface\n+net.lan.proto=static\n@net.lan=lan2\nnet.wan.proto='pppoe dsl'\n"
         "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"quoted value, kept as written", change_file, "lan", "",
         "net.wan.proto='pppoe dsl'\nfw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"target without changes keeps everything", change_file, "guest", "", change_file},
        {"empty lines go, a last line gets its newline", "\n\nnet.wan=interface\n\nnet.lan=x",
         "lan", "", "net.wan=interface\n"},
        {"empty file", "", "", "", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.kept, uci_host::revert_kept_lines(c.text, "net", c.section, c.option))
            << c.what;
}

} // namespace
