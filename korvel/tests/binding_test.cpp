// Driver binding: the USB id split.
#include "binding.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(korvel_split_usb_id, FirstTwoParts) {
    char v[16], p[16];
    EXPECT_EQ(2, split_usb_id("12d1/1506/102", v, p));
    EXPECT_STREQ("12d1", v);
    EXPECT_STREQ("1506", p);
    EXPECT_EQ(1, split_usb_id("12d1", v, p));
    EXPECT_STREQ("", p);
    EXPECT_EQ(0, split_usb_id("/x", v, p));
    // A vendor over 15 characters is cut and the product is no longer read.
    EXPECT_EQ(1, split_usb_id("0123456789abcdef0/1", v, p));
    EXPECT_STREQ("0123456789abcde", v);
    EXPECT_STREQ("", p);
}

} // namespace
} // namespace korvel
