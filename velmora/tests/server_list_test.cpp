#include "options.h"
#include "server_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace velmora;

namespace {

std::vector<std::string> texts(const server_entries& list) {
    std::vector<std::string> out;
    for (const auto& e : list)
        out.push_back(e.text);
    return out;
}

} // namespace

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
        {"nameserver 2001:db8::53\n", "[2001:db8::53]:53"},
        {"nameserver fe80::1%wan\n", "[fe80::1%wan]:53"},
        {"nameserver ::ffff:192.0.2.8\n", "[::ffff:192.0.2.8]:53"},
        {"nameserver 2001:db8::zz\n", nullptr},
        {"nameserver fe80::1%\n", nullptr}, // zone index without a name
        {"nameserver [2001:db8::1]\n", nullptr},
        {"nameserver 192.0.2.1:5353\n", nullptr}, // an address, not a server text
        {"nameserver resolver.example\n", nullptr},
    };
    for (const auto& r : rows) {
        auto got = fallback_entry_from_line(r.line);
        if (r.want) {
            ASSERT_TRUE(got.has_value()) << r.line;
            EXPECT_EQ(r.want, got->text) << r.line;
            EXPECT_EQ(std::strchr(r.want, '[') ? AF_INET6 : AF_INET, got->where.family()) << r.line;
        } else {
            EXPECT_FALSE(got.has_value()) << r.line << " gave " << got->text;
        }
    }
}

class velmora_fallback_file : public ::testing::Test {
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
        EXPECT_GE(std::fputs(text.c_str(), f), 0);
        ASSERT_EQ(0, std::fclose(f)) << "the file under test was not written whole";
    }
    std::string path_;
};

TEST_F(velmora_fallback_file, FileOrderAndLongLines) {
    // A 300-character comment line is read in pieces; its second piece starts with the word and
    // counts as a line of its own, just as the router's resolver-file reader does.
    std::string long_line = "#" + std::string(254, 'x') + "nameserver 192.0.2.99\n";
    write("# Interface wan\nnameserver 192.0.2.10\nsearch lan\n" + long_line +
          "nameserver 2001:db8::11\nnameserver 192.0.2.10\n");
    std::vector<std::string> want = {"192.0.2.10:53", "192.0.2.99:53", "[2001:db8::11]:53",
                                     "192.0.2.10:53"};
    fallback_servers got = read_fallback_servers(path_.c_str());
    EXPECT_EQ(want, texts(got.entries));
    EXPECT_FALSE(got.more_listed);
    EXPECT_TRUE(read_fallback_servers("/nonexistent/resolv.conf.auto").entries.empty());
}

TEST_F(velmora_fallback_file, AtMost64ServersAreTaken) {
    // A file of thousands of nameserver lines: the first 64 usable ones, the rest not read.
    std::string text = "nameserver not-an-address\n";
    for (int i = 0; i < 3000; i++)
        text +=
            "nameserver 10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + "\n";
    write(text);
    fallback_servers got = read_fallback_servers(path_.c_str());
    ASSERT_EQ(max_fallback_servers, got.entries.size());
    EXPECT_EQ("10.0.0.1:53", got.entries.front().text);
    EXPECT_EQ("10.0.0.64:53", got.entries.back().text);
    EXPECT_TRUE(got.more_listed);

    text.clear();
    for (int i = 0; i < 64; i++)
        text += "nameserver 10.1.0." + std::to_string(i + 1) + "\n";
    write(text + "nameserver bogus\n");
    got = read_fallback_servers(path_.c_str());
    EXPECT_EQ(64u, got.entries.size());
    EXPECT_FALSE(got.more_listed) << "exactly 64 usable lines are all taken";
}

TEST_F(velmora_fallback_file, LoadPutsPrimaryAndSecondaryFirst) {
    g_settings.server1 = "10.0.0.1:5353";
    g_settings.server2 = "10.0.0.1:5353"; // same text twice: both kept
    write("nameserver 192.0.2.20\nnameserver 192.0.2.21\n");
    std::vector<std::string> want = {"10.0.0.1:5353", "10.0.0.1:5353", "192.0.2.20:53",
                                     "192.0.2.21:53"};
    EXPECT_EQ(want, texts(load_servers(path_.c_str())));

    write("nameserver 192.0.2.30\n");
    want = {"10.0.0.1:5353", "10.0.0.1:5353", "192.0.2.30:53"};
    EXPECT_EQ(want, texts(load_servers(path_.c_str())));

    want = {"10.0.0.1:5353", "10.0.0.1:5353"};
    EXPECT_EQ(want, texts(load_servers("/nonexistent/resolv.conf.auto")));
}
