// Request handling: query, arguments, test selection, headers, help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "request.h"

using namespace tarvona_diag;

namespace {

// Keys whose flags are set, in flag order.
std::vector<std::string> selected(const char* tests) {
    test_flags f;
    select_tests(tests, f);
    std::vector<std::string> keys;
    for (const test_key& k : test_keys)
        if (f.*(k.flag)) keys.push_back(k.key);
    return keys;
}

const std::vector<std::string> always = {"sys_version", "sys_kernel", "sys_uptime", "sys_time"};

std::vector<std::string> always_plus(std::vector<std::string> extra) {
    std::vector<std::string> v = always;
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
}

request parse(const char* query, std::vector<const char*> args, bool* help = nullptr) {
    request rq;
    set_request_defaults(rq);
    apply_query(query, rq);
    args.insert(args.begin(), "tarvona_diag");
    bool h = apply_arguments(static_cast<int>(args.size()), args.data(), rq);
    if (help) *help = h;
    return rq;
}

} // namespace

TEST(tarvona_diag_select_tests, Cases) {
    EXPECT_EQ(34u, selected("").size());
    EXPECT_EQ(always_plus({"net_ping", "svc_cron"}), selected(" net_ping , svc_cron ,,"));
    EXPECT_EQ(always_plus({"net_ping"}), selected("\tnet_ping\r\n"));
    // A percent-encoded comma is not a separator.
    EXPECT_EQ(always, selected("net_ping%2Csvc_log"));
    EXPECT_EQ(always, selected("NET_PING,bogus,,,"));
    // Always-on keys cannot be switched, naming them adds nothing.
    EXPECT_EQ(always, selected("sys_time"));
    // Flag order, not list order.
    EXPECT_EQ((std::vector<std::string>{"sys_version", "sys_kernel", "sys_uptime", "sys_cpu",
                                        "sys_time", "svc_brimvale", "svc_log"}),
              selected("svc_log,svc_brimvale,sys_cpu"));
    EXPECT_EQ(always, selected(","));
}

TEST(tarvona_diag_query_param, Cases) {
    char v[16];
    struct {
        const char* query;
        const char* name;
        bool found;
        const char* value;
    } const cases[] = {
        {"action=download&format=json", "format", true, "json"},
        {"format=json&format=text", "format", true, "json"},  // first wins
        {"xformat=json&format=text", "format", true, "text"}, // whole segment name
        {"format", "format", false, ""},                      // no "="
        {"format=", "format", true, ""},
        {"tests=a+b%20c", "tests", true, "a+b%20c"}, // verbatim
        {"format=0123456789abcdefXYZ", "format", true, "0123456789abcde"},
        {"&&format=x&", "format", true, "x"},
        {"", "format", false, ""},
    };
    for (const auto& c : cases) {
        strcpy(v, "");
        EXPECT_EQ(c.found, query_param(c.query, c.name, v, sizeof v)) << c.query;
        EXPECT_STREQ(c.value, v) << c.query;
    }
}

TEST(tarvona_diag_request, QueryThenArguments) {
    request rq = parse("format=json&tests=net_ping&action=download", {"--format=text"});
    EXPECT_STREQ("text", rq.format);
    EXPECT_STREQ("net_ping", rq.tests);
    EXPECT_STREQ("download", rq.action);

    rq = parse(nullptr, {});
    EXPECT_STREQ("run", rq.action);
    EXPECT_STREQ("text", rq.format);
    EXPECT_STREQ("", rq.tests);

    rq = parse("tests=", {});
    EXPECT_STREQ("", rq.tests);
    rq = parse("format=json", {"-j", "--tests=net_arp", "-d", "--unknown", "stray"});
    EXPECT_TRUE(wants_json(rq));
    EXPECT_TRUE(wants_download(rq));
    EXPECT_STREQ("net_arp", rq.tests);

    rq = parse(nullptr, {"--format=JSON"});
    EXPECT_FALSE(wants_json(rq));

    // Action goes through a 64-byte scratch then 31 bytes; format 15 bytes.
    std::string long_action = "action=" + std::string(100, 'a') + "&format=" + std::string(40, 'j');
    rq = parse(long_action.c_str(), {});
    EXPECT_EQ(31u, strlen(rq.action));
    EXPECT_EQ(15u, strlen(rq.format));
    std::string long_tests = "--tests=" + std::string(600, 't');
    rq = parse(nullptr, {long_tests.c_str()});
    EXPECT_EQ(511u, strlen(rq.tests));
}

TEST(tarvona_diag_request, HelpWinsWherever) {
    bool help = false;
    parse(nullptr, {"-d", "--help"}, &help);
    EXPECT_TRUE(help);
    parse(nullptr, {"-h", "--json"}, &help);
    EXPECT_TRUE(help);
    parse(nullptr, {"--helpme"}, &help);
    EXPECT_FALSE(help);
}

TEST(tarvona_diag_headers, NormalResponses) {
    char out[512];
    request rq = parse(nullptr, {});
    format_headers(rq, "2026-12-08 21:24:22", out, sizeof out);
    EXPECT_STREQ("Content-Type: text/plain; charset=utf-8\r\n"
                 "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                 "Pragma: no-cache\r\n"
                 "Expires: 0\r\n"
                 "\r\n",
                 out);
    rq = parse("format=json", {});
    format_headers(rq, "2026-12-08 21:24:22", out, sizeof out);
    EXPECT_STREQ("Content-Type: application/json; charset=utf-8\r\n"
                 "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                 "Pragma: no-cache\r\n"
                 "Expires: 0\r\n"
                 "\r\n",
                 out);
}

TEST(tarvona_diag_headers, Downloads) {
    char out[512];
    request rq = parse("action=download&format=json", {});
    size_t n = format_headers(rq, "2026-12-08 21:24:22", out, sizeof out);
    EXPECT_EQ(strlen(out), n);
    EXPECT_STREQ(
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Disposition: attachment; filename=\"tarvona_diag_2026-12-08_21_24_22.json\"\r\n"
        "Cache-Control: no-cache, no-store, must-revalidate\r\n"
        "\r\n",
        out);
    rq = parse(nullptr, {"-d"});
    format_headers(rq, "2026-12-08 21:24:22", out, sizeof out);
    EXPECT_NE(nullptr, strstr(out, "filename=\"tarvona_diag_2026-12-08_21_24_22.txt\"\r\n"));
}

TEST(tarvona_diag_help, Text) {
    std::string h = help_text;
    EXPECT_EQ(0u,
              h.find("QZ Diagnostics - утилита диагностики роутера OpenWrt\n\nИспользование:\n"));
    EXPECT_NE(std::string::npos,
              h.find("  tarvona_diag -d                   Скачать отчёт\n\nДоступные тесты:\n"));
    EXPECT_NE(std::string::npos,
              h.find("            svc_telemt, svc_overlap, svc_log\n\nПример: "));
    EXPECT_EQ(std::string::npos, h.find("svc_brimvale"));
    // 17 lines plus three empty ones.
    EXPECT_EQ(20, std::count(h.begin(), h.end(), '\n'));
    // Every listed key is a real key: 33 of the 34.
    int listed = 0;
    for (const test_key& k : test_keys)
        if (h.find(k.key) != std::string::npos) ++listed;
    EXPECT_EQ(33, listed);
}
