// The output buffer's append rule and the record's text copy.
#include <gtest/gtest.h>

#include <string>

#include "report.h"

using namespace tarvona_diag;

TEST(tarvona_diag_out_append, DropWholeRule) {
    out_reset();
    out_append(nullptr);
    EXPECT_EQ(0u, out_position());
    std::string big(output_capacity - 10, 'a');
    out_append(big.c_str());
    EXPECT_EQ(big.size(), out_position());
    out_append("0123456789"); // would end at byte 262144: dropped whole
    EXPECT_EQ(big.size(), out_position());
    EXPECT_EQ('\0', output_buffer[big.size()]);
    out_append("012345678"); // ends exactly at 262143: fits
    EXPECT_EQ(output_capacity - 1, out_position());
    EXPECT_EQ('8', output_buffer[output_capacity - 2]);
    EXPECT_EQ('\0', output_buffer[output_capacity - 1]);
    out_append("x");
    EXPECT_EQ(output_capacity - 1, out_position());
    out_append("");
    EXPECT_EQ(output_capacity - 1, out_position());
    out_reset();
    EXPECT_EQ(0u, out_position());
    EXPECT_STREQ("", output_buffer);
}

TEST(tarvona_diag_out_append, LaterShortTextStillFits) {
    out_reset();
    std::string big(output_capacity - 5, 'b');
    out_append(big.c_str());
    out_append("too long");
    out_append("ok");
    EXPECT_EQ(big + "ok", std::string(output_buffer));
}

TEST(tarvona_diag_copy_text, CutsAtCapacityMinusOne) {
    char small[8];
    copy_text(small, "0123456789");
    EXPECT_STREQ("0123456", small);
    copy_text(small, nullptr);
    EXPECT_STREQ("", small);
    copy_text(small, "abc");
    EXPECT_STREQ("abc", small);
}
