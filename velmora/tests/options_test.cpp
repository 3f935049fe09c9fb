#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

parse_outcome parse(std::vector<std::string> args, settings& s) {
    args.insert(args.begin(), "velmora");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    opterr = 0; // the parser's own diagnostics are not under test here
    return parse_command_line(static_cast<int>(args.size()), argv.data(), s);
}

const std::vector<std::string> good = {
    "--listen", "127.0.0.1:5353",    "--s1", "1.1.1.1:53", "--s2",
    "8.8.8.8",  "--session-timeout", "500"};

std::vector<std::string> with(std::vector<std::string> extra) {
    auto v = good;
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
}

} // namespace

TEST(velmora_options, Outcomes) {
    struct row {
        const char* what;
        std::vector<std::string> args;
        parse_outcome want;
    };
    const row rows[] = {
        {"no options", {}, parse_outcome::usage},
        {"all required", good, parse_outcome::run},
        {"short options",
         {"-l", "0.0.0.0:53", "-1", "a", "-2", "b", "-s", "1", "-d", "1"},
         parse_outcome::run},
        {"missing --s2",
         {"--listen", "a:1", "--s1", "b", "--session-timeout", "5"},
         parse_outcome::usage},
        {"missing listen", {"--s1", "b", "--s2", "c", "-s", "5"}, parse_outcome::usage},
        {"no time-out", {"--listen", "a:1", "--s1", "b", "--s2", "c"}, parse_outcome::usage},
        {"time-out 0", with({"-s", "0"}), parse_outcome::usage},
        {"time-out negative", with({"-s", "-20"}), parse_outcome::usage},
        {"time-out not a number", with({"-s", "soon"}), parse_outcome::usage},
        {"unknown option", with({"--bogus"}), parse_outcome::usage},
        {"missing value", with({"--debug"}), parse_outcome::usage},
        {"version first wins", {"--version", "--bogus"}, parse_outcome::version},
        {"version after good options", with({"-v"}), parse_outcome::version},
        {"hold-down", with({"--hold-down", "10"}), parse_outcome::run},
        {"hold-down 0", with({"-H", "0"}), parse_outcome::run},
        {"hold-down negative", with({"-H", "-1"}), parse_outcome::usage},
        {"hold-down without a value", with({"--hold-down"}), parse_outcome::usage},
        {"unknown before version", {"--bogus", "--version"}, parse_outcome::usage},
    };
    for (const auto& r : rows) {
        settings s;
        EXPECT_EQ(r.want, parse(r.args, s)) << r.what;
    }
}

TEST(velmora_options, ValuesAndRepeats) {
    settings s;
    ASSERT_EQ(parse_outcome::run,
              parse(with({"--s1", "9.9.9.9:5300", "-d", "2", "-s", "750ms", "-s", "+1200"}), s));
    EXPECT_EQ("127.0.0.1:5353", s.listen_addr);
    EXPECT_EQ("9.9.9.9:5300", s.server1); // the later value replaces the earlier one
    EXPECT_EQ("8.8.8.8", s.server2);
    EXPECT_EQ(1200, s.session_timeout_ms);
    EXPECT_EQ(2, s.debug_level);
    EXPECT_EQ(0, s.hold_down_s); // off unless asked for

    settings h;
    ASSERT_EQ(parse_outcome::run, parse(with({"-H", "30", "--hold-down", "10s"}), h));
    EXPECT_EQ(10, h.hold_down_s);
}

TEST(velmora_options, LeadingIntegers) {
    struct row {
        const char* text;
        int want;
    };
    const row rows[] = {{"42", 42},
                        {"-7", -7},
                        {"+3x", 3},
                        {"abc", 0},
                        {"", 0},
                        {" 12", 12},
                        {"99999999999", 2147483647},
                        {"-99999999999", -2147483647 - 1}};
    for (const auto& r : rows)
        EXPECT_EQ(r.want, parse_leading_int(r.text)) << r.text;
}
