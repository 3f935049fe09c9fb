// Port search: HiLink interface names.
#include "ports.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(korvel_hilink_candidate, OnlyEthOrUsbWithDigits) {
    struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"eth1", true},   {"usb0", true}, {"eth10", true},  {"eth0.2", false},
        {"ethx1", false}, {"eth", false}, {"wlan0", false}, {"usb0a", false},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.ok, hilink_candidate(c.name)) << c.name;
}

} // namespace
} // namespace korvel
