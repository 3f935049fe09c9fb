// replace_file: a rewritten user file is either the old one or the new one.
#include "files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

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
    void SetUp() override {
        char tmpl[] = "/tmp/korvel-files.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir = tmpl;
        file = dir + "/atcommands.user";
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string dir, file;
};

TEST_F(korvel_replace_file, NewContentModeKeptNoTemporaryLeft) {
    std::ofstream(file) << "old list\n";
    chmod(file.c_str(), 0640);
    ASSERT_TRUE(replace_file(file.c_str(), "ATI\n", 4));
    EXPECT_EQ("ATI\n", slurp(file));
    struct stat st;
    ASSERT_EQ(0, stat(file.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(1, entries(dir));

    std::string fresh = dir + "/new";
    ASSERT_TRUE(replace_file(fresh.c_str(), "", 0));
    EXPECT_EQ("", slurp(fresh));
}

TEST_F(korvel_replace_file, LinkKeptAndItsTargetReplaced) {
    std::string target = dir + "/real";
    std::ofstream(target) << "old\n";
    ASSERT_EQ(0, symlink("real", file.c_str()));
    ASSERT_TRUE(replace_file(file.c_str(), "new\n", 4));
    struct stat st;
    ASSERT_EQ(0, lstat(file.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ("new\n", slurp(target));
}

// A write that fails half-way (here: the file size limit, as a full disk
// would) leaves the old file whole and no temporary file behind.
TEST_F(korvel_replace_file, FailedWriteLeavesTheOldFile) {
    std::ofstream(file) << "user's own list\n";
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
    EXPECT_EQ("user's own list\n", slurp(file));
    EXPECT_EQ(1, entries(dir));

    EXPECT_FALSE(replace_file((dir + "/missing-dir/file").c_str(), "x", 1));
}

} // namespace
} // namespace korvel
