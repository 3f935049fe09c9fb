// The job runner against the real shell: time limits (short ones given
// here through the call; the report's own limits are in the code that
// starts its commands), killing the whole process group, output kept,
// jobs under way at once.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "command_runner.h"
#include "probes.h"
#include "test_support.h"

using namespace tarvona_diag;

namespace {

int pid_in(const std::string& path) {
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return 0;
    int pid = 0;
    if (fscanf(f, "%d", &pid) != 1) pid = 0;
    if (fclose(f) != 0) pid = 0;
    return pid;
}

// True once the process no longer runs (gone, or a zombie its new parent
// has not reaped yet). A killed process may still be on its way out: wait
// for that, at most 5 s.
bool ended(int pid) {
    for (int i = 0; i < 500; ++i) {
        char path[64], stat[256] = "";
        snprintf(path, sizeof path, "/proc/%d/stat", pid);
        FILE* f = fopen(path, "r");
        if (!f) return true;
        size_t n = fread(stat, 1, sizeof stat - 1, f);
        if (fclose(f) != 0) n = 0;
        stat[n] = '\0';
        const char* paren = strrchr(stat, ')');
        if (paren && paren[1] == ' ' && paren[2] == 'Z') return true;
        timespec ts{0, 10L * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    return false;
}

} // namespace

TEST(tarvona_diag_command_runner, CommandPastItsLimitIsEndedWithItsChildrenAndItsOutputKept) {
    test::temp_dir d("diag_runner");
    ASSERT_FALSE(d.path().empty());
    // The shell's child holds the output open as well: both must be ended,
    // or the read would never see the end of the output.
    std::string cmd = "sleep 100 & echo $! > " + d.file("child") + "; echo $$ > " +
                      d.file("shell") + "; echo 'first line'; printf 'no line feed'; sleep 100";
    char buf[128];
    EXPECT_EQ(23, run_command(cmd.c_str(), buf, sizeof buf, 200));
    EXPECT_STREQ("first line\nno line feed", buf);
    int shell = pid_in(d.file("shell")), child = pid_in(d.file("child"));
    ASSERT_GT(shell, 0);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(ended(shell));
    EXPECT_TRUE(ended(child));
    EXPECT_EQ(0, jobs_under_way());
}

TEST(tarvona_diag_command_runner, WhatACommandLeavesBehindIsEnded) {
    // The shell ends at once; a background process it started (its output
    // elsewhere) would outlive the report.
    char buf[32];
    ASSERT_GT(run_command("sleep 100 >/dev/null 2>&1 & echo $!", buf, sizeof buf), 0);
    int pid = atoi(buf);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(ended(pid));
}

TEST(tarvona_diag_command_runner, JobsRunAtOnce) {
    test::temp_dir d("diag_runner");
    // The first job waits for a file that only the second one makes: it
    // ends before its limit only when both run at the same time.
    std::string waits = "while [ ! -e " + d.file("go") + " ]; do sleep 0.01; done; echo waited";
    std::string makes = "touch " + d.file("go") + "; echo made";
    char a[32], b[32];
    int ja = start_command(waits.c_str(), a, sizeof a, 20000);
    int jb = start_command(makes.c_str(), b, sizeof b, 20000);
    ASSERT_GE(ja, 0);
    ASSERT_GE(jb, 0);
    EXPECT_EQ(2, jobs_under_way());
    EXPECT_EQ(7, finish_command(ja));
    EXPECT_STREQ("waited\n", a);
    EXPECT_EQ(5, finish_command(jb));
    EXPECT_STREQ("made\n", b);
    EXPECT_EQ(-1, finish_command(jb)) << "a job is finished once";
}

TEST(tarvona_diag_command_runner, ABackgroundJobIsEndedAtItsLimitWhileAnotherIsAwaited) {
    test::temp_dir d("diag_runner");
    // The background job never ends by itself; the awaited one ends only
    // after the background job's process is gone.
    std::string hangs = "echo $$ > " + d.file("pid") + "; echo started; exec sleep 100";
    std::string watches = "f=" + d.file("pid") + "; while [ ! -s $f ]; do sleep 0.01; done;" +
                          " while kill -0 $(cat $f) 2>/dev/null; do sleep 0.01; done; echo seen";
    char a[32], b[32];
    int ja = start_command(hangs.c_str(), a, sizeof a, 300);
    int jb = start_command(watches.c_str(), b, sizeof b, 20000);
    ASSERT_GE(ja, 0);
    ASSERT_GE(jb, 0);
    EXPECT_EQ(5, finish_command(jb));
    EXPECT_STREQ("seen\n", b);
    EXPECT_EQ(8, finish_command(ja));
    EXPECT_STREQ("started\n", a);
}

TEST(tarvona_diag_command_runner, ReadsLikeALineReader) {
    struct {
        const char* cmd;
        size_t cap;
        const char* out;
    } const cases[] = {
        // a NUL byte ends its piece: the rest of that line is lost
        {"printf 'ab\\000cd\\nef\\n'", 64, "abef\n"},
        // standard input is /dev/null, not the caller's
        {"cat; echo done", 64, "done\n"},
        // the last piece without a line feed counts
        {"printf 'x\\ny'", 64, "x\ny"},
        {"printf '12345678901\\nab'", 12, "ab"},
    };
    for (const auto& c : cases) {
        char buf[64];
        run_command(c.cmd, buf, c.cap);
        EXPECT_STREQ(c.out, buf) << c.cmd;
    }
}

TEST(tarvona_diag_command_runner, TableOfJobsHasAnEnd) {
    char bufs[max_jobs + 1][8];
    int ids[max_jobs];
    for (int i = 0; i < max_jobs; ++i) {
        ids[i] = start_command("echo x", bufs[i], sizeof bufs[i], 20000);
        ASSERT_GE(ids[i], 0);
    }
    strcpy(bufs[max_jobs], "stale");
    EXPECT_EQ(-1, start_command("echo x", bufs[max_jobs], sizeof bufs[max_jobs], 20000));
    EXPECT_STREQ("", bufs[max_jobs]);
    for (int i = 0; i < max_jobs; ++i) {
        EXPECT_EQ(2, finish_command(ids[i]));
        EXPECT_STREQ("x\n", bufs[i]);
    }
    EXPECT_EQ(-1, finish_command(-1));
    EXPECT_EQ(-1, finish_command(max_jobs));
    EXPECT_EQ(0, jobs_under_way());
}
