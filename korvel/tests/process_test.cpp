// Processes: pidof answers.
#include "process.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(korvel_names_other_process, IgnoresOwnAndParentIds) {
    struct {
        const char* text;
        bool other;
    } cases[] = {
        {"", false},        {"100", false},          {"200\n", false},
        {"100 200", false}, {"100 200 300\n", true}, {"300", true},
        {"1000", true}, // not a prefix match of 100
    };
    for (auto& c : cases)
        EXPECT_EQ(c.other, names_other_process(c.text, 100, 200)) << c.text;
}

} // namespace
} // namespace korvel
