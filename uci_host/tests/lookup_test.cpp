// uci_lookup_ptr: splitting, validation, @type[n] and what a miss returns.
#include "test_support.h"

#include <cstring>

using namespace uci_host::test;

namespace {

constexpr int DONE = uci_ptr::UCI_LOOKUP_DONE;
constexpr int COMPLETE = uci_ptr::UCI_LOOKUP_COMPLETE;
constexpr int EXTENDED = uci_ptr::UCI_LOOKUP_EXTENDED;

const char* const net_text = "config iface 'lan'\n\toption proto static\n\tlist dns a\n"
                             "config rule\n\toption name r0\n"
                             "config zone wan\n"
                             "config rule\n\toption name r1\n"
                             "config rule\n\toption name r2\n";

struct path_case {
    const char* path;
    bool extended;
    int rc;
    int flags;           // checked when rc is UCI_OK
    const char* section; // ptr.section afterwards (nullptr: none)
    const char* last;    // name of ptr.last (nullptr: none)
    const char* value;   // ptr.value (nullptr: none)
};

const path_case cases[] = {
    {"net", false, UCI_OK, DONE | COMPLETE, nullptr, "net", nullptr},
    {"net.lan", false, UCI_OK, DONE | COMPLETE, "lan", "lan", nullptr},
    {"net.lan.proto", false, UCI_OK, DONE | COMPLETE, "lan", "proto", nullptr},
    {"net.lan.dns", false, UCI_OK, DONE | COMPLETE, "lan", "dns", nullptr},
    {"net.lan.proto=dhcp", false, UCI_OK, DONE | COMPLETE, "lan", "proto", "dhcp"},
    {"net.lan.x=a.b=c", false, UCI_OK, DONE, "lan", "lan", "a.b=c"},
    {"net.lan.missing", false, UCI_OK, DONE, "lan", "lan", nullptr},
    {"net.nosuch", false, UCI_OK, DONE, "nosuch", "net", nullptr},
    {"net.nosuch.opt", false, UCI_OK, DONE, "nosuch", "net", nullptr},
    {"net.@rule[0].name", true, UCI_OK, DONE | COMPLETE | EXTENDED, "cfg0292bd", "name", nullptr},
    {"net.@rule[2]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "cfg0592bd", "cfg0592bd", nullptr},
    {"net.@rule[-1]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "cfg0592bd", "cfg0592bd", nullptr},
    {"net.@rule[-3]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "cfg0292bd", "cfg0292bd", nullptr},
    {"net.@rule[3]", true, UCI_OK, DONE | EXTENDED, "@rule[3]", "net", nullptr},
    {"net.@rule[-4]", true, UCI_OK, DONE | EXTENDED, "@rule[-4]", "net", nullptr},
    {"net.@[1]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "cfg0292bd", "cfg0292bd", nullptr},
    {"net.@zone[]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "wan", "wan", nullptr},
    {"net.@zone[+0]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "wan", "wan", nullptr},
    {"net.@zone[ 0]", true, UCI_OK, DONE | COMPLETE | EXTENDED, "wan", "wan", nullptr},
    {"net.@none[0]", true, UCI_OK, DONE | EXTENDED, "@none[0]", "net", nullptr},
    // errors
    {"net.@rule[0]", false, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net.@zone[0x0]", true, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net.@zone[1", true, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net.@zone", true, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net.bad-name", true, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net..proto", true, UCI_ERR_INVAL, 0, nullptr, nullptr, nullptr},
    {"net.lan.proto.x", true, UCI_ERR_PARSE, 0, nullptr, nullptr, nullptr},
    {"net.lan.bad-opt", true, UCI_ERR_PARSE, 0, nullptr, nullptr, nullptr},
    {"", true, UCI_ERR_PARSE, 0, nullptr, nullptr, nullptr},
    {"n@t.lan", true, UCI_ERR_PARSE, 0, nullptr, nullptr, nullptr},
    {"net.lan.proto=a\x01", true, UCI_ERR_PARSE, 0, nullptr, nullptr, nullptr},
    {"nosuchpkg.a.b", true, UCI_ERR_NOTFOUND, 0, nullptr, nullptr, nullptr},
};

TEST(uci_lookup, TableOfPaths) {
    scratch_tree dir;
    put(dir.conf_file("net"), net_text);
    context_ptr ctx = dir.context();
    for (const path_case& c : cases) {
        SCOPED_TRACE(c.path);
        uci_ptr ptr{};
        std::string buf;
        buf = c.path;
        int rc = uci_lookup_ptr(ctx.get(), &ptr, buf.data(), c.extended);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(ctx->err, c.rc) << "the code is also kept in the context";
        if (rc != UCI_OK) continue;
        EXPECT_EQ(static_cast<int>(ptr.flags), c.flags);
        EXPECT_EQ(ptr.section ? std::string(ptr.section) : "-", c.section ? c.section : "-");
        EXPECT_EQ(ptr.last ? std::string(ptr.last->name) : "-", c.last ? c.last : "-");
        EXPECT_EQ(ptr.value ? std::string(ptr.value) : "-", c.value ? c.value : "-");
        EXPECT_EQ(ptr.p, uci_lookup_package(ctx.get(), "net"));
        bool complete = ptr.flags & COMPLETE;
        if (complete && ptr.option) {
            EXPECT_NE(ptr.o, nullptr);
        } else if (ptr.section && !ptr.s) {
            EXPECT_FALSE(complete);
        }
    }
}

TEST(uci_lookup, SplitsInPlaceAndSetsTarget) {
    scratch_tree dir;
    put(dir.conf_file("net"), net_text);
    context_ptr ctx = dir.context();
    char text[] = "net.lan.proto=dhcp";
    uci_ptr ptr{};
    ASSERT_EQ(uci_lookup_ptr(ctx.get(), &ptr, text, false), UCI_OK);
    EXPECT_EQ(ptr.target, UCI_TYPE_OPTION);
    EXPECT_EQ(ptr.package, text) << "fields point into the caller's string";
    EXPECT_EQ(std::memcmp(text, "net\0lan\0proto\0dhcp", 19), 0);

    char sec[] = "net.lan";
    ASSERT_EQ(uci_lookup_ptr(ctx.get(), &ptr, sec, false), UCI_OK);
    EXPECT_EQ(ptr.target, UCI_TYPE_SECTION);
    EXPECT_EQ(ptr.o, nullptr) << "a new look-up starts from a zeroed ptr";
}

TEST(uci_lookup, LoadsThePackageOnceAndKeepsIt) {
    scratch_tree dir;
    put(dir.conf_file("net"), net_text);
    context_ptr ctx = dir.context();
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "net.lan"), UCI_OK);
    uci_package* first = ptr.p;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "net.wan"), UCI_OK);
    EXPECT_EQ(ptr.p, first);
    uci_package* p = nullptr;
    EXPECT_EQ(uci_load(ctx.get(), "net", &p), UCI_ERR_DUPLICATE);
    EXPECT_EQ(p, nullptr) << "left unchanged";

    put(dir.conf_file("broken"), "config\n");
    EXPECT_EQ(lookup(ctx.get(), ptr, buf, "broken.x"), UCI_ERR_PARSE);
}

TEST(uci_lookup, ElementHelpersCompareExactNames) {
    scratch_tree dir;
    put(dir.conf_file("net"), net_text);
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "net", &p), UCI_OK);
    EXPECT_EQ(uci_lookup_package(ctx.get(), "net"), p);
    EXPECT_EQ(uci_lookup_package(ctx.get(), "ne"), nullptr);
    uci_section* lan = uci_lookup_section(ctx.get(), p, "lan");
    ASSERT_NE(lan, nullptr);
    EXPECT_EQ(uci_lookup_section(ctx.get(), p, "@rule[0]"), nullptr);
    EXPECT_NE(uci_lookup_section(ctx.get(), p, "cfg0292bd"), nullptr);
    EXPECT_STREQ(uci_lookup_option_string(ctx.get(), lan, "proto"), "static");
    EXPECT_EQ(uci_lookup_option_string(ctx.get(), lan, "dns"), nullptr) << "a list";
    EXPECT_EQ(uci_lookup_option_string(ctx.get(), lan, "none"), nullptr);
    uci_option* dns = uci_lookup_option(ctx.get(), lan, "dns");
    ASSERT_NE(dns, nullptr);
    EXPECT_EQ(dns->type, UCI_TYPE_LIST);

    // Walking: sections in file order, deletion while walking.
    std::string order;
    uci_element *e, *tmp;
    uci_foreach_element(&p->sections, e) order += uci_to_section(e)->type + std::string(" ");
    EXPECT_EQ(order, "iface rule zone rule rule ");
    uci_foreach_element_safe(&p->sections, tmp, e) {
        uci_ptr ptr{};
        ptr.p = p;
        ptr.s = uci_to_section(e);
        ptr.flags = uci_ptr::UCI_LOOKUP_COMPLETE;
        if (std::strcmp(ptr.s->type, "rule") == 0) {
            EXPECT_EQ(uci_delete(ctx.get(), &ptr), UCI_OK);
        }
    }
    order.clear();
    uci_foreach_element(&p->sections, e) order += uci_to_section(e)->type + std::string(" ");
    EXPECT_EQ(order, "iface zone ");
}

// Seeded mutations of a few paths: a known code, never a crash, and a
// package that still writes and reads back after the changes.
constexpr int path_rounds = 4000;

bool known_code(int rc) {
    return rc >= UCI_OK && rc < UCI_ERR_LAST;
}

TEST(uci_lookup, MutatedPathsNeverCrash) {
    std::mt19937 rng(fuzz_seed + 2);
    const char* bases[] = {"fz.s.o=v", "fz.@t[-1].l", "fz.@[0]", "fz.s", "fz"};
    scratch_tree dir;
    put(dir.conf_file("fz"), "config t s\n\toption o 1\n\tlist l x\nconfig t\n");
    context_ptr ctx = dir.context();
    for (int round = 0; round < path_rounds; round++) {
        std::string path = mutate(rng, bases[round % std::size(bases)]);
        uci_ptr ptr{};
        std::string buf = path;
        int rc = uci_lookup_ptr(ctx.get(), &ptr, buf.data(), round % 3 != 0);
        ASSERT_TRUE(known_code(rc)) << rc << " for: " << path;
        if (rc != UCI_OK || !(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) continue;
        ASSERT_NE(ptr.p, nullptr);
        ASSERT_NE(ptr.last, nullptr);
        if (ptr.option) {
            ASSERT_NE(ptr.o, nullptr) << path;
        }
        // Changing what was found must leave a package that still writes.
        if (ptr.value && ptr.s) {
            EXPECT_TRUE(known_code(uci_set(ctx.get(), &ptr)));
        }
    }
    uci_package* p = uci_lookup_package(ctx.get(), "fz");
    ASSERT_NE(p, nullptr);
    std::string written = export_text(ctx.get(), p);
    context_ptr again(uci_alloc_context());
    uci_package* q = nullptr;
    int rc = import_text(again.get(), written, "fz", &q, true);
    ASSERT_EQ(rc, UCI_OK) << written;
    EXPECT_EQ(dump(q, true), dump(p, true));
}

} // namespace
