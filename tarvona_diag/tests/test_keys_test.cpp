// The table of test keys and the predicates over the flags.
#include <gtest/gtest.h>

#include <cstring>

#include "test_keys.h"

using namespace tarvona_diag;

namespace {

// The four always-on system tests and the one key named.
test_flags always_on_and(const char* key) {
    test_flags f{};
    f.sys_version = f.sys_kernel = f.sys_uptime = f.sys_time = 1;
    for (const test_key& k : test_keys)
        if (strcmp(k.key, key) == 0) f.*(k.flag) = 1;
    return f;
}

} // namespace

TEST(tarvona_diag_test_keys, OrderAndCount) {
    EXPECT_STREQ("sys_version", test_keys[0].key);
    EXPECT_STREQ("net_interfaces", test_keys[7].key);
    EXPECT_STREQ("net_nftables", test_keys[17].key);
    EXPECT_STREQ("svc_cron", test_keys[18].key);
    EXPECT_STREQ("svc_brimvale", test_keys[25].key);
    EXPECT_STREQ("svc_log", test_keys[33].key);
}

TEST(tarvona_diag_test_keys, Predicates) {
    test_flags f = always_on_and("sys_cpu");
    EXPECT_FALSE(any_network_test(f));
    EXPECT_FALSE(any_service_test(f));
    f = always_on_and("net_nftables");
    EXPECT_TRUE(any_network_test(f));
    f = always_on_and("svc_log");
    EXPECT_TRUE(any_service_test(f));
    EXPECT_FALSE(any_network_test(f));
    // Every key by itself: a network key is a network test, a service key a
    // service test, a system key neither.
    for (const test_key& k : test_keys) {
        f = always_on_and(k.key);
        EXPECT_EQ(strncmp(k.key, "net_", 4) == 0, any_network_test(f)) << k.key;
        EXPECT_EQ(strncmp(k.key, "svc_", 4) == 0, any_service_test(f)) << k.key;
    }
}
