// The tree: generated names of anonymous sections and the counter behind them.
#include "test_support.h"

using namespace uci_host::test;

namespace {

TEST(uci_tree, NamesFromCounterAndTypeHash) {
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
TEST(uci_tree, CounterCountsEverySection) {
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

} // namespace
