#include "config.h"
#include "dump.h"
#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <string>

namespace zapret2_ctl {
namespace {

using test::capture_stream;

std::string json_string(const char* text) {
    return capture_stream([&](std::FILE* f) { json_write_string(f, text); });
}

TEST(zapret2_ctl_dump, StringEscapes) {
    struct row {
        const char* in;
        const char* out;
    };
    const row rows[] = {
        {"daemon", "\"daemon\""},
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {"a\tb", "\"a\\tb\""},
        {"a\nb\rc", "\"a\\nb\\rc\""},
        {"\x01", "\"\\u0001\""},
        {"\x08", "\"\\u0008\""},
        {"\x0c", "\"\\u000c\""},
        {"\x1f", "\"\\u001f\""},
        {"\x7f", "\"\x7f\""},
        {"\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
         "\"\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\""},
        {"/a/b", "\"/a/b\""},
    };
    for (const row& r : rows)
        EXPECT_EQ(json_string(r.in), r.out);
    EXPECT_EQ(json_string(nullptr), "null");
}

// The document of a router without configuration or daemon, shared with the
// black-box test of the command.
std::string defaults_document() {
    return test::read_file(ROUTER_TESTS_DIR "/golden/defaults_dump.json");
}

TEST(zapret2_ctl_dump, DefaultsWithoutDaemon) {
    zapret2_config cfg{};
    config_set_defaults(cfg);
    EXPECT_EQ(capture_stream([&](std::FILE* f) { write_dump(f, cfg, 0, 0); }), defaults_document());
}

strategy_entry* strategy(const char* name, const char* protocols, const char* script) {
    auto* s = new strategy_entry{};
    s->name = dup_string(name);
    s->port = dup_string("443");
    s->protocols = dup_string(protocols);
    s->script = dup_string(script);
    return s;
}

hostlist_entry* hostlist(const char* name, const char* path) {
    auto* h = new hostlist_entry{};
    h->name = dup_string(name);
    h->path = dup_string(path);
    return h;
}

file_entry* file(const char* name, const char* path, bool enabled) {
    auto* e = new file_entry{};
    e->name = dup_string(name);
    e->path = dup_string(path);
    e->enabled = enabled;
    return e;
}

TEST(zapret2_ctl_dump, ElementsLayoutAndNulls) {
    zapret2_config cfg{};
    config_set_defaults(cfg);
    cfg.desync_mark = 0xabc;
    cfg.ws_user.reset();
    cfg.strategies.push_back(strategy("yt", "tcp udp", nullptr));
    cfg.hostlists.push_front(hostlist("A", "/a"));
    cfg.hostlists.push_front(hostlist("B", "/b"));
    cfg.luascripts.push_front(file("lua", "/l.lua", true));
    std::string doc = capture_stream([&](std::FILE* f) { write_dump(f, cfg, 2, 1234); });

    EXPECT_NE(doc.find("    \"desync_mark\": \"0x00000abc\",\n"), std::string::npos);
    EXPECT_NE(doc.find("    \"ws_user\": null,\n"), std::string::npos);
    EXPECT_NE(doc.find("  \"daemon\": {\n    \"running\": true,\n    \"instances\": 2,\n"
                       "    \"pid\": 1234\n  },\n"),
              std::string::npos);
    EXPECT_NE(doc.find("  \"strategies\": [\n"
                       "    {\n"
                       "      \"name\": \"yt\",\n"
                       "      \"enabled\": true,\n"
                       "      \"port\": \"443\",\n"
                       "      \"protocols\": \"tcp udp\",\n"
                       "      \"filter_l7\": null,\n"
                       "      \"hostlists\": null,\n"
                       "      \"hostlist_exclude\": null,\n"
                       "      \"script\": null\n"
                       "    }\n"
                       "  ],\n"),
              std::string::npos)
        << doc;
    EXPECT_NE(doc.find("  \"hostlists\": [\n"
                       "    {\n"
                       "      \"name\": \"B\",\n"
                       "      \"path\": \"/b\"\n"
                       "    },\n"
                       "    {\n"
                       "      \"name\": \"A\",\n"
                       "      \"path\": \"/a\"\n"
                       "    }\n"
                       "  ],\n"),
              std::string::npos)
        << doc;
    EXPECT_NE(doc.find("  \"blobs\": [],\n"), std::string::npos);
    EXPECT_NE(doc.find("  \"luascripts\": [\n"
                       "    {\n"
                       "      \"name\": \"lua\",\n"
                       "      \"path\": \"/l.lua\",\n"
                       "      \"enabled\": true\n"
                       "    }\n"
                       "  ]\n"
                       "}\n"),
              std::string::npos)
        << doc;
}

// The document parses as JSON, and its arrays hold what the record holds,
// for none, one and several elements.
TEST(zapret2_ctl_dump, ValidJsonForAnyNumberOfElements) {
    for (int n = 0; n <= 3; ++n) {
        zapret2_config cfg{};
        config_set_defaults(cfg);
        for (int i = 0; i < n; ++i) {
            std::string name = "e\"\\\t\x01" + std::to_string(i);
            cfg.strategies.push_back(strategy(name.c_str(), i % 2 ? nullptr : "tcp", "s.lua"));
            cfg.hostlists.push_front(hostlist(name.c_str(), nullptr));
            cfg.blobs.push_front(file(name.c_str(), "/b", i % 2));
            cfg.luascripts.push_front(file(name.c_str(), "/l", false));
        }
        std::string doc = capture_stream([&](std::FILE* f) { write_dump(f, cfg, n, n * 10); });
        json_tokener* tok = json_tokener_new();
        json_object* root = json_tokener_parse_ex(tok, doc.c_str(), static_cast<int>(doc.size()));
        ASSERT_EQ(json_tokener_get_error(tok), json_tokener_success) << doc;
        json_tokener_free(tok);
        for (const char* key : {"strategies", "hostlists", "blobs", "luascripts"}) {
            json_object* arr = nullptr;
            ASSERT_TRUE(json_object_object_get_ex(root, key, &arr)) << key;
            EXPECT_EQ(json_object_array_length(arr), static_cast<size_t>(n)) << key;
        }
        if (n > 0) {
            json_object* arr = nullptr;
            json_object_object_get_ex(root, "strategies", &arr);
            json_object* name = nullptr;
            json_object_object_get_ex(json_object_array_get_idx(arr, 0), "name", &name);
            EXPECT_STREQ(json_object_get_string(name), "e\"\\\t\x01"
                                                       "0");
        }
        json_object_put(root);
    }
}

} // namespace
} // namespace zapret2_ctl
