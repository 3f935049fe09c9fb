#include "daemon_probe.h"
#include "handles.h"
#include "test_support.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zapret2_ctl {
namespace {

using test::log_capture;
using test::temp_dir;
using test::write_file;

// A PID that belonged to a process which has ended and been reaped.
int dead_pid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status;
    waitpid(pid, &status, 0);
    return pid;
}

// A child that stays alive until the object is destroyed.
class live_child {
  public:
    live_child() {
        pid_ = fork();
        if (pid_ == 0) {
            pause();
            _exit(0);
        }
    }
    ~live_child() {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
    }
    int pid() const { return pid_; }

  private:
    pid_t pid_;
};

std::string pid_text(int pid) {
    return std::to_string(pid) + "\n";
}

TEST(zapret2_ctl_daemon_probe, OnlyLivePositivePidsInPrefixedFilesCount) {
    temp_dir dir;
    live_child daemon;
    write_file(dir / "nfqws2_live.pid", pid_text(daemon.pid()));
    write_file(dir / "nfqws2_dead.pid", pid_text(dead_pid()));
    write_file(dir / "nfqws2_zero.pid", "0\n");
    write_file(dir / "nfqws2_negative.pid", "-5\n");
    write_file(dir / "nfqws2_garbage.pid", "running\n");
    write_file(dir / "nfqws2_empty.pid", "");
    write_file(dir / "nfqws2_wraps_to_1.pid", "4294967297\n"); // 2^32 + 1
    write_file(dir / "nfqws2_huge.pid", "99999999999999999999999\n");
    write_file(dir / "other_live.pid", pid_text(daemon.pid()));
    write_file(dir / "nfqws.pid", pid_text(daemon.pid()));
    ::mkdir((dir / "nfqws2_dir").c_str(), 0755);
    log_capture cap;
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 1);
    EXPECT_EQ(daemon_first_pid_in(dir.path().c_str()), daemon.pid());
    EXPECT_EQ(cap.text(), "");
}

TEST(zapret2_ctl_daemon_probe, NoSuffixNeededAndSamePidCountsTwice) {
    temp_dir dir;
    live_child daemon;
    write_file(dir / "nfqws2_", pid_text(daemon.pid()));
    write_file(dir / "nfqws2_1.pid", pid_text(daemon.pid()));
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 2);
}

// Live processes that are not the daemon, and files that are not PID files
// although they name a live daemon: init, the program itself, a file longer
// than a PID file, a device. A link to a PID file is read like the file.
TEST(zapret2_ctl_daemon_probe, InitSelfAndOddFilesNeverCount) {
    temp_dir dir;
    live_child daemon;
    write_file(dir / "nfqws2_init.pid", "1\n");
    write_file(dir / "nfqws2_self.pid", pid_text(getpid()));
    write_file(dir / "nfqws2_long.pid", pid_text(daemon.pid()) + std::string(100, ' '));
    ASSERT_EQ(::symlink("/dev/zero", (dir / "nfqws2_device.pid").c_str()), 0);
    write_file(dir / "real.pid", pid_text(daemon.pid()));
    ASSERT_EQ(::symlink((dir / "real.pid").c_str(), (dir / "nfqws2_link.pid").c_str()), 0);
    log_capture cap;
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 1);
    EXPECT_EQ(daemon_first_pid_in(dir.path().c_str()), daemon.pid());
    EXPECT_EQ(cap.text(), "");
}

TEST(zapret2_ctl_daemon_probe, FirstPidFollowsDirectoryOrder) {
    temp_dir dir;
    live_child a, b;
    write_file(dir / "nfqws2_a.pid", pid_text(a.pid()));
    write_file(dir / "nfqws2_b.pid", pid_text(b.pid()));
    // Whatever order the file system lists the two files in decides.
    int expected = 0;
    unique_dir d(opendir(dir.path().c_str()));
    ASSERT_TRUE(d);
    while (dirent* e = readdir(d.get())) {
        std::string name = e->d_name;
        if (name == "nfqws2_a.pid") {
            expected = a.pid();
            break;
        }
        if (name == "nfqws2_b.pid") {
            expected = b.pid();
            break;
        }
    }
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 2);
    EXPECT_EQ(daemon_first_pid_in(dir.path().c_str()), expected);
}

TEST(zapret2_ctl_daemon_probe, NoPidsAtAll) {
    temp_dir dir;
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 0);
    EXPECT_EQ(daemon_first_pid_in(dir.path().c_str()), 0);
}

TEST(zapret2_ctl_daemon_probe, MissingDirectoryIsQuietOtherFailuresWarn) {
    temp_dir dir;
    {
        log_capture cap;
        EXPECT_EQ(daemon_count_in((dir / "absent").c_str()), 0);
        EXPECT_EQ(cap.text(), "");
    }
    write_file(dir / "file", "");
    {
        log_capture cap;
        EXPECT_EQ(daemon_count_in((dir / "file").c_str()), 0);
        EXPECT_NE(cap.text().find("[WARN] Failed to open PID directory " + (dir / "file") +
                                  ": Not a directory\n"),
                  std::string::npos)
            << cap.text();
    }
}

// A process the controller may not signal (here: as an unprivileged user,
// a root-owned process) does not count.
TEST(zapret2_ctl_daemon_probe, UnsignalablePidDoesNotCount) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    temp_dir dir;
    live_child daemon; // root-owned
    ::chmod(dir.path().c_str(), 0755);
    write_file(dir / "nfqws2_root.pid", pid_text(daemon.pid()));
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        _exit(daemon_count_in(dir.path().c_str()));
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The same file counts for a caller that may signal the process.
    EXPECT_EQ(daemon_count_in(dir.path().c_str()), 1);
}

} // namespace
} // namespace zapret2_ctl
