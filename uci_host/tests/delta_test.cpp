// Change files: the lines each operation writes, which lines a load applies,
// the order of the change directories, and commit's handling of them.
#include "test_support.h"

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/resource.h>

using namespace uci_host::test;

namespace {

int op(uci_context* ctx, const char* what, const std::string& path) {
    uci_ptr ptr{};
    std::string buf;
    int rc = lookup(ctx, ptr, buf, path);
    if (rc != UCI_OK) return rc;
    if (!std::strcmp(what, "set")) return uci_set(ctx, &ptr);
    if (!std::strcmp(what, "add_list")) return uci_add_list(ctx, &ptr);
    if (!std::strcmp(what, "del_list")) return uci_del_list(ctx, &ptr);
    if (!std::strcmp(what, "delete")) return uci_delete(ctx, &ptr);
    if (!std::strcmp(what, "rename")) return uci_rename(ctx, &ptr);
    return -1;
}

TEST(uci_delta, LinesWrittenForEachOperation) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\tlist l x\n\tlist l y\n\toption o 1\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.k=v'q"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.named=t"), UCI_OK);
    uci_section* added = nullptr;
    EXPECT_EQ(uci_add_section(ctx.get(), p, "b", &added), UCI_OK);
    EXPECT_STREQ(added->e.name, "cfg03b607");
    EXPECT_EQ(op(ctx.get(), "add_list", "d.s.l=z"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "del_list", "d.s.l=x"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "delete", "d.s.l=0"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "delete", "d.s.o"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "rename", "d.named=n2"), UCI_OK);
    EXPECT_EQ(uci_reorder_section(ctx.get(), uci_lookup_section(ctx.get(), p, "n2"), 0), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "delete", "d.@b[0]"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_EQ(slurp(dir.save_file("d")), "d.s.k='v'\\''q'\n"
                                         "d.named='t'\n"
                                         "+d.cfg03b607='b'\n"
                                         "|d.s.l='z'\n"
                                         "~d.s.l='x'\n"
                                         "-d.s.l='0'\n"
                                         "-d.s.o\n"
                                         "@d.named='n2'\n"
                                         "^d.n2='0'\n"
                                         "-d.cfg03b607\n");
    // A second save appends only what is new.
    EXPECT_EQ(op(ctx.get(), "set", "d.s.k=w"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_NE(slurp(dir.save_file("d")).find("-d.cfg03b607\nd.s.k='w'\n"), std::string::npos);

    context_ptr again = dir.context();
    uci_package* q = nullptr;
    ASSERT_EQ(uci_load(again.get(), "d", &q), UCI_OK);
    EXPECT_EQ(dump(q), "n2=t\ns=a\ns.l=['z']\ns.k='w'\n");
}

TEST(uci_delta, ChangesThatChangeNothingRecordNothing) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 1\n\tlist l x\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s=a"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "del_list", "d.s.o=1"), UCI_OK) << "a string option";
    EXPECT_EQ(op(ctx.get(), "del_list", "d.s.none=1"), UCI_OK) << "a missing option";
    EXPECT_EQ(op(ctx.get(), "set", "d.s.none="), UCI_OK) << "empty value, nothing to delete";
    EXPECT_TRUE(uci_list_empty(&p->delta));
    EXPECT_EQ(op(ctx.get(), "del_list", "d.s.l=nomatch"), UCI_OK);
    EXPECT_FALSE(uci_list_empty(&p->delta)) << "a list records the removal even without match";
    EXPECT_EQ(dump(p), "s=a\ns.o='1'\ns.l=['x']\n");
}

TEST(uci_delta, LoadAppliesGoodLinesAndSkipsTheRest) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 1\n\tlist l x\n\tlist l y\n");
    ::mkdir(dir.save().c_str(), 0700);
    put(dir.save_file("d"), "other.s.o='2'\n"   // another package
                            "d.@a[0].o='3'\n"   // @ syntax
                            "d.s.o\n"           // no value
                            "@d.s='bad-name'\n" // rename to a bad name
                            "^d.s.o='0'\n"      // reorder of an option
                            "d.nosuch.o='1'\n"  // option of a missing section
                            "garbage\n"         // not a path
                            "d.s.p='a b'  trailing words\n"
                            "+d.cfg09b607='b'\n"
                            "d.cfg09b607.v='multi\nline'\n"
                            "|d.s.l='z'\n"
                            "-d.s.l='0'\n"
                            "d.s.o='4'\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(dump(p), "s=a\ns.o='4'\ns.l=['y','z']\ns.p='a b'\n"
                       "cfg09b607=b anon\ncfg09b607.v='multi\nline'\n");
    EXPECT_EQ(list_count_of(&p->saved_delta), 6u);
    EXPECT_TRUE(uci_list_empty(&p->delta));
}

TEST(uci_delta, SavedChangesKeptInMemoryOnlyWithTheFlag) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    ::mkdir(dir.save().c_str(), 0700);
    put(dir.save_file("d"), "d.s.o='1'\n");
    context_ptr ctx = dir.context();
    ctx->flags = static_cast<uci_flags>(ctx->flags & ~UCI_FLAG_SAVED_DELTA);
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(dump(p), "s=a\ns.o='1'\n");
    EXPECT_TRUE(uci_list_empty(&p->saved_delta));
}

// Extra change directories come first, the save directory last, so its
// changes win; every one of them is read at load.
TEST(uci_delta, DirectoriesApplyInOrder) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    std::string extra = dir.conf() + "/../extra";
    ::mkdir(extra.c_str(), 0700);
    ::mkdir(dir.save().c_str(), 0700);
    put(extra + "/d", "d.s.o='extra'\nd.s.e='1'\n");
    put(dir.save_file("d"), "d.s.o='saved'\n");
    context_ptr ctx(uci_alloc_context());
    ASSERT_EQ(uci_set_confdir(ctx.get(), dir.conf().c_str()), UCI_OK);
    ASSERT_EQ(uci_add_delta_path(ctx.get(), extra.c_str()), UCI_OK);
    EXPECT_EQ(uci_add_delta_path(ctx.get(), extra.c_str()), UCI_ERR_DUPLICATE);
    ASSERT_EQ(uci_set_savedir(ctx.get(), dir.save().c_str()), UCI_OK);
    // The default directory stays on the path.
    std::string paths;
    uci_element* e;
    uci_foreach_element(&ctx->delta_path, e) paths += std::string(e->name) + ";";
    EXPECT_EQ(paths, std::string(UCI_SAVEDIR) + ";" + extra + ";" + dir.save() + ";");

    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(dump(p), "s=a\ns.o='saved'\ns.e='1'\n");
    ASSERT_EQ(uci_commit(ctx.get(), &p, false), UCI_OK);
    EXPECT_EQ(slurp(dir.save_file("d")), "") << "the save directory's file is emptied";
    EXPECT_NE(slurp(extra + "/d"), "") << "other directories are left alone";
}

TEST(uci_delta, SaveFileTakesTheConfigFileMode) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    ::chmod(dir.conf_file("d").c_str(), 0640);
    context_ptr ctx = dir.context();
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), uci_lookup_package(ctx.get(), "d")), UCI_OK);
    struct stat st;
    ASSERT_EQ(::stat(dir.save_file("d").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(uci_delta, SaveIntoAnUnreachableDirectoryFails) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    context_ptr ctx = dir.context();
    std::string deep = dir.save() + "/x/y";
    ASSERT_EQ(uci_set_savedir(ctx.get(), deep.c_str()), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    uci_package* p = uci_lookup_package(ctx.get(), "d");
    EXPECT_EQ(uci_save(ctx.get(), p), UCI_ERR_IO) << "one mkdir, not a recursive one";
    EXPECT_FALSE(uci_list_empty(&p->delta)) << "the changes stay pending";
}

// Two processes edit the same package; each commit keeps what the other
// saved, because commit reads the file and every change file again.
TEST(uci_delta, CommitKeepsChangesSavedByOthers) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 0\n");
    context_ptr one = dir.context();
    context_ptr two = dir.context();
    uci_package *p1 = nullptr, *p2 = nullptr;
    ASSERT_EQ(uci_load(one.get(), "d", &p1), UCI_OK);
    ASSERT_EQ(uci_load(two.get(), "d", &p2), UCI_OK);
    EXPECT_EQ(op(one.get(), "set", "d.s.a=1"), UCI_OK);
    ASSERT_EQ(uci_save(one.get(), p1), UCI_OK);
    EXPECT_EQ(op(two.get(), "set", "d.s.b=2"), UCI_OK);
    uci_package* before = p2;
    ASSERT_EQ(uci_commit(two.get(), &p2, false), UCI_OK);
    EXPECT_NE(p2, before) << "the package is replaced";
    EXPECT_EQ(uci_lookup_package(two.get(), "d"), p2);
    EXPECT_EQ(slurp(dir.conf_file("d")),
              "\nconfig a 's'\n\toption o '0'\n\toption a '1'\n\toption b '2'\n\n");
}

TEST(uci_delta, CommitWithoutChangesWritesNothing) {
    scratch_tree dir;
    const char* text = "config a s # not in the writer's form\n";
    put(dir.conf_file("d"), text);
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    ASSERT_EQ(uci_commit(ctx.get(), &p, false), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("d")), text);
}

// Commit writes a temporary file beside the target and renames it: the mode
// stays, no temporary file is left, and a link is followed to its target.
TEST(uci_delta, CommitReplacesTheFileAtomically) {
    scratch_tree dir;
    std::string real = dir.conf() + "/real_d";
    put(real, "config a s\n");
    ::chmod(real.c_str(), 0604);
    ASSERT_EQ(::symlink("real_d", dir.conf_file("d").c_str()), 0);
    context_ptr ctx = dir.context();
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    uci_package* p = uci_lookup_package(ctx.get(), "d");
    ASSERT_EQ(uci_commit(ctx.get(), &p, false), UCI_OK);
    struct stat st;
    ASSERT_EQ(::lstat(dir.conf_file("d").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself stays";
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(slurp(real), "\nconfig a 's'\n\toption o '1'\n\n");
    DIR* d = ::opendir(dir.conf().c_str());
    std::string names;
    while (dirent* de = ::readdir(d))
        if (de->d_name[0] != '.' || std::strncmp(de->d_name, ".d.uci-", 7) == 0)
            names += std::string(de->d_name) + " ";
    ::closedir(d);
    EXPECT_TRUE(names == "d real_d " || names == "real_d d ") << names;
}

TEST(uci_delta, OverwriteWritesThePackageAsItStands) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    ::mkdir(dir.save().c_str(), 0700);
    put(dir.save_file("d"), "|d.s.l='saved'\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=unsaved"), UCI_OK);
    ASSERT_EQ(uci_commit(ctx.get(), &p, true), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("d")),
              "\nconfig a 's'\n\tlist l 'saved'\n\toption o 'unsaved'\n\n")
        << "no item twice, no edit lost";
    EXPECT_EQ(slurp(dir.save_file("d")), "");
}

TEST(uci_delta, PackageLoadedByPathIsWrittenDirectly) {
    scratch_tree dir;
    std::string path = dir.conf() + "/../direct";
    put(path, "config a s\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), path.c_str(), &p), UCI_OK);
    EXPECT_STREQ(p->e.name, "direct");
    EXPECT_FALSE(p->has_delta);
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "direct.s.o=1"), UCI_OK);
    ASSERT_EQ(uci_set(ctx.get(), &ptr), UCI_OK);
    EXPECT_TRUE(uci_list_empty(&p->delta));
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_EQ(slurp(path), "\nconfig a 's'\n\toption o '1'\n\n");
    EXPECT_FALSE(exists(dir.save_file("direct")));
}

TEST(uci_delta, RevertDropsTheTargetsChangesOnly) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 0\nconfig a t\n");
    context_ptr ctx = dir.context();
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.p=2"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.t.q=3"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), uci_lookup_package(ctx.get(), "d")), UCI_OK);
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "d.s.o"), UCI_OK);
    ASSERT_EQ(uci_revert(ctx.get(), &ptr), UCI_OK);
    EXPECT_EQ(dump(ptr.p), "s=a\ns.o='0'\ns.p='2'\nt=a\nt.q='3'\n");
    EXPECT_EQ(slurp(dir.save_file("d")), "d.s.p='2'\nd.t.q='3'\n");
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "d"), UCI_OK);
    ASSERT_EQ(uci_revert(ctx.get(), &ptr), UCI_OK);
    EXPECT_EQ(dump(ptr.p), "s=a\ns.o='0'\nt=a\n");
}

// The change file is replaced, not rewritten in place: when the new one
// cannot be written whole (here the file size limit stands for a full disk),
// the old one is kept as it was and no temporary file is left.
TEST(uci_delta, RevertThatCannotWriteKeepsTheChangeFile) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 0\nconfig a t\n");
    context_ptr ctx = dir.context();
    EXPECT_EQ(op(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.s.p=2"), UCI_OK);
    EXPECT_EQ(op(ctx.get(), "set", "d.t.q=3"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), uci_lookup_package(ctx.get(), "d")), UCI_OK);
    const std::string before = slurp(dir.save_file("d"));

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "d.s.o"), UCI_OK);
    int rc = uci_revert(ctx.get(), &ptr);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(rc, UCI_ERR_IO);
    EXPECT_EQ(slurp(dir.save_file("d")), before);
    int files = 0;
    if (DIR* d = ::opendir(dir.save().c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.')) files++;
        ::closedir(d);
    }
    EXPECT_EQ(files, 1);

    // With room again the same revert goes through.
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "d.s.o"), UCI_OK);
    ASSERT_EQ(uci_revert(ctx.get(), &ptr), UCI_OK);
    EXPECT_EQ(slurp(dir.save_file("d")), "d.s.p='2'\nd.t.q='3'\n");
}

} // namespace
