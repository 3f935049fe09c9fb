// The file reader: what each text loads as, and how bad texts fail.
#include "test_support.h"

using namespace uci_host::test;

namespace {

struct good_text {
    const char* what;
    const char* text;
    const char* tree; // dump() of the loaded package
};

const good_text good_cases[] = {
    {"empty file", "", ""},
    {"only comments and blanks", "# x\n\n   \t\n# config a b\n", ""},
    {"named and anonymous sections", "config iface 'lan'\nconfig iface\n",
     "lan=iface\ncfg02a57d=iface anon\n"},
    {"one-letter commands", "c t s\no a 1\nl b 2\nl b 3\n", "s=t\ns.a='1'\ns.b=['2','3']\n"},
    {"semicolons split commands", "config t s; option a 1; option b 2\n",
     "s=t\ns.a='1'\ns.b='2'\n"},
    {"pieces join into one word", "config t s\noption a a'b c'\"d\"\n", "s=t\ns.a='ab cd'\n"},
    {"backslash makes the next byte literal",
     "config t s\noption a x\\ y\\n\noption b \"q\\\"\\\\\"\n", "s=t\ns.a='x yn'\ns.b='q\"\\'\n"},
    {"single quotes keep everything", "config t s\noption a '\\n\"#;'\n", "s=t\ns.a='\\n\"#;'\n"},
    {"hash ends an unquoted word and the line", "config t s\noption a x#y z\noption b 'p#q'\n",
     "s=t\ns.a='x'\ns.b='p#q'\n"},
    {"quoted text spans lines", "config t s\noption a 'one\ntwo'\n", "s=t\ns.a='one\ntwo'\n"},
    {"backslash-newline joins lines", "config t s\noption a one\\\ntwo\noption \\\n b 3\n",
     "s=t\ns.a='onetwo'\ns.b='3'\n"},
    {"CRLF file", "config t 's'\r\n\toption a '1'\r\n\tlist b x\r\n", "s=t\ns.a='1'\ns.b=['x']\n"},
    {"empty option value is ignored and keeps the old one",
     "config t s\noption a 1\noption a ''\noption b\n", "s=t\ns.a='1'\n"},
    {"empty list item is kept", "config t s\nlist a ''\n", "s=t\ns.a=['']\n"},
    {"last option wins in the first position", "config t s\noption a 1\noption b 2\noption a 3\n",
     "s=t\ns.a='3'\ns.b='2'\n"},
    {"option then list makes a list", "config t s\noption a 1\nlist a 2\n", "s=t\ns.a=['1','2']\n"},
    {"list then option makes a string", "config t s\nlist a 1\nlist a 2\noption a 3\n",
     "s=t\ns.a='3'\n"},
    {"duplicate named sections merge", "config t s\noption a 1\nconfig t s\noption b 2\n",
     "s=t\ns.a='1'\ns.b='2'\n"},
    {"empty name makes a section anonymous", "config t ''\n", "cfg01b619=t anon\n"},
    {"package lines are ignored", "package other\nconfig t s\n", "s=t\n"},
    {"type may hold any printable byte", "config we-ird.type! s\n", "s=we-ird.type!\n"},
    {"names of options may start with a digit", "config t s\noption 0_a x\n", "s=t\ns.0_a='x'\n"},
};

TEST(uci_parse, GoodTextsLoadAs) {
    for (const good_text& c : good_cases) {
        SCOPED_TRACE(c.what);
        scratch_tree dir;
        put(dir.conf_file("ptest"), c.text);
        context_ptr ctx = dir.context();
        uci_package* p = nullptr;
        EXPECT_EQ(uci_load(ctx.get(), "ptest", &p), UCI_OK);
        if (!p) continue;
        EXPECT_EQ(dump(p), c.tree) << c.what;
        EXPECT_STREQ(p->e.name, "ptest");
    }
}

struct bad_text {
    const char* what;
    const char* text;
    const char* message; // uci_get_errorstr with prefix "uci"
};

const bad_text bad_cases[] = {
    {"unknown command", "config t s\nfoo bar\n",
     "uci: Parse error (invalid command) at line 2, byte 1"},
    {"bare config word", "config\n", "uci: Parse error (invalid command) at line 1, byte 1"},
    {"config without a type", "config \n",
     "uci: Parse error (insufficient arguments) at line 1, byte 1"},
    {"list without a value", "config t s\n list a\n",
     "uci: Parse error (insufficient arguments) at line 2, byte 2"},
    {"too many arguments", "config t s\noption a b c\n",
     "uci: Parse error (too many arguments) at line 2, byte 1"},
    {"bad section name", "config t 'a-b'\n",
     "uci: Parse error (invalid character in name field) at line 1, byte 1"},
    {"bad option name", "config t s\noption 'a b' 1\n",
     "uci: Parse error (invalid character in name field) at line 2, byte 1"},
    {"control byte in a type", "config 't\x01' s\n",
     "uci: Parse error (invalid character in type field) at line 1, byte 1"},
    {"option before any section", "option a 1\n",
     "uci: Parse error (option or list outside a section) at line 1, byte 1"},
    {"same name, other type", "config a s\nconfig b s\n",
     "uci: Parse error (section of different type overwrites prior section with same name) at "
     "line 2, byte 1"},
    {"unterminated single quote", "config t s\noption a 'abc\n\n",
     "uci: Parse error (unterminated ') at line 2, byte 10"},
    {"unterminated double quote", "config t s\n\noption a \"x\\\"\n",
     "uci: Parse error (unterminated \") at line 3, byte 10"},
};

TEST(uci_parse, BadTextsFailWithReason) {
    for (const bad_text& c : bad_cases) {
        SCOPED_TRACE(c.what);
        scratch_tree dir;
        put(dir.conf_file("ptest"), c.text);
        context_ptr ctx = dir.context();
        uci_package* p = reinterpret_cast<uci_package*>(0x1);
        EXPECT_EQ(uci_load(ctx.get(), "ptest", &p), UCI_ERR_PARSE) << c.what;
        EXPECT_EQ(p, reinterpret_cast<uci_package*>(0x1)) << "left untouched on failure";
        EXPECT_TRUE(uci_list_empty(&ctx->root)) << "nothing added on failure";
        char* msg = nullptr;
        uci_get_errorstr(ctx.get(), &msg, "uci");
        EXPECT_NE(msg, nullptr);
        if (!msg) continue;
        EXPECT_EQ(std::string(msg), c.message) << c.what;
        std::free(msg);
    }
}

TEST(uci_parse, NonStrictSkipsBadLines) {
    scratch_tree dir;
    put(dir.conf_file("ptest"), "config t s\nbogus\noption a 1 extra\noption b 2\n");
    context_ptr ctx = dir.context();
    ctx->flags = static_cast<uci_flags>(ctx->flags & ~UCI_FLAG_STRICT);
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "ptest", &p), UCI_OK);
    EXPECT_EQ(dump(p), "s=t\ns.a='1'\ns.b='2'\n");
}

// A later error of another kind, or a parse error without a file position,
// never carries the reason of an earlier file error.
TEST(uci_parse, ErrorTextDoesNotRepeatAnOldReason) {
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

TEST(uci_parse, PerrorWritesOneLineToStderr) {
    scratch_tree dir;
    context_ptr ctx = dir.context();
    uci_package* p = nullptr;
    ASSERT_EQ(uci_load(ctx.get(), "none", &p), UCI_ERR_NOTFOUND);
    ::testing::internal::CaptureStderr();
    uci_perror(ctx.get(), "uci");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "uci: Entry not found\n");
}

} // namespace
