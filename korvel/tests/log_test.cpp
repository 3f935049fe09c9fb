// Log markers: freshness.
#include "log.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(korvel_marker_freshness, NineSecondsOrLessIsFresh) {
    EXPECT_TRUE(marker_fresh_at(1000, 1000));
    EXPECT_TRUE(marker_fresh_at(1000, 991));
    EXPECT_FALSE(marker_fresh_at(1000, 990));
    EXPECT_FALSE(marker_fresh_at(1000, 0));
}

} // namespace
} // namespace korvel
