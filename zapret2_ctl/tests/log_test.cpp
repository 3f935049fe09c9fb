#include "log.h"
#include "test_support.h"

#include <cctype>
#include <gtest/gtest.h>

namespace zapret2_ctl {
namespace {

using test::log_capture;

// "HH:MM:SS " with two digits each, 24-hour clock.
bool is_time_prefix(const std::string& s) {
    if (s.size() < 9) return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return s[2] == ':' && s[5] == ':' && s[8] == ' ' && std::stoi(s.substr(0, 2)) < 24 &&
           std::stoi(s.substr(3, 2)) < 60 && std::stoi(s.substr(6, 2)) <= 60;
}

TEST(zapret2_ctl_log, ConsoleLineHasTimeTagAndText) {
    log_capture cap;
    log_warn("Value %d for %s", 7, "qnum");
    std::string out = cap.text();
    EXPECT_TRUE(is_time_prefix(out)) << out;
    EXPECT_EQ(out.substr(9), "[WARN] Value 7 for qnum\n");
}

TEST(zapret2_ctl_log, EachLevelCarriesItsTag) {
    log_capture cap(log_lvl_debug);
    log_error("e");
    log_warn("w");
    log_info("i");
    log_debug("d");
    std::string out = cap.text();
    EXPECT_NE(out.find("[ERROR] e\n"), std::string::npos);
    EXPECT_NE(out.find("[WARN] w\n"), std::string::npos);
    EXPECT_NE(out.find("[INFO] i\n"), std::string::npos);
    EXPECT_NE(out.find("[DEBUG] d\n"), std::string::npos);
}

TEST(zapret2_ctl_log, LevelsAboveTheMaximumAreDropped) {
    {
        log_capture cap(log_lvl_info);
        log_debug("hidden");
        EXPECT_EQ(cap.text(), "");
    }
    {
        log_capture cap(log_lvl_error);
        log_warn("hidden");
        log_info("hidden");
        log_error("shown");
        std::string out = cap.text();
        EXPECT_EQ(out.find("hidden"), std::string::npos);
        EXPECT_NE(out.find("[ERROR] shown"), std::string::npos);
    }
}

TEST(zapret2_ctl_log, LongMessageIsCutTo2047Bytes) {
    log_capture cap;
    std::string long_text(3000, 'x');
    log_info("%s", long_text.c_str());
    std::string out = cap.text();
    std::size_t start = out.find("] ") + 2;
    std::size_t end = out.find('\n', start);
    EXPECT_EQ(end - start, 2047u);
    EXPECT_EQ(out.size(), end + 1) << "one line only";
}

TEST(zapret2_ctl_log, PercentInArgumentsIsPrintedAsIs) {
    log_capture cap;
    log_warn("Invalid integer value for %s: '%s'", "qnum", "%s%n%d");
    EXPECT_NE(cap.text().find("Invalid integer value for qnum: '%s%n%d'"), std::string::npos);
}

} // namespace
} // namespace zapret2_ctl
