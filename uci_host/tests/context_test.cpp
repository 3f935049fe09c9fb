// The context: defaults, bad arguments, and the error text of the last call.
#include "test_support.h"

using namespace uci_host::test;

namespace {

TEST(uci_context, NullArgumentsGiveInvalid) {
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

TEST(uci_context, FreshContextDefaults) {
    context_ptr ctx(uci_alloc_context());
    EXPECT_STREQ(ctx->confdir, "/etc/config");
    EXPECT_STREQ(ctx->savedir, "/tmp/.uci");
    EXPECT_EQ(static_cast<int>(ctx->flags), UCI_FLAG_STRICT | UCI_FLAG_SAVED_DELTA);
    EXPECT_TRUE(uci_list_empty(&ctx->root));
    EXPECT_EQ(list_count_of(&ctx->delta_path), 1u);
}

// A later error of another kind, or a parse error without a file position,
// never carries the reason of an earlier file error.
TEST(uci_context, ErrorTextDoesNotRepeatAnOldReason) {
    scratch_tree dir;
    put(dir.conf_file("broken"), "config\n");
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "broken", &p), UCI_ERR_PARSE);
    uci_ptr ptr{};
    std::string buf;
    EXPECT_EQ(lookup(ctx.get(), ptr, buf, "a.b.c.d"), UCI_ERR_PARSE);
    char* msg = nullptr;
    uci_get_errorstr(ctx.get(), &msg, nullptr);
    EXPECT_STREQ(msg, "Parse error");
    std::free(msg);
    EXPECT_EQ(uci_load(ctx.get(), "missing", &p), UCI_ERR_NOTFOUND);
    uci_get_errorstr(ctx.get(), &msg, "x");
    EXPECT_STREQ(msg, "x: Entry not found");
    std::free(msg);
}

TEST(uci_context, PerrorWritesOneLineToStderr) {
    scratch_tree dir;
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "none", &p), UCI_ERR_NOTFOUND);
    ::testing::internal::CaptureStderr();
    uci_perror(ctx.get(), "uci");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "uci: Entry not found\n");
}

} // namespace
