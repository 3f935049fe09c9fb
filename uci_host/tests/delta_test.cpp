// Change files: the lines each operation writes, which lines a load applies
// (also for mutated files), and the order of the change directories.
#include "test_support.h"

using namespace uci_host::test;

namespace {

TEST(uci_delta, LinesWrittenForEachOperation) {
    scratch_tree dir;
    put(dir.conf_file("d"), "config a s\n\tlist l x\n\tlist l y\n\toption o 1\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "d", &p), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.k=v'q"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "set", "d.named=t"), UCI_OK);
    uci_section* added = nullptr;
    EXPECT_EQ(uci_add_section(ctx.get(), p, "b", &added), UCI_OK);
    EXPECT_STREQ(added->e.name, "cfg03b607");
    EXPECT_EQ(run_change(ctx.get(), "add_list", "d.s.l=z"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "del_list", "d.s.l=x"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "delete", "d.s.l=0"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "delete", "d.s.o"), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "rename", "d.named=n2"), UCI_OK);
    EXPECT_EQ(uci_reorder_section(ctx.get(), uci_lookup_section(ctx.get(), p, "n2"), 0), UCI_OK);
    EXPECT_EQ(run_change(ctx.get(), "delete", "d.@b[0]"), UCI_OK);
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
    EXPECT_EQ(run_change(ctx.get(), "set", "d.s.k=w"), UCI_OK);
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_NE(slurp(dir.save_file("d")).find("-d.cfg03b607\nd.s.k='w'\n"), std::string::npos);

    context_ptr again = dir.context();
    uci_package* q = nullptr;
    ASSERT_EQ(uci_load(again.get(), "d", &q), UCI_OK);
    EXPECT_EQ(dump(q), "n2=t\ns=a\ns.l=['z']\ns.k='w'\n");
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

// Seeded mutations of a change file: a load applies what fits and skips the
// rest, never fails or crashes, and leaves a package that writes in a form
// that reads back the same.
constexpr int delta_rounds = 1500;

TEST(uci_delta, MutatedChangeFilesNeverCrash) {
    std::mt19937 rng(fuzz_seed + 1);
    const char* base = "|fz.s.l='a'\n-fz.s.o\n+fz.cfg09b607='b'\nfz.s.o='v'\\''q'\n"
                       "@fz.s='n'\n^fz.n='0'\n~fz.n.l='a'\n-fz.n.l='0'\nfz.new='t'\n";
    scratch_tree dir;
    ::mkdir(dir.save().c_str(), 0700);
    put(dir.conf_file("fz"), "config t s\n\toption o 1\n\tlist l x\n\tlist l y\n");
    for (int round = 0; round < delta_rounds; round++) {
        std::string text = mutate(rng, base);
        // A new file each round: truncating one that has unwritten data
        // makes the file system flush it first, which is slow.
        ::unlink(dir.save_file("fz").c_str());
        put(dir.save_file("fz"), text);
        context_ptr ctx = dir.context();
        uci_package* p = nullptr;
        ASSERT_EQ(uci_load(ctx.get(), "fz", &p), UCI_OK) << "change file: " << text;
        // What the changes built must still write out in a readable form.
        std::string written = export_text(ctx.get(), p);
        context_ptr again(uci_alloc_context());
        uci_package* q = nullptr;
        int rc = import_text(again.get(), written, "fz", &q, true);
        ASSERT_EQ(rc, UCI_OK) << "change file: " << text << "\nwrote:\n" << written;
        EXPECT_EQ(dump(q, true), dump(p, true));
    }
}

} // namespace
