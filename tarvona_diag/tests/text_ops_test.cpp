// trim, split_fields, next_line: the cutters every parser relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_ops.h"

using namespace tarvona_diag;

TEST(tarvona_diag_trim, Cases) {
    struct {
        const char* in;
        const char* out;
    } const cases[] = {
        {"  abc \t\n", "abc"}, {"\r\v\f x y \r", "x y"}, {"   ", ""}, {"", ""}, {"plain", "plain"},
    };
    for (const auto& c : cases) {
        std::string buf = c.in;
        EXPECT_STREQ(c.out, trim(buf.data())) << "input [" << c.in << "]";
    }
}

static std::vector<std::string> split(const char* text, int max) {
    field_slot f[16];
    int n = split_fields(text, f, max);
    return std::vector<std::string>(f, f + n);
}

TEST(tarvona_diag_split_fields, Cases) {
    using v = std::vector<std::string>;
    EXPECT_EQ((v{"one", "two"}), split("one  \t two\t\t three", 2));
    EXPECT_EQ((v{"a", "b", "c"}), split("  a b\nc  ", 8));
    EXPECT_EQ(v{}, split("   \t ", 8));
    EXPECT_EQ(v{}, split("", 8));
}

TEST(tarvona_diag_split_fields, LongWordContinuesAsNextField) {
    std::string word(130, 'w');
    auto f = split(word.c_str(), 8);
    ASSERT_EQ(2u, f.size());
    EXPECT_EQ(127u, f[0].size());
    EXPECT_EQ(3u, f[1].size());
}

TEST(tarvona_diag_next_line, WalksLinesAndCutsLongOnes) {
    const char* text = "first\n0123456789\n\nlast";
    char line[6];
    std::vector<std::string> got;
    for (const char* p = text; (p = next_line(p, line, sizeof line));)
        got.push_back(line);
    // The 10-byte line comes in two pieces of at most 5 bytes; its line feed
    // ends the second piece, the empty line stays one empty line.
    EXPECT_EQ((std::vector<std::string>{"first", "01234", "56789", "", "last"}), got);
}

TEST(tarvona_diag_next_line, EndOfTextAndNull) {
    char line[8] = "junk";
    EXPECT_EQ(nullptr, next_line("", line, sizeof line));
    EXPECT_STREQ("", line);
    EXPECT_EQ(nullptr, next_line(nullptr, line, sizeof line));
}
