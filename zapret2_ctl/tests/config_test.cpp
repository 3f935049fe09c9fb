// The configuration record: loaded again, released, counted.
#include "config.h"
#include "config_load.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace zapret2_ctl {
namespace {

using test::log_capture;
using test::temp_dir;
using test::write_file;

// Loading again replaces what the record held (config_set_defaults releases
// it first); config_free leaves zeros.
TEST(zapret2_ctl_config, ReloadAndFree) {
    temp_dir confdir;
    write_file(confdir / "zapret2",
               "config strategy 'a'\nconfig hostlist 'h'\n\toption path '/h'\n");
    zapret2_config cfg{};
    log_capture cap;
    ASSERT_EQ(config_load_from(cfg, confdir.path().c_str()), 0);
    ASSERT_EQ(config_load_from(cfg, confdir.path().c_str()), 0);
    EXPECT_EQ(cfg.strategies.size(), 1u);
    EXPECT_EQ(cfg.hostlists.size(), 1u);
    config_free(cfg);
    EXPECT_TRUE(cfg.strategies.empty());
    EXPECT_FALSE(cfg.ws_user);
    EXPECT_EQ(cfg.qnum, 0);
    EXPECT_EQ(config_count_enabled(cfg), 0);
}

} // namespace
} // namespace zapret2_ctl
