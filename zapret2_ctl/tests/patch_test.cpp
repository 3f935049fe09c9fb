#include "patch.h"
#include "test_support.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zapret2_ctl {
namespace {

using test::log_capture;
using test::read_file;
using test::temp_dir;
using test::write_file;
namespace fs = std::filesystem;

const unsigned char new_a[] = {'n', 'e', 'w', ' ', 'a', '\n'};
const unsigned char new_b[] = {'#', '!', '/', 'b', '\0', 'x'}; // bytes, NUL included

bool exists(const std::string& p) {
    return fs::exists(fs::symlink_status(p));
}

// Names in dir other than the targets and their backups (temporary files).
std::string leftovers(const std::string& dir) {
    std::string out;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string name = e.path().filename();
        if (name != "custom.sh" && name != "zapret2" && name != "custom.sh.orig" &&
            name != "zapret2.orig")
            out += name + " ";
    }
    return out;
}

unsigned mode_of(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Two targets in a temporary directory holding the "service's" texts.
struct fixture {
    temp_dir dir;
    std::string a = dir / "custom.sh";
    std::string b = dir / "zapret2";
    patch_entry table[2] = {
        {a.c_str(), new_a, sizeof new_a, 1},
        {b.c_str(), new_b, sizeof new_b, 1},
    };
    fixture() {
        write_file(a, "service a\n");
        write_file(b, "service b\n");
        ::chmod(a.c_str(), 0700);
    }
    std::string content(const unsigned char* p, std::size_t n) {
        return std::string(reinterpret_cast<const char*>(p), n);
    }
};

TEST(zapret2_ctl_patch, ApplyKeepsServiceTextAsBackupAndInstallsEmbeddedText) {
    fixture f;
    log_capture cap;
    EXPECT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_EQ(read_file(f.a), f.content(new_a, sizeof new_a));
    EXPECT_EQ(read_file(f.b), f.content(new_b, sizeof new_b));
    EXPECT_EQ(read_file(f.a + ".orig"), "service a\n");
    EXPECT_EQ(read_file(f.b + ".orig"), "service b\n");
    EXPECT_EQ(mode_of(f.a), 0755u);
    EXPECT_EQ(mode_of(f.a + ".orig"), 0700u);
    EXPECT_EQ(leftovers(f.dir.path()), "") << "no temporary file left";
    EXPECT_NE(cap.text().find("[INFO] patches: applied " + f.a + "\n"), std::string::npos);
    EXPECT_NE(cap.text().find("[INFO] patches: applied " + f.b + "\n"), std::string::npos);
}

TEST(zapret2_ctl_patch, SecondApplyRewritesTargetAndKeepsFirstBackup) {
    fixture f;
    ASSERT_EQ(patch_apply(f.table, 2), 0);
    write_file(f.a, "edited by hand\n");
    EXPECT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_EQ(read_file(f.a), f.content(new_a, sizeof new_a));
    EXPECT_EQ(read_file(f.a + ".orig"), "service a\n");
    EXPECT_EQ(read_file(f.b + ".orig"), "service b\n");
}

TEST(zapret2_ctl_patch, RevertRestoresServiceTextsAndRemovesBackups) {
    fixture f;
    ASSERT_EQ(patch_apply(f.table, 2), 0);
    {
        log_capture cap;
        EXPECT_EQ(patch_revert(f.table, 2), 0);
        EXPECT_NE(cap.text().find("[INFO] patches: reverted " + f.a + "\n"), std::string::npos);
    }
    EXPECT_EQ(read_file(f.a), "service a\n");
    EXPECT_EQ(read_file(f.b), "service b\n");
    EXPECT_EQ(mode_of(f.a), 0700u);
    EXPECT_FALSE(exists(f.a + ".orig"));
    EXPECT_FALSE(exists(f.b + ".orig"));
    log_capture cap;
    EXPECT_EQ(patch_revert(f.table, 2), 0) << "nothing to do";
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(read_file(f.a), "service a\n");
}

TEST(zapret2_ctl_patch, MissingTargetIsSkippedWithoutFailing) {
    fixture f;
    fs::remove(f.a);
    log_capture cap;
    EXPECT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_NE(cap.text().find("[WARN] patches: target missing, skipping: " + f.a + "\n"),
              std::string::npos);
    EXPECT_FALSE(exists(f.a));
    EXPECT_FALSE(exists(f.a + ".orig"));
    EXPECT_EQ(read_file(f.b), f.content(new_b, sizeof new_b));
}

TEST(zapret2_ctl_patch, MissingTargetWithBackupIsRecreated) {
    fixture f;
    ASSERT_EQ(patch_apply(f.table, 2), 0);
    fs::remove(f.a);
    EXPECT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_EQ(read_file(f.a), f.content(new_a, sizeof new_a));
    EXPECT_EQ(read_file(f.a + ".orig"), "service a\n");
}

TEST(zapret2_ctl_patch, NonExecutableEntryGets0644) {
    fixture f;
    f.table[1].executable = 0;
    ASSERT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_EQ(mode_of(f.a), 0755u);
    EXPECT_EQ(mode_of(f.b), 0644u);
}

// A write that fails part way (here at a file size limit of 4 bytes, after a
// short write): the target keeps the service's text, the temporary file is
// gone, the walk goes on, and a later revert or apply works.
TEST(zapret2_ctl_patch, FailedWriteLeavesTargetInPlace) {
    fixture f;
    const unsigned char short_b[] = {'o', 'k', '\n'};
    f.table[1].content = short_b;
    f.table[1].length = sizeof short_b;
    {
        log_capture cap;
        rlimit old_limit;
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        rlimit small = old_limit;
        small.rlim_cur = 4;
        auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        int rc = patch_apply(f.table, 2);
        ::setrlimit(RLIMIT_FSIZE, &old_limit);
        ::signal(SIGXFSZ, old_handler);
        EXPECT_EQ(rc, 1);
        std::string log = cap.text();
        std::string tmp_prefix = f.dir / ".custom.sh.";
        EXPECT_NE(log.find("[ERROR] patches: write " + tmp_prefix), std::string::npos) << log;
        EXPECT_NE(log.find(" failed: File too large\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("applied " + f.a), std::string::npos) << log;
    }
    EXPECT_EQ(read_file(f.a), "service a\n");
    EXPECT_EQ(mode_of(f.a), 0700u);
    EXPECT_EQ(leftovers(f.dir.path()), "") << "no temporary file left";
    EXPECT_EQ(read_file(f.b), "ok\n") << "second target still patched";

    EXPECT_EQ(patch_revert(f.table, 2), 0);
    EXPECT_EQ(read_file(f.a), "service a\n");
    EXPECT_EQ(read_file(f.b), "service b\n");
    EXPECT_FALSE(exists(f.a + ".orig"));
    EXPECT_FALSE(exists(f.b + ".orig"));

    EXPECT_EQ(mode_of(f.a), 0700u);
    EXPECT_EQ(patch_apply(f.table, 2), 0);
    EXPECT_EQ(read_file(f.a), f.content(new_a, sizeof new_a));
    EXPECT_EQ(read_file(f.a + ".orig"), "service a\n");
    EXPECT_EQ(mode_of(f.a + ".orig"), 0700u);
}

// The temporary file has a name of its own per run: whatever lies at the
// old fixed name "<target>.tmp", or at a name a killed run left, stays.
TEST(zapret2_ctl_patch, TemporaryNameIsNeverShared) {
    fixture f;
    fs::create_directory(f.a + ".tmp");
    std::string stale = f.dir / (".custom.sh." + std::to_string(::getpid()) + "-0");
    write_file(stale, "left by a killed run");
    log_capture cap;
    EXPECT_EQ(patch_apply(f.table, 2), 0) << cap.text();
    EXPECT_EQ(read_file(f.a), f.content(new_a, sizeof new_a));
    EXPECT_EQ(read_file(stale), "left by a killed run");
    EXPECT_TRUE(fs::is_directory(f.a + ".tmp"));
}

TEST(zapret2_ctl_patch, PathTooLongFailsThatEntryOnly) {
    fixture f;
    std::string long_target = f.dir.path() + "/" + std::string(510 - f.dir.path().size(), 'x');
    ASSERT_EQ(long_target.size(), 511u); // fits alone, not with ".orig"
    f.table[0].target = long_target.c_str();
    {
        log_capture cap;
        EXPECT_EQ(patch_apply(f.table, 2), 1);
        EXPECT_NE(cap.text().find("[ERROR] patches: path too long: " + long_target + "\n"),
                  std::string::npos);
        EXPECT_EQ(read_file(f.b), f.content(new_b, sizeof new_b));
    }
    log_capture cap;
    EXPECT_EQ(patch_revert(f.table, 2), 1);
    EXPECT_NE(cap.text().find("[ERROR] patches: path too long: "), std::string::npos);
    EXPECT_EQ(read_file(f.b), "service b\n");
}

TEST(zapret2_ctl_patch, RestoreFailureIsReported) {
    fixture f;
    ASSERT_EQ(patch_apply(f.table, 2), 0);
    // A non-empty directory at the target cannot be replaced by a rename.
    fs::remove(f.a);
    fs::create_directory(f.a);
    write_file(f.a + "/keep", "x");
    log_capture cap;
    EXPECT_EQ(patch_revert(f.table, 2), 1);
    EXPECT_NE(cap.text().find("[ERROR] patches: restore " + f.a + ".orig -> " + f.a + " failed: "),
              std::string::npos)
        << cap.text();
    EXPECT_EQ(read_file(f.b), "service b\n");
}

} // namespace
} // namespace zapret2_ctl
