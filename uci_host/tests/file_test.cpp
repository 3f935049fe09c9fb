// Packages on disk: load, unload, import, the list of packages, and how
// save and commit write the change file and the config file.
#include "test_support.h"

#include <cstring>
#include <dirent.h>

using namespace uci_host::test;

namespace {

TEST(uci_file, LoadFailures) {
    scratch_tree dir;
    ::mkdir(dir.conf_file("adir").c_str(), 0700);
    put(dir.conf() + "/.hidden", "config a s\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    const struct {
        const char* name;
        int rc;
    } table[] = {
        {"missing", UCI_ERR_NOTFOUND},        {"adir", UCI_ERR_NOTFOUND},
        {".hidden", UCI_ERR_NOTFOUND},        {"../config/x", UCI_ERR_NOTFOUND},
        {"./no/such/file", UCI_ERR_NOTFOUND},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(uci_load(ctx.get(), row.name, &p), row.rc);
    }
    EXPECT_TRUE(uci_list_empty(&ctx->root));
}

TEST(uci_file, UnloadForgetsUnsavedChanges) {
    scratch_tree dir;
    put(dir.conf_file("u"), "config t s\n");
    context_ptr ctx = dir.context();
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "u.s.o=1"), UCI_OK);
    ASSERT_EQ(uci_set(ctx.get(), &ptr), UCI_OK);
    ASSERT_EQ(uci_unload(ctx.get(), ptr.p), UCI_OK);
    EXPECT_TRUE(uci_list_empty(&ctx->root));
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "u", &p), UCI_OK);
    EXPECT_EQ(dump(p), "s=t\n");
}

TEST(uci_file, ImportNamedAndMultiplePackages) {
    scratch_tree dir;
    context_ptr ctx = dir.context();
    const std::string one = "package ignored\nconfig t s\n\toption a 1\n";
    uci_package* p = nullptr;
    ASSERT_EQ(import_text(ctx.get(), one, "imp", &p, true), UCI_OK);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->e.name, "imp");
    EXPECT_EQ(dump(p), "s=t\ns.a='1'\n");
    EXPECT_FALSE(p->has_delta);
    ASSERT_EQ(uci_commit(ctx.get(), &p, true), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("imp")), "\nconfig t 's'\n\toption a '1'\n\n");

    p = nullptr;
    EXPECT_EQ(import_text(ctx.get(), one, "imp", &p, true), UCI_ERR_DUPLICATE);

    p = nullptr;
    ASSERT_EQ(import_text(ctx.get(), "package p1\nconfig t a\npackage p2\nconfig t b\n", nullptr,
                          &p, false),
              UCI_OK);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->e.name, "p2");
    uci_package* p1 = uci_lookup_package(ctx.get(), "p1");
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(dump(p1), "a=t\n");

    p = nullptr;
    EXPECT_EQ(import_text(ctx.get(), "package p3\nconfig t a\noption\n", nullptr, &p, false),
              UCI_ERR_PARSE);
    EXPECT_EQ(uci_lookup_package(ctx.get(), "p3"), nullptr) << "nothing added on failure";
}

TEST(uci_file, ImportMergesIntoALoadedPackageAsChanges) {
    scratch_tree dir;
    put(dir.conf_file("m"), "config t s\n\toption a 1\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "m", &p), UCI_OK);
    uci_package* into = p;
    ASSERT_EQ(import_text(ctx.get(), "config t s\n\toption a 2\nconfig u\n\tlist l x\n", "m", &into,
                          true),
              UCI_OK);
    EXPECT_EQ(into, p);
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_EQ(slurp(dir.save_file("m")), "m.s.a='2'\n+m.cfg02b61a='u'\n|m.cfg02b61a.l='x'\n");
}

TEST(uci_file, ListConfigsIsSortedAndSkipsOddEntries) {
    scratch_tree dir;
    put(dir.conf_file("network"), "");
    put(dir.conf_file("dhcp"), "");
    put(dir.conf() + "/.hidden", "");
    put(dir.conf() + "/bad.name", "");
    ::mkdir(dir.conf_file("subdir").c_str(), 0700);
    context_ptr ctx = dir.context();
    char** list = nullptr;
    ASSERT_EQ(uci_list_configs(ctx.get(), &list), UCI_OK);
    std::string names;
    for (char** n = list; *n; n++)
        names += std::string(*n) + " ";
    std::free(list); // one block
    EXPECT_EQ(names, "dhcp network ");
}

TEST(uci_file, SaveFileTakesTheConfigFileMode) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    ::chmod(dir.conf_file("d").c_str(), 0640);
    context_ptr ctx = dir.context();
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), uci_lookup_package(ctx.get(), "d")), UCI_OK);
    struct stat st;
    ASSERT_EQ(::stat(dir.save_file("d").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(uci_file, SaveIntoAnUnreachableDirectoryFails) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    context_ptr ctx = dir.context();
    std::string deep = dir.save() + "/x/y";
    ASSERT_EQ(uci_set_savedir(ctx.get(), deep.c_str()), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    uci_package* p = uci_lookup_package(ctx.get(), "d");
    EXPECT_EQ(uci_save(ctx.get(), p), UCI_ERR_IO) << "one mkdir, not a recursive one";
    EXPECT_FALSE(uci_list_empty(&p->delta)) << "the changes stay pending";
}

// Two processes edit the same package; each commit keeps what the other
// saved, because commit reads the file and every change file again.
TEST(uci_file, CommitKeepsChangesSavedByOthers) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 0\n");
    context_ptr one = dir.context();
    context_ptr two = dir.context();
    uci_package *p1 = nullptr, *p2 = nullptr;
    ASSERT_EQ(uci_load(one.get(), "d", &p1), UCI_OK);
    ASSERT_EQ(uci_load(two.get(), "d", &p2), UCI_OK);
    EXPECT_EQ(run_change(one.get(), "set", "d.s.a=1"), UCI_OK);
    ASSERT_EQ(uci_save(one.get(), p1), UCI_OK);
    EXPECT_EQ(run_change(two.get(), "set", "d.s.b=2"), UCI_OK);
    uci_package* before = p2;
    ASSERT_EQ(uci_commit(two.get(), &p2, false), UCI_OK);
    EXPECT_NE(p2, before) << "the package is replaced";
    EXPECT_EQ(uci_lookup_package(two.get(), "d"), p2);
    EXPECT_EQ(slurp(dir.conf_file("d")),
              "\nconfig a 's'\n\toption o '0'\n\toption a '1'\n\toption b '2'\n\n");
}

TEST(uci_file, CommitWithoutChangesWritesNothing) {
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
TEST(uci_file, CommitReplacesTheFileAtomically) {
    scratch_tree dir;
    std::string real = dir.conf() + "/real_d";
    put(real, "config a s\n");
    ::chmod(real.c_str(), 0604);
    ASSERT_EQ(::symlink("real_d", dir.conf_file("d").c_str()), 0);
    context_ptr ctx = dir.context();
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.o=1"), UCI_OK);
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

TEST(uci_file, OverwriteWritesThePackageAsItStands) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n");
    ::mkdir(dir.save().c_str(), 0700);
    put(dir.save_file("d"), "|d.s.l='saved'\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.o=unsaved"), UCI_OK);
    ASSERT_EQ(uci_commit(ctx.get(), &p, true), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("d")),
              "\nconfig a 's'\n\tlist l 'saved'\n\toption o 'unsaved'\n\n")
        << "no item twice, no edit lost";
    EXPECT_EQ(slurp(dir.save_file("d")), "");
}

TEST(uci_file, PackageLoadedByPathIsWrittenDirectly) {
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

} // namespace
