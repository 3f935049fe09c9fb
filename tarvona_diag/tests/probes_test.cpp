// run_command and read_text_file against the host shell and files, and the
// pure deciders behind the service probes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <uci.h>

#include "probes.h"
#include "test_support.h"

using namespace tarvona_diag;

TEST(tarvona_diag_run_command, PieceThatDoesNotFitIsDroppedWhole) {
    char buf[16];
    int n = run_command("printf 'abcdefghijklmnopqrst\\nxy\\n'", buf, sizeof buf);
    EXPECT_EQ(3, n);
    EXPECT_STREQ("xy\n", buf);
}

TEST(tarvona_diag_run_command, StoresAtMostCapacityMinusOne) {
    char buf[8];
    // "123456\n" fills the 7 usable bytes; "ab\n" no longer fits.
    int n = run_command("printf '123456\\nab\\n'", buf, sizeof buf);
    EXPECT_EQ(7, n);
    EXPECT_STREQ("123456\n", buf);
}

TEST(tarvona_diag_run_command, LongLineComesInPiecesOf1023) {
    static char buf[4096];
    // 1500 bytes without a line feed: a 1023-byte piece and a 477-byte piece.
    int n = run_command("head -c 1500 /dev/zero | tr '\\0' x", buf, 1200);
    EXPECT_EQ(1023, n);
    n = run_command("head -c 1500 /dev/zero | tr '\\0' x", buf, sizeof buf);
    EXPECT_EQ(1500, n);
}

TEST(tarvona_diag_run_command, ReadsToTheEndAndIgnoresStatus) {
    char buf[64];
    EXPECT_EQ(8,
              run_command("echo one; echo two >&2; false; echo end 2>/dev/null", buf, sizeof buf));
    EXPECT_STREQ("one\nend\n", buf);
    EXPECT_EQ(0, run_command("true", buf, sizeof buf));
    EXPECT_STREQ("", buf);
}

TEST(tarvona_diag_read_text_file, Cases) {
    char path[] = "/tmp/diag_probe_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(10, write(fd, "0123456789", 10));
    close(fd);

    char buf[6];
    EXPECT_EQ(5, read_text_file(path, buf, sizeof buf));
    EXPECT_STREQ("01234", buf);
    char big[64];
    EXPECT_EQ(10, read_text_file(path, big, sizeof big));
    EXPECT_STREQ("0123456789", big);
    EXPECT_EQ(-1, read_text_file(path, nullptr, 8));
    unlink(path);

    strcpy(big, "stale");
    EXPECT_EQ(-1, read_text_file(path, big, sizeof big));
    EXPECT_STREQ("", big);
    EXPECT_TRUE(file_exists("/tmp"));
    EXPECT_FALSE(file_exists(path));
}

TEST(tarvona_diag_format_timestamp, Shape) {
    char buf[64];
    format_timestamp(buf, sizeof buf);
    ASSERT_EQ(19u, strlen(buf));
    EXPECT_EQ('-', buf[4]);
    EXPECT_EQ(' ', buf[10]);
    EXPECT_EQ(':', buf[13]);
}

TEST(tarvona_diag_service_probe, StatusOutputs) {
    struct {
        const char* out;
        bool running;
    } const cases[] = {
        {"running", true},   {"service is running (pid 12)\n", true},
        {"active", true},    {"active (waiting)\n", true},
        {"inactive", false}, {"stopped\n", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.running, running_from_status_output(c.out)) << c.out;
    EXPECT_FALSE(running_from_status_output(nullptr));
}

TEST(tarvona_diag_service_probe, RunningPidofAndPidText) {
    EXPECT_TRUE(running_from_running_output("yes\n"));
    EXPECT_FALSE(running_from_running_output(""));
    EXPECT_TRUE(running_from_pidof_output("1234 99\n"));
    EXPECT_FALSE(running_from_pidof_output(" 1234"));
    EXPECT_FALSE(running_from_pidof_output(""));

    struct {
        const char* text;
        int pid;
    } const cases[] = {
        {"1234\n", 1234}, {"  77 \n", 77}, {"812 813 814\n", 812}, {"", 0},
        {"abc", 0},       {"-5", 0},       {"99999999999999", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pid, pid_from_text(c.text)) << c.text;
}

// uci_get_option / option_disabled over a package loaded from a temporary
// configuration directory.
TEST(tarvona_diag_uci_option, SingleValuesListsAndEnabled) {
    test::temp_dir dir("diag_uci");
    ASSERT_TRUE(dir.write("pkg",
                          "config strategy 'off'\n\toption enabled '0'\n\tlist hostlist 'a'\n\n"
                          "config strategy 'on'\n\toption enabled '1'\n\toption name 'x'\n\n"
                          "config strategy 'bare'\n\toption enabled ''\n"));

    uci_context* ctx = uci_alloc_context();
    ASSERT_NE(nullptr, ctx);
    uci_set_confdir(ctx, dir.path().c_str());
    uci_package* pkg = nullptr;
    ASSERT_EQ(0, uci_load(ctx, "pkg", &pkg));
    uci_section* off = uci_lookup_section(ctx, pkg, "off");
    uci_section* on = uci_lookup_section(ctx, pkg, "on");
    uci_section* bare = uci_lookup_section(ctx, pkg, "bare");
    ASSERT_TRUE(off && on && bare);

    EXPECT_STREQ("x", uci_get_option(ctx, on, "name"));
    EXPECT_EQ(nullptr, uci_get_option(ctx, off, "hostlist")); // a list
    EXPECT_EQ(nullptr, uci_get_option(ctx, on, "missing"));
    EXPECT_EQ(nullptr, uci_get_option(ctx, nullptr, "name"));
    EXPECT_TRUE(option_disabled(ctx, off));
    EXPECT_FALSE(option_disabled(ctx, on));
    EXPECT_FALSE(option_disabled(ctx, bare));

    uci_free_context(ctx);
}
