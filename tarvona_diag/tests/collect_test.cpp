// The ping command line: interface names from the routing table never reach
// the shell unquoted.
#include <gtest/gtest.h>

#include "collect.h"

using namespace tarvona_diag;

TEST(tarvona_diag_ping_command, Cases) {
    struct {
        const char* iface;
        const char* cmd;
    } const cases[] = {
        {"pppoe-wan", "ping -c 1 -W 3 -I pppoe-wan 1.1.1.1 2>&1"},
        {"awg10", "ping -c 1 -W 3 -I awg10 1.1.1.1 2>&1"},
        {"lan1@eth0", "ping -c 1 -W 3 -I lan1@eth0 1.1.1.1 2>&1"},
        {"a;reboot", "ping -c 1 -W 3 -I 'a;reboot' 1.1.1.1 2>&1"},
        {"$(id)", "ping -c 1 -W 3 -I '$(id)' 1.1.1.1 2>&1"},
        {"it's", "ping -c 1 -W 3 -I 'it'\\''s' 1.1.1.1 2>&1"},
        {"", "ping -c 1 -W 3 -I '' 1.1.1.1 2>&1"},
    };
    for (const auto& c : cases) {
        char cmd[256];
        format_ping_command(c.iface, "1.1.1.1", cmd, sizeof cmd);
        EXPECT_STREQ(c.cmd, cmd) << c.iface;
    }
}
