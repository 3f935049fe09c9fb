#include "test_support.h"
#include "value_rules.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zapret2_ctl {
namespace {

using test::log_capture;

TEST(zapret2_ctl_value_rules, BooleanIsTrueOnlyForOneTrueYes) {
    struct row {
        const char* text;
        bool expected;
    };
    const row rows[] = {
        {"1", true},      {"true", true}, {"yes", true}, {"on", false},
        {"TRUE", false},  {"Yes", false}, {"0", false},  {"no", false},
        {"false", false}, {"", false},    {" 1", false}, {"1 ", false},
    };
    for (const row& r : rows)
        EXPECT_EQ(bool_rule(r.text), r.expected) << "[" << r.text << "]";
}

TEST(zapret2_ctl_value_rules, IntegerRule) {
    struct row {
        const char* text; // nullptr: option missing
        int32_t def, min, max;
        int32_t expected;
        const char* warning; // expected log text, "" for none
    };
    const row rows[] = {
        {nullptr, 300, 0, 65535, 300, ""},
        {"42", 300, 0, 65535, 42, ""},
        {" 42", 300, 0, 65535, 42, ""},
        {"+42", 300, 0, 65535, 42, ""},
        {"0", 300, 0, 65535, 0, ""},
        {"65535", 300, 0, 65535, 65535, ""},
        {"70000", 300, 0, 65535, 300,
         "[WARN] Value 70000 for qnum out of range [0, 65535], using default 300"},
        {"-1", 300, 0, 65535, 300,
         "[WARN] Value -1 for qnum out of range [0, 65535], using default 300"},
        {"12abc", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: '12abc', using default 300"},
        {"42 ", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: '42 ', using default 300"},
        {"", 300, 0, 65535, 300, "[WARN] Invalid integer value for qnum: '', using default 300"},
        {"abc", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: 'abc', using default 300"},
        {"0x10", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: '0x10', using default 300"},
        {"2147483648", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: '2147483648', using default 300"},
        {"99999999999999999999", 300, 0, 65535, 300,
         "[WARN] Invalid integer value for qnum: '99999999999999999999', using default 300"},
        {"0", 60, 1, 3600, 60, "[WARN] Value 0 for qnum out of range [1, 3600], using default 60"},
        {"3600", 60, 1, 3600, 3600, ""},
        {"1", 60, 1, 3600, 1, ""},
    };
    for (const row& r : rows) {
        log_capture cap;
        EXPECT_EQ(int_rule("qnum", r.text, r.def, r.min, r.max), r.expected)
            << "[" << (r.text ? r.text : "(missing)") << "]";
        std::string out = cap.text();
        if (*r.warning) {
            EXPECT_NE(out.find(std::string(r.warning) + "\n"), std::string::npos) << out;
            EXPECT_EQ(out.find('\n'), out.size() - 1) << "exactly one line: " << out;
        } else {
            EXPECT_EQ(out, "") << "[" << (r.text ? r.text : "(missing)") << "]";
        }
    }
}

TEST(zapret2_ctl_value_rules, MarkRule) {
    struct row {
        const char* text;
        bool ok;
        uint32_t expected;
        const char* warning;
    };
    const row rows[] = {
        {"0x20000000", true, 0x20000000u, ""},
        {"0X20000000", true, 0x20000000u, ""},
        {"536870912", true, 536870912u, ""},
        {"010", true, 8u, ""},
        {"0", true, 0u, ""},
        {" 0x1", true, 1u, ""},
        {"0xffffffff", true, 0xffffffffu, ""},
        {"0x100000000", false, 0,
         "[WARN] desync_mark value too large: '0x100000000', using default 0x40000000"},
        {"-1", false, 0, "[WARN] desync_mark value too large: '-1', using default 0x40000000"},
        {"99999999999999999999999", false, 0,
         "[WARN] desync_mark value too large: '99999999999999999999999', using default 0x40000000"},
        {"mark", false, 0, "[WARN] Invalid desync_mark value: 'mark', using default 0x40000000"},
        {"0x40z", false, 0, "[WARN] Invalid desync_mark value: '0x40z', using default 0x40000000"},
        {"", false, 0, "[WARN] Invalid desync_mark value: '', using default 0x40000000"},
        {"09", false, 0, "[WARN] Invalid desync_mark value: '09', using default 0x40000000"},
    };
    for (const row& r : rows) {
        log_capture cap;
        uint32_t value = 0x12345678u; // what the record held before
        EXPECT_EQ(mark_rule(r.text, &value), r.ok) << r.text;
        EXPECT_EQ(value, r.ok ? r.expected : 0x12345678u) << r.text;
        std::string out = cap.text();
        if (*r.warning)
            EXPECT_NE(out.find(r.warning), std::string::npos) << out;
        else
            EXPECT_EQ(out, "") << r.text;
    }
}

std::string joined(const std::vector<const char*>& items) {
    heap_text t = join_list("protocol", items);
    return t ? t.get() : "(none)";
}

TEST(zapret2_ctl_value_rules, ListIsJoinedWithSingleSpaces) {
    EXPECT_EQ(joined({"tcp", "udp"}), "tcp udp");
    EXPECT_EQ(joined({"tcp"}), "tcp");
    EXPECT_EQ(joined({}), "(none)");
    EXPECT_EQ(joined({"", ""}), " ");
    EXPECT_EQ(joined({"a b", "c"}), "a b c");
}

TEST(zapret2_ctl_value_rules, ListSizeCapCountsEachItemWithOneExtraByte) {
    // Two items whose lengths plus one byte each add up to exactly the cap.
    std::string a(max_joined_list_bytes / 2 - 1, 'a');
    std::string b(max_joined_list_bytes / 2 - 1, 'b');
    {
        log_capture cap;
        heap_text t = join_list("hostlist", std::vector<const char*>{a.c_str(), b.c_str()});
        ASSERT_TRUE(t);
        EXPECT_EQ(std::strlen(t.get()), max_joined_list_bytes - 1);
        EXPECT_EQ(cap.text(), "");
    }
    b.push_back('b'); // one byte over
    {
        log_capture cap;
        heap_text t = join_list("hostlist", std::vector<const char*>{a.c_str(), b.c_str()});
        EXPECT_FALSE(t);
        EXPECT_NE(cap.text().find("[WARN] UCI list 'hostlist' exceeds maximum size limit\n"),
                  std::string::npos);
    }
}

} // namespace
} // namespace zapret2_ctl
