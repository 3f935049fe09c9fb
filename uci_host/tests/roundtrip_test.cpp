// Whole cycles over a table of config texts: load, look up, change through
// the API, save, reload in a new context (changes applied from the save
// file), commit, and load the written file again.
#include "test_support.h"

#include <vector>

using namespace uci_host::test;

namespace {

// Anonymous sections compared by position: their names are recomputed on
// every load.
std::string shape(const uci_package* p) {
    return dump(p, true);
}

// Runs one operation, written like a uci tool command line.
int run_op(uci_context* ctx, uci_package*& p, const std::string& op) {
    std::size_t sp = op.find(' ');
    std::string cmd = op.substr(0, sp), arg = op.substr(sp + 1);
    if (cmd == "add") {
        uci_section* s = nullptr;
        return uci_add_section(ctx, p, arg.c_str(), &s);
    }
    return run_change(ctx, cmd, arg);
}

struct round_trip_cycle {
    const char* what;
    const char* text;
    std::vector<std::string> ops;
    const char* after; // shape() after the operations
    const char* file;  // the committed file
};

const round_trip_cycle cycles[] = {
    {"quotes and escapes",
     "config t 's'\n\toption a \"x \\\"y\\\"\"\n\toption b 'it'\\''s'\n",
     {"set rt.s.c=new \"quoted\" value", "set rt.s.a=it's", "set rt.s.d=back\\slash"},
     "s=t\ns.a='it's'\ns.b='it's'\ns.c='new \"quoted\" value'\ns.d='back\\slash'\n",
     "\nconfig t 's'\n\toption a 'it'\\''s'\n\toption b 'it'\\''s'\n\toption c 'new \"quoted\" "
     "value'\n\toption d 'back\\slash'\n\n"},
    {"values with dots, equals signs, newlines, hashes",
     "config t s\n",
     {"set rt.s.url=http://a.b/c?d=e.f", "set rt.s.multi=one\ntwo", "set rt.s.odd=#x;y 'z'"},
     "s=t\ns.url='http://a.b/c?d=e.f'\ns.multi='one\ntwo'\ns.odd='#x;y 'z''\n",
     "\nconfig t 's'\n\toption url 'http://a.b/c?d=e.f'\n\toption multi 'one\ntwo'\n\toption odd "
     "'#x;y '\\''z'\\'''\n\n"},
    {"lists: add, remove every match, remove by index",
     "config t s\n\tlist dns 1.1.1.1\n\tlist dns 8.8.8.8\n\tlist dns 1.1.1.1\n\tlist dns 9.9.9.9\n",
     {"add_list rt.s.dns=4.4.4.4", "del_list rt.s.dns=1.1.1.1", "delete rt.s.dns=1",
      "add_list rt.s.dns=4.4.4.4", "add_list rt.s.empty="},
     "s=t\ns.dns=['8.8.8.8','4.4.4.4','4.4.4.4']\ns.empty=['']\n",
     "\nconfig t 's'\n\tlist dns '8.8.8.8'\n\tlist dns '4.4.4.4'\n\tlist dns '4.4.4.4'\n\tlist "
     "empty ''\n\n"},
    {"string and list conversions keep their place",
     "config t s\n\toption a 1\n\tlist b x\n\tlist b y\n\toption c 3\n",
     {"add_list rt.s.a=2", "set rt.s.b=z"},
     "s=t\ns.a=['1','2']\ns.b='z'\ns.c='3'\n",
     "\nconfig t 's'\n\tlist a '1'\n\tlist a '2'\n\toption b 'z'\n\toption c '3'\n\n"},
    {"anonymous sections by position",
     "config rule\n\toption name a\nconfig zone 'lan'\nconfig rule\n\toption name b\n",
     {"set rt.@rule[1].target=ACCEPT", "add rule", "set rt.@rule[-1].name=c", "delete rt.@rule[0]",
      "set rt.@zone[0].input=REJECT"},
     "lan=zone\nlan.input='REJECT'\n@rule[0]=rule\n@rule[0].name='b'\n@rule[0].target='ACCEPT'\n"
     "@rule[1]=rule\n@rule[1].name='c'\n",
     "\nconfig zone 'lan'\n\toption input 'REJECT'\n\nconfig rule\n\toption name 'b'\n\toption "
     "target 'ACCEPT'\n\nconfig rule\n\toption name 'c'\n\n"},
    {"named sections: create, retype, delete options, empty set deletes",
     "config iface 'lan'\n\toption proto static\n\toption ip 10.0.0.1\n",
     {"set rt.wan=iface", "set rt.wan.proto=dhcp", "set rt.lan=bridge", "delete rt.lan.ip",
      "set rt.lan.proto=", "set rt.lan.absent="},
     "lan=bridge\nwan=iface\nwan.proto='dhcp'\n",
     "\nconfig bridge 'lan'\n\nconfig iface 'wan'\n\toption proto 'dhcp'\n\n"},
    {"renames",
     "config t a\n\toption x 1\nconfig t\n",
     {"rename rt.a.x=y", "rename rt.a=b", "rename rt.@t[1]=named"},
     "b=t\nb.y='1'\nnamed=t\n",
     "\nconfig t 'b'\n\toption y '1'\n\nconfig t 'named'\n\n"},
    {"a list emptied item by item is gone",
     "config t s\n\tlist l a\n\tlist l b\n\toption o 1\n",
     {"del_list rt.s.l=a", "delete rt.s.l=0"},
     "s=t\ns.o='1'\n",
     "\nconfig t 's'\n\toption o '1'\n\n"},
    {"a whole section deleted and made again",
     "config t s\n\toption a 1\n",
     {"delete rt.s", "set rt.s=u", "set rt.s.b=2"},
     "s=u\ns.b='2'\n",
     "\nconfig u 's'\n\toption b '2'\n\n"},
};

TEST(uci_round_trip, TableOfCycles) {
    for (const round_trip_cycle& c : cycles) {
        SCOPED_TRACE(c.what);
        scratch_tree dir;
        put(dir.conf_file("rt"), c.text);
        std::string original = slurp(dir.conf_file("rt"));

        // Change and save.
        {
            context_ptr ctx = dir.context();
            uci_package* p = nullptr;
            ASSERT_EQ(uci_load(ctx.get(), "rt", &p), UCI_OK);
            for (const std::string& op : c.ops)
                EXPECT_EQ(run_op(ctx.get(), p, op), UCI_OK) << op;
            EXPECT_EQ(shape(p), c.after) << "in memory";
            EXPECT_EQ(uci_save(ctx.get(), p), UCI_OK);
            EXPECT_TRUE(uci_list_empty(&p->delta)) << "pending changes written";
        }
        EXPECT_EQ(slurp(dir.conf_file("rt")), original) << "save leaves the file alone";

        // Reload: the saved changes are applied; then commit.
        {
            context_ptr ctx = dir.context();
            uci_package* p = nullptr;
            ASSERT_EQ(uci_load(ctx.get(), "rt", &p), UCI_OK);
            EXPECT_EQ(shape(p), c.after) << "after reload with changes";
            EXPECT_FALSE(uci_list_empty(&p->saved_delta));
            ASSERT_EQ(uci_commit(ctx.get(), &p, false), UCI_OK);
            EXPECT_EQ(shape(p), c.after) << "package after commit";
        }
        EXPECT_EQ(slurp(dir.conf_file("rt")), c.file);
        EXPECT_TRUE(exists(dir.save_file("rt")));
        EXPECT_EQ(slurp(dir.save_file("rt")), "") << "commit empties the save file";

        // The written file reads back the same, with nothing pending.
        {
            context_ptr ctx = dir.context();
            uci_package* p = nullptr;
            ASSERT_EQ(uci_load(ctx.get(), "rt", &p), UCI_OK);
            EXPECT_EQ(shape(p), c.after) << "after reparse";
            EXPECT_TRUE(uci_list_empty(&p->saved_delta));
        }
    }
}

} // namespace
