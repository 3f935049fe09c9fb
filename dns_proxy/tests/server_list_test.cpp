#include "options.h"
#include "server_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace velmora;

TEST(velmora_fallback, WhichLinesGiveAnEntry) {
    struct row {
        const char* line;
        const char* want; // nullptr: no entry
    };
    const row rows[] = {
        {"nameserver 192.0.2.1\n", "192.0.2.1:53"},
        {"nameserver\t192.0.2.2  # wan\n", "192.0.2.2:53"},
        {"nameserver192.0.2.3\n", "192.0.2.3:53"}, // no blank needed after the word
        {"nameserver 192.0.2.4", "192.0.2.4:53"},  // last line without a newline
        {"  nameserver 192.0.2.5\n", nullptr},     // indented
        {"# nameserver 192.0.2.6\n", nullptr},
        {"search lan\n", nullptr},
        {"Nameserver 192.0.2.7\n", nullptr},
        {"nameserver\n", nullptr},
        {"nameserver   \t\n", nullptr},
        {"nameserver 2001:db8::1\n", nullptr}, // IPv6: not reachable over IPv4
        {"nameserver resolver.example\n", nullptr},
    };
    for (const auto& r : rows) {
        auto got = fallback_entry_from_line(r.line);
        if (r.want) {
            ASSERT_TRUE(got.has_value()) << r.line;
            EXPECT_EQ(r.want, *got) << r.line;
        } else {
            EXPECT_FALSE(got.has_value()) << r.line << " gave " << got.value_or("");
        }
    }
}

class velmora_fallbackfile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velmora-resolv.XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = tmpl;
    }
    void TearDown() override { unlink(path_.c_str()); }
    void write(const std::string& text) {
        FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(nullptr, f);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    std::string path_;
};

TEST_F(velmora_fallbackfile, FileOrderAndLongLines) {
    // A 300-character comment line is read in pieces; its second piece starts with the word and
    // counts as a line of its own, just as the router's resolver-file reader does.
    std::string long_line = "#" + std::string(254, 'x') + "nameserver 192.0.2.99\n";
    write("# Interface wan\nnameserver 192.0.2.10\nsearch lan\n" + long_line +
          "nameserver 192.0.2.11\nnameserver 192.0.2.10\n");
    std::vector<std::string> want = {"192.0.2.10:53", "192.0.2.99:53", "192.0.2.11:53",
                                     "192.0.2.10:53"};
    EXPECT_EQ(want, read_fallback_servers(path_.c_str()));
    EXPECT_TRUE(read_fallback_servers("/nonexistent/resolv.conf.auto").empty());
}

TEST_F(velmora_fallbackfile, ReloadPutsPrimaryAndSecondaryFirst) {
    g_settings.server1 = "10.0.0.1:5353";
    g_settings.server2 = "10.0.0.1:5353"; // same text twice: both kept
    write("nameserver 192.0.2.20\nnameserver 192.0.2.21\n");
    reload_servers(path_.c_str());
    std::vector<std::string> want = {"10.0.0.1:5353", "10.0.0.1:5353", "192.0.2.20:53",
                                     "192.0.2.21:53"};
    EXPECT_EQ(want, *snapshot_servers());

    auto held = snapshot_servers(); // a request running across the reload keeps its list
    write("nameserver 192.0.2.30\n");
    reload_servers(path_.c_str());
    EXPECT_EQ(4u, held->size());
    want = {"10.0.0.1:5353", "10.0.0.1:5353", "192.0.2.30:53"};
    EXPECT_EQ(want, *snapshot_servers());

    reload_servers("/nonexistent/resolv.conf.auto");
    want = {"10.0.0.1:5353", "10.0.0.1:5353"};
    EXPECT_EQ(want, *snapshot_servers());
}
