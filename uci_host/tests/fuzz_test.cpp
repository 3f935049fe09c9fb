// Seeded randomised inputs for the readers: config texts (through import),
// change files (through load) and look-up paths. Whatever the input, the
// result is a return code, never a crash; and every text that reads without
// error writes out and reads back as the same tree.
#include "test_support.h"

#include <random>

using namespace uci_host::test;

namespace {

constexpr unsigned seed = 20261209;
constexpr int text_rounds = 4000;
constexpr int delta_rounds = 1500;
constexpr int path_rounds = 4000;

const char* const corpus[] = {
    "config interface 'lan'\n\toption proto 'static'\n\tlist dns '1.1.1.1'\n",
    "config t\n\toption a \"x \\\"q\\\" y\"\n\tlist b ''\n; c u n; o k v # c\n",
    "package p\nconfig zone\n\toption name 'it'\\''s'\n\toption x a'b c'\"d\"\\\n e\n",
    "config rule 'r1'\r\n\toption src wan\r\n\tlist proto tcp\r\n\tlist proto udp\r\n",
    "config a s\n\toption v 'multi\nline'\n\toption w \"tab\there\"\n",
};

const char alphabet[] = "'\"\\#; \t\n\r=.@[]-_cfgoptionlist0123456789abcxyz\x01\x7f\xc3";

std::string mutate(std::mt19937& rng, std::string text) {
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    int edits = 1 + static_cast<int>(pick(6));
    for (int i = 0; i < edits; i++) {
        std::size_t at = text.empty() ? 0 : pick(text.size() + 1);
        switch (pick(5)) {
        case 0: // insert a byte
            text.insert(at, 1, alphabet[pick(sizeof alphabet - 1)]);
            break;
        case 1: // delete a run
            if (!text.empty() && at < text.size()) text.erase(at, 1 + pick(8));
            break;
        case 2: // replace a byte
            if (at < text.size()) text[at] = alphabet[pick(sizeof alphabet - 1)];
            break;
        case 3: // repeat a run
            if (at < text.size()) text.insert(at, text.substr(at, 1 + pick(16)));
            break;
        default: // cut the text short
            text.resize(at);
        }
    }
    return text;
}

bool known_code(int rc) {
    return rc >= UCI_OK && rc < UCI_ERR_LAST;
}

std::string export_text(uci_context* ctx, uci_package* p) {
    char* buf = nullptr;
    std::size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    EXPECT_EQ(uci_export(ctx, mem, p, false), UCI_OK);
    std::fclose(mem);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

uci_package* import_text(uci_context* ctx, const std::string& text, int& rc) {
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    uci_package* p = nullptr;
    if (!in) { // fmemopen refuses an empty buffer on some libcs
        in = std::tmpfile();
    }
    rc = uci_import(ctx, in, "fz", &p, true);
    std::fclose(in);
    return p;
}

TEST(uci_fuzz, ConfigTextsNeverCrashAndRoundTrip) {
    std::mt19937 rng(seed);
    int parsed = 0;
    for (int round = 0; round < text_rounds; round++) {
        std::string text = mutate(rng, corpus[round % std::size(corpus)]);
        context_ptr ctx(uci_alloc_context());
        if (round % 2) ctx->flags = static_cast<uci_flags>(ctx->flags & ~UCI_FLAG_STRICT);
        int rc;
        uci_package* p = import_text(ctx.get(), text, rc);
        ASSERT_TRUE(rc == UCI_OK || rc == UCI_ERR_PARSE) << rc << " for: " << text;
        if (rc != UCI_OK) continue;
        parsed++;
        std::string before = dump(p, true);
        std::string written = export_text(ctx.get(), p);
        context_ptr again(uci_alloc_context());
        uci_package* q = import_text(again.get(), written, rc);
        ASSERT_EQ(rc, UCI_OK) << "written form of: " << text << "\nis:\n" << written;
        EXPECT_EQ(dump(q, true), before) << "for: " << text;
    }
    // The mutations must leave a fair share of readable texts, or the
    // round-trip half of the test would test nothing.
    EXPECT_GT(parsed, text_rounds / 10);
}

TEST(uci_fuzz, ChangeFilesNeverCrash) {
    std::mt19937 rng(seed + 1);
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
        int rc;
        uci_package* q = import_text(again.get(), written, rc);
        ASSERT_EQ(rc, UCI_OK) << "change file: " << text << "\nwrote:\n" << written;
        EXPECT_EQ(dump(q, true), dump(p, true));
    }
}

TEST(uci_fuzz, LookUpPathsNeverCrash) {
    std::mt19937 rng(seed + 2);
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
    int rc;
    uci_package* q = import_text(again.get(), written, rc);
    ASSERT_EQ(rc, UCI_OK) << written;
    EXPECT_EQ(dump(q, true), dump(p, true));
}

} // namespace
