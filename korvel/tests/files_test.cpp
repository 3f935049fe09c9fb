// replace_file: a rewritten user file is either the old one or the new one.
#include "files.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

int entries(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.')) n++;
        closedir(d);
    }
    return n;
}

class korvel_replace_file : public ::testing::Test {
  protected:
    test::temp_dir tmp;
    std::string dir = tmp.path();
    std::string file = tmp / "atcommands.user";
};

TEST_F(korvel_replace_file, NewContentModeKeptNoTemporaryLeft) {
    test::write_file(file, "old list\n");
    chmod(file.c_str(), 0640);
    ASSERT_TRUE(replace_file(file.c_str(), "ATI\n", 4));
    EXPECT_EQ("ATI\n", test::read_file(file));
    struct stat st;
    ASSERT_EQ(0, stat(file.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(1, entries(dir));

    std::string fresh = dir + "/new";
    ASSERT_TRUE(replace_file(fresh.c_str(), "", 0));
    EXPECT_EQ("", test::read_file(fresh));
}

TEST_F(korvel_replace_file, LinkKeptAndItsTargetReplaced) {
    std::string target = dir + "/real";
    test::write_file(target, "old\n");
    ASSERT_EQ(0, symlink("real", file.c_str()));
    ASSERT_TRUE(replace_file(file.c_str(), "new\n", 4));
    struct stat st;
    ASSERT_EQ(0, lstat(file.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ("new\n", test::read_file(target));
}

// A write that fails half-way (here: the file size limit, as a full disk
// would) leaves the old file whole and no temporary file behind.
TEST_F(korvel_replace_file, FailedWriteLeavesTheOldFile) {
    test::write_file(file, "user's own list\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    std::string text(200, 'A');
    bool ok = replace_file(file.c_str(), text.data(), text.size());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(ok);
    EXPECT_EQ("user's own list\n", test::read_file(file));
    EXPECT_EQ(1, entries(dir));

    EXPECT_FALSE(replace_file((dir + "/missing-dir/file").c_str(), "x", 1));
}

} // namespace
} // namespace korvel
