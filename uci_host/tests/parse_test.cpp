// The file reader: what each text loads as, how bad texts fail, and that
// mutated texts fail cleanly or read back the same.
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

// Seeded mutations of a few texts, read through import: a return code,
// never a crash, and whatever reads writes out and reads back the same.
constexpr int text_rounds = 4000;

const char* const corpus[] = {
    "config interface 'lan'\n\toption proto 'static'\n\tlist dns '1.1.1.1'\n",
    "config t\n\toption a \"x \\\"q\\\" y\"\n\tlist b ''\n; c u n; o k v # c\n",
    "package p\nconfig zone\n\toption name 'it'\\''s'\n\toption x a'b c'\"d\"\\\n e\n",
    "config rule 'r1'\r\n\toption src wan\r\n\tlist proto tcp\r\n\tlist proto udp\r\n",
    "config a s\n\toption v 'multi\nline'\n\toption w \"tab\there\"\n",
};

TEST(uci_parse, MutatedTextsNeverCrashAndRoundTrip) {
    std::mt19937 rng(fuzz_seed);
    int parsed = 0;
    for (int round = 0; round < text_rounds; round++) {
        std::string text = mutate(rng, corpus[round % std::size(corpus)]);
        context_ptr ctx(uci_alloc_context());
        if (round % 2) ctx->flags = static_cast<uci_flags>(ctx->flags & ~UCI_FLAG_STRICT);
        uci_package* p = nullptr;
        int rc = import_text(ctx.get(), text, "fz", &p, true);
        ASSERT_TRUE(rc == UCI_OK || rc == UCI_ERR_PARSE) << rc << " for: " << text;
        if (rc != UCI_OK) continue;
        parsed++;
        std::string before = dump(p, true);
        std::string written = export_text(ctx.get(), p);
        context_ptr again(uci_alloc_context());
        uci_package* q = nullptr;
        rc = import_text(again.get(), written, "fz", &q, true);
        ASSERT_EQ(rc, UCI_OK) << "written form of: " << text << "\nis:\n" << written;
        EXPECT_EQ(dump(q, true), before) << "for: " << text;
    }
    // The mutations must leave a fair share of readable texts, or the
    // round-trip half of the test would test nothing.
    EXPECT_GT(parsed, text_rounds / 10);
}

} // namespace
