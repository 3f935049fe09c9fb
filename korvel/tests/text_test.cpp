// Text helpers: trimming and numbered names.
#include "text.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

TEST(korvel_trim_blanks, RemovesEveryBlankKindAtBothEnds) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a b  ", "a b"}, {"\t\v\f\r\nx\n", "x"}, {" \t \n", ""}, {"", ""},
        {"x", "x"},         {" in it ", "in it"},
    };
    for (auto& c : cases) {
        std::string buf = c.in;
        trim_blanks(buf.data());
        EXPECT_STREQ(c.out, buf.c_str()) << "[" << c.in << "]";
    }
}

TEST(korvel_prefix_and_number, NeedsDigitsOnlyAfterThePrefix) {
    long n = -1;
    EXPECT_TRUE(prefix_and_number("ttyUSB12", "ttyUSB", &n));
    EXPECT_EQ(12, n);
    for (const char* bad : {"ttyUSB", "ttyUSB1a", "ttyACM0", "ttyUSB-1", "xttyUSB1"})
        EXPECT_FALSE(prefix_and_number(bad, "ttyUSB")) << bad;
}

} // namespace
} // namespace korvel
