// The API's contracts: anonymous names, error codes for bad calls, import,
// export and the list of packages.
#include "test_support.h"

#include <cstring>

using namespace uci_host::test;

namespace {

TEST(uci_anonymous, NamesFromCounterAndTypeHash) {
    struct {
        const char* type;
        const char* first; // name of a first section of this type
    } table[] = {
        {"bar", "cfg0160ba"},           {"foo", "cfg017389"},
        {"interface", "cfg016d96"},     {"b", "cfg01b607"},
        {"rule", "cfg0192bd"},          {"", "cfg011505"},
        {"\xc3\xa9t\xc3\xa9", nullptr},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.type);
        scratch_tree dir;
        put(dir.conf_file("an"), "");
        context_ptr ctx = dir.context();
        uci_package* p = nullptr;
        ASSERT_EQ(uci_load(ctx.get(), "an", &p), UCI_OK);
        uci_section* s = nullptr;
        int rc = uci_add_section(ctx.get(), p, row.type, &s);
        if (!row.first) {
            // Bytes outside printable ASCII cannot be read back as a type.
            EXPECT_EQ(rc, UCI_ERR_INVAL);
            continue;
        }
        if (!*row.type) {
            EXPECT_EQ(rc, UCI_ERR_INVAL) << "an empty type cannot be read back";
            continue;
        }
        ASSERT_EQ(rc, UCI_OK);
        EXPECT_STREQ(s->e.name, row.first);
        EXPECT_TRUE(s->anonymous);
    }
}

// Every section created counts, named or not, from the file, the API or a
// change file; the counter never goes down and grows past two digits.
TEST(uci_anonymous, CounterCountsEverySection) {
    scratch_tree dir;
    put(dir.conf_file("an"), "config interface lan\nconfig interface\nconfig foo x\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "an", &p), UCI_OK);
    EXPECT_NE(uci_lookup_section(ctx.get(), p, "cfg026d96"), nullptr);
    uci_ptr ptr{};
    std::string buf;
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "an.named=foo"), UCI_OK);
    ASSERT_EQ(uci_set(ctx.get(), &ptr), UCI_OK);
    uci_section* s = nullptr;
    ASSERT_EQ(uci_add_section(ctx.get(), p, "bar", &s), UCI_OK);
    EXPECT_STREQ(s->e.name, "cfg0560ba");
    ASSERT_EQ(lookup(ctx.get(), ptr, buf, "an.x"), UCI_OK);
    ASSERT_EQ(uci_delete(ctx.get(), &ptr), UCI_OK);
    ASSERT_EQ(uci_add_section(ctx.get(), p, "bar", &s), UCI_OK);
    EXPECT_STREQ(s->e.name, "cfg0660ba") << "deleting does not lower the counter";
    for (int i = 7; i <= 256; i++)
        ASSERT_EQ(uci_add_section(ctx.get(), p, "bar", &s), UCI_OK);
    EXPECT_STREQ(s->e.name, "cfg10060ba");
}

TEST(uci_api, NullArgumentsGiveInvalid) {
    uci_ptr ptr{};
    uci_package* p = nullptr;
    EXPECT_EQ(uci_load(nullptr, "x", &p), UCI_ERR_INVAL);
    EXPECT_EQ(uci_lookup_ptr(nullptr, &ptr, nullptr, true), UCI_ERR_INVAL);
    EXPECT_EQ(uci_set(nullptr, &ptr), UCI_ERR_INVAL);
    EXPECT_EQ(uci_commit(nullptr, &p, false), UCI_ERR_INVAL);
    EXPECT_EQ(uci_set_confdir(nullptr, "/x"), UCI_ERR_INVAL);
    uci_free_context(nullptr);

    context_ptr ctx(uci_alloc_context());
    EXPECT_EQ(uci_set_confdir(ctx.get(), nullptr), UCI_ERR_INVAL);
    EXPECT_EQ(uci_set_savedir(ctx.get(), nullptr), UCI_ERR_INVAL);
    EXPECT_EQ(uci_load(ctx.get(), nullptr, &p), UCI_ERR_INVAL);
    EXPECT_EQ(uci_unload(ctx.get(), nullptr), UCI_ERR_INVAL);
    EXPECT_EQ(uci_save(ctx.get(), nullptr), UCI_ERR_INVAL);
    EXPECT_EQ(uci_commit(ctx.get(), nullptr, false), UCI_ERR_INVAL);
    EXPECT_EQ(uci_commit(ctx.get(), &p, false), UCI_ERR_INVAL);
    EXPECT_EQ(uci_lookup_ptr(ctx.get(), nullptr, nullptr, true), UCI_ERR_INVAL);
    EXPECT_EQ(uci_add_section(ctx.get(), nullptr, "t", nullptr), UCI_ERR_INVAL);
}

TEST(uci_api, FreshContextDefaults) {
    context_ptr ctx(uci_alloc_context());
    EXPECT_STREQ(ctx->confdir, "/etc/config");
    EXPECT_STREQ(ctx->savedir, "/tmp/.uci");
    EXPECT_EQ(static_cast<int>(ctx->flags), UCI_FLAG_STRICT | UCI_FLAG_SAVED_DELTA);
    EXPECT_TRUE(uci_list_empty(&ctx->root));
    EXPECT_EQ(list_count_of(&ctx->delta_path), 1u);
}

TEST(uci_api, LoadFailures) {
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

// Changes with missing parts, or names and types the reader would reject
// later, are refused instead of being stored.
TEST(uci_api, ChangeErrors) {
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

TEST(uci_api, SetKeepsAnonymousSectionsAnonymous) {
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

TEST(uci_api, ExportNameFlagNamesEverySection) {
    scratch_tree dir;
    put(dir.conf_file("e"), "config t\n\toption a 1\nconfig u n\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "e", &p), UCI_OK);
    char* buf = nullptr;
    std::size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    EXPECT_EQ(uci_export(ctx.get(), mem, p, true), UCI_OK);
    ctx->flags = static_cast<uci_flags>(ctx->flags | UCI_FLAG_EXPORT_NAME);
    EXPECT_EQ(uci_export(ctx.get(), mem, p, false), UCI_OK);
    std::fclose(mem);
    EXPECT_EQ(std::string(buf, len), "package e\n\nconfig t\n\toption a '1'\n\nconfig u 'n'\n\n"
                                     "\nconfig t 'cfg01b619'\n\toption a '1'\n\nconfig u 'n'\n\n");
    std::free(buf);
}

TEST(uci_api, ImportNamedAndMultiplePackages) {
    scratch_tree dir;
    context_ptr ctx = dir.context();
    const char one[] = "package ignored\nconfig t s\n\toption a 1\n";
    FILE* in = fmemopen(const_cast<char*>(one), sizeof one - 1, "r");
    uci_package* p = nullptr;
    ASSERT_EQ(uci_import(ctx.get(), in, "imp", &p, true), UCI_OK);
    std::fclose(in);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->e.name, "imp");
    EXPECT_EQ(dump(p), "s=t\ns.a='1'\n");
    EXPECT_FALSE(p->has_delta);
    ASSERT_EQ(uci_commit(ctx.get(), &p, true), UCI_OK);
    EXPECT_EQ(slurp(dir.conf_file("imp")), "\nconfig t 's'\n\toption a '1'\n\n");

    in = fmemopen(const_cast<char*>(one), sizeof one - 1, "r");
    p = nullptr;
    EXPECT_EQ(uci_import(ctx.get(), in, "imp", &p, true), UCI_ERR_DUPLICATE);
    std::fclose(in);

    const char two[] = "package p1\nconfig t a\npackage p2\nconfig t b\n";
    in = fmemopen(const_cast<char*>(two), sizeof two - 1, "r");
    p = nullptr;
    ASSERT_EQ(uci_import(ctx.get(), in, nullptr, &p, false), UCI_OK);
    std::fclose(in);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->e.name, "p2");
    uci_package* p1 = uci_lookup_package(ctx.get(), "p1");
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(dump(p1), "a=t\n");

    const char broken[] = "package p3\nconfig t a\noption\n";
    in = fmemopen(const_cast<char*>(broken), sizeof broken - 1, "r");
    p = nullptr;
    EXPECT_EQ(uci_import(ctx.get(), in, nullptr, &p, false), UCI_ERR_PARSE);
    std::fclose(in);
    EXPECT_EQ(uci_lookup_package(ctx.get(), "p3"), nullptr) << "nothing added on failure";
}

TEST(uci_api, ImportMergesIntoALoadedPackageAsChanges) {
    scratch_tree dir;
    put(dir.conf_file("m"), "config t s\n\toption a 1\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "m", &p), UCI_OK);
    const char more[] = "config t s\n\toption a 2\nconfig u\n\tlist l x\n";
    FILE* in = fmemopen(const_cast<char*>(more), sizeof more - 1, "r");
    uci_package* into = p;
    ASSERT_EQ(uci_import(ctx.get(), in, "m", &into, true), UCI_OK);
    std::fclose(in);
    EXPECT_EQ(into, p);
    ASSERT_EQ(uci_save(ctx.get(), p), UCI_OK);
    EXPECT_EQ(slurp(dir.save_file("m")), "m.s.a='2'\n+m.cfg02b61a='u'\n|m.cfg02b61a.l='x'\n");
}

TEST(uci_api, ListConfigsIsSortedAndSkipsOddEntries) {
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

TEST(uci_api, UnloadForgetsUnsavedChanges) {
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

} // namespace
