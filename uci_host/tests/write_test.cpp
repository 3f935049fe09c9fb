// The writer: the file form of a package, and that it reads back the same.
#include "test_support.h"

using namespace uci_host::test;

namespace {

TEST(uci_write, ExportNameFlagNamesEverySection) {
    scratch_tree dir;
    put(dir.conf_file("e"), "config t\n\toption a 1\nconfig u n\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "e", &p), UCI_OK);
    EXPECT_EQ(export_text(ctx.get(), p, true),
              "package e\n\nconfig t\n\toption a '1'\n\nconfig u 'n'\n\n");
    ctx->flags = static_cast<uci_flags>(ctx->flags | UCI_FLAG_EXPORT_NAME);
    EXPECT_EQ(export_text(ctx.get(), p),
              "\nconfig t 'cfg01b619'\n\toption a '1'\n\nconfig u 'n'\n\n");
}

// Everything a file may hold survives write and read unchanged.
TEST(uci_write, WriterOutputReadsBackTheSame) {
    const char* texts[] = {
        "config t s\n\toption a 'x'\\''y'\n\tlist l ''\n\tlist l \"a\\\\b\"\n",
        "config t\nconfig t\n\toption v 'tab\there'\nconfig u n\n",
        "config t s\n\toption a 'line1\nline2\n'\n\toption b \"#;'\"\n",
        "config 'odd#type;x' s\n\toption a 1\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        scratch_tree dir;
        put(dir.conf_file("w"), text);
        context_ptr ctx = dir.context();
        uci_package* p = nullptr;
        ASSERT_EQ(uci_load(ctx.get(), "w", &p), UCI_OK);
        std::string before = dump(p);
        put(dir.conf_file("w2"), export_text(ctx.get(), p));
        uci_package* q = nullptr;
        ASSERT_EQ(uci_load(ctx.get(), "w2", &q), UCI_OK);
        EXPECT_EQ(dump(q), before);
    }
}

} // namespace
