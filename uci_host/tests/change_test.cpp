// Changes through the API: refused arguments, changes that record nothing,
// and revert (the change file's line filter, the file replaced whole).
#include "change.h"
#include "test_support.h"

#include <csignal>
#include <dirent.h>
#include <sys/resource.h>

using namespace uci_host::test;

namespace {

// Changes with missing parts, or names and types the reader would reject
// later, are refused instead of being stored.
TEST(uci_change, ChangeErrors) {
    scratch_tree dir;
    put(dir.conf_file("e"), "config t s\n\toption o 1\n\tlist l a\n\tlist l b\n");
    context_ptr ctx = dir.context();
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.s.o"), UCI_OK);
    EXPECT_EQ(uci_set(ctx.get(), &ptr), UCI_ERR_INVAL) << "no value";
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.none.o=1"), UCI_OK);
    EXPECT_EQ(uci_set(ctx.get(), &ptr), UCI_ERR_INVAL) << "option of a missing section";
    EXPECT_EQ(uci_add_list(ctx.get(), &ptr), UCI_ERR_INVAL);
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.none"), UCI_OK);
    EXPECT_EQ(uci_delete(ctx.get(), &ptr), UCI_ERR_NOTFOUND);
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.s.none"), UCI_OK);
    EXPECT_EQ(uci_delete(ctx.get(), &ptr), UCI_ERR_NOTFOUND);
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.s.l=x"), UCI_OK);
    EXPECT_EQ(uci_delete(ctx.get(), &ptr), UCI_ERR_INVAL) << "index not a number";
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.s.l=2"), UCI_OK);
    EXPECT_EQ(uci_delete(ctx.get(), &ptr), UCI_ERR_NOTFOUND) << "index out of range";
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.s=bad\ttype"), UCI_OK);
    EXPECT_EQ(uci_set(ctx.get(), &ptr), UCI_ERR_INVAL) << "type with a blank";

    // A hand-filled ptr skips the look-up's checks.
    uci_package* p = uci_lookup_package(ctx.get(), "e");
    uci_ptr hand{};
    hand.p = p;
    hand.section = "bad-name";
    hand.value = "t";
    EXPECT_EQ(uci_set(ctx.get(), &hand), UCI_ERR_INVAL);
    hand = uci_ptr{};
    hand.p = p;
    hand.s = uci_lookup_section(ctx.get(), p, "s");
    hand.section = "s";
    hand.option = "bad.opt";
    hand.value = "1";
    EXPECT_EQ(uci_set(ctx.get(), &hand), UCI_ERR_INVAL);
    EXPECT_EQ(uci_add_list(ctx.get(), &hand), UCI_ERR_INVAL);
    EXPECT_EQ(uci_add_section(ctx.get(), p, "has space", nullptr), UCI_ERR_INVAL);
    EXPECT_TRUE(uci_list_empty(&p->delta)) << "no change recorded by any failure";
    EXPECT_EQ(dump(p), "s=t\ns.o='1'\ns.l=['a','b']\n");
}

TEST(uci_change, SetKeepsAnonymousSectionsAnonymous) {
    scratch_tree dir;
    put(dir.conf_file("e"), "config t\n");
    context_ptr ctx = dir.context();
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "e.@t[0]=longer_type"), UCI_OK);
    ASSERT_EQ(uci_set(ctx.get(), &ptr), UCI_OK);
    EXPECT_TRUE(ptr.s->anonymous);
    uci_package* p = ptr.p;
    ASSERT_EQ(uci_commit(ctx.get(), &p, false), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("e")), "\nconfig longer_type\n\n");
}

TEST(uci_change, ChangesThatChangeNothingRecordNothing) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\toption o 1\n\tlist l x\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.o=1"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s=a"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "del_list", "d.s.o=1"), UCI_OK) << "a string option";
    EXPECT_EQ(run_change(ctx.get(), "del_list", "d.s.none=1"), UCI_OK) << "a missing option";
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.none="), UCI_OK)
        << "empty value, nothing to delete";
    EXPECT_TRUE(uci_list_empty(&p->delta));
    EXPECT_EQ(run_change(ctx.get(), "del_list", "d.s.l=nomatch"), UCI_OK);
    EXPECT_FALSE(uci_list_empty(&p->delta)) << "a list records the removal even without match";
    EXPECT_EQ(dump(p), "s=a\ns.o='1'\ns.l=['x']\n");
}

// The package d (sections s and t) with three saved changes: d.s.o=1,
// d.s.p=2, d.t.q=3.
context_ptr with_saved_changes(const scratch_tree& dir) {
    put(dir.conf_file("d"), "config a s\n\toption o 0\nconfig a t\n");
    context_ptr ctx = dir.context();
    for (const char* path : {"d.s.o=1", "d.s.p=2", "d.t.q=3"})
        EXPECT_EQ(run_change(ctx.get(), "set", path), UCI_OK);
    EXPECT_EQ(uci_save(ctx.get(), uci_lookup_package(ctx.get(), "d")), UCI_OK);
    return ctx;
}

TEST(uci_change, RevertDropsTheTargetsChangesOnly) {
    scratch_tree dir;
    context_ptr ctx = with_saved_changes(dir);
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
TEST(uci_change, RevertThatCannotWriteKeepsTheChangeFile) {
    scratch_tree dir;
    context_ptr ctx = with_saved_changes(dir);
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

// A change file of the package net, with lines of fw and network among them.
constexpr const char* change_file = "net.lan=interface\n"
                                    "+net.lan.proto=static\n"
                                    "-net.lan.ipaddr\n"
                                    "@net.lan=lan2\n"
                                    "net.wan.proto='pppoe dsl'\n"
                                    "fw.lan.input=ACCEPT\n"
                                    "network.lan.proto=dhcp\n";

TEST(uci_change, RevertFilterTableOfTargets) {
    struct {
        const char* what;
        const char* text;
        const char* section;
        const char* option;
        const char* kept;
    } cases[] = {
        {"whole package: other packages stay, a longer name is another package", change_file, "",
         "", "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"one section: its type, options and rename go", change_file, "lan", "",
         "net.wan.proto='pppoe dsl'\nfw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"one option: the section's other lines stay", change_file, "lan", "proto",
         "net.lan=interface\n-net.lan.ipaddr\n@net.lan=lan2\nnet.wan.proto='pppoe dsl'\n"
         "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"removal of one option", change_file, "lan", "ipaddr",
         "net.lan=interface\n+net.lan.proto=static\n@net.lan=lan2\nnet.wan.proto='pppoe dsl'\n"
         "fw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"quoted value, kept as written", change_file, "lan", "",
         "net.wan.proto='pppoe dsl'\nfw.lan.input=ACCEPT\nnetwork.lan.proto=dhcp\n"},
        {"target without changes keeps everything", change_file, "guest", "", change_file},
        {"empty lines go, a last line gets its newline", "\n\nnet.wan=interface\n\nnet.lan=x",
         "lan", "", "net.wan=interface\n"},
        {"empty file", "", "", "", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.kept, uci_host::revert_kept_lines(c.text, "net", c.section, c.option))
            << c.what;
}

} // namespace
