#include <gtest/gtest.h>

#include <json-c/json.h>

#include <cstring>

#include <string>

#include "mask_json.h"

namespace diag {
namespace {

// Masks a JSON text and gives it back in json-c's plain style.
std::string masked(const char* text) {
    json_object* doc = json_tokener_parse(text);
    EXPECT_NE(nullptr, doc) << text;
    mask_json_secrets(doc);
    std::string out = json_object_to_json_string_ext(doc, JSON_C_TO_STRING_PLAIN);
    json_object_put(doc);
    return out;
}

TEST(diagsvc_JsonMask, Cases) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        // proxy outbound: endpoint members masked whatever their type
        {R"({"type":"vless","server":"h.example","server_port":443,"uuid":"u","flow":"f"})",
         R"({"type":"vless","server":"***","server_port":"***","uuid":"***","flow":"f"})"},
        // not a proxy: the same keys stay
        {R"({"type":"direct","server":"h","password":"p"})", R"({"type":"direct","server":"h","password":"p"})"},
        // always-secret keys at any depth, arrays included; no descent into a masked value
        {R"({"a":[{"b":{"private_key":"k","short_id":["s"]}}],"fingerprint":{"x":1}})",
         R"({"a":[{"b":{"private_key":"***","short_id":"***"}}],"fingerprint":"***"})"},
        // a "type" that is not a string does not make a proxy
        {R"({"type":1,"server":"h"})", R"({"type":1,"server":"h"})"},
        // credentials nested in a proxy inbound are masked too
        {R"({"type":"socks","listen":"127.0.0.1","users":[{"username":"u","password":"p"}]})",
         R"({"type":"socks","listen":"127.0.0.1","users":[{"username":"***","password":"***"}]})"},
        {R"([{"type":"hysteria2","password":"p"},{"type":"wireguard","server":"h","pre_shared_key":"k"}])",
         R"([{"type":"hysteria2","password":"***"},{"type":"wireguard","server":"h","pre_shared_key":"***"}])"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, masked(c.in)) << c.in;
}

TEST(diagsvc_JsonMask, TextThatDoesNotParseIsMaskedByKey) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {R"({"type":"vless","server":"1.2.3.4","server_port":443,"uuid":"u-1",})",
         R"({"type":"vless","server":"***","server_port":"***","uuid":"***",})"},
        {"{\n  \"private_key\" : \"k\\\"q\",\n  \"tag\": \"x\"\n",
         "{\n  \"private_key\" : \"***\",\n  \"tag\": \"x\"\n"},
        {R"({"users":[{"username":"u","password":"p"}] // comment)",
         R"({"users":[{"username":"***","password":"***"}] // comment)"},
        {R"({"password":)", R"({"password":"***")"},
        {R"({"server" "x", "tag":"password"})", R"({"server" "x", "tag":"password"})"},
        {R"({"short_id":"unterminated)", R"({"short_id":"***")"},
        {"", ""},
    };
    char out[256];
    for (const auto& c : cases) {
        EXPECT_EQ(strlen(c.out), mask_json_text(c.in, out, sizeof out)) << c.in;
        EXPECT_STREQ(c.out, out) << c.in;
    }
    char small[6];
    mask_json_text(R"({"uuid":"abcdef"})", small, sizeof small);
    EXPECT_STREQ(R"({"uui)", small);
}

TEST(diagsvc_JsonMask, ConfigTextIsPrettyPrintedOrMaskedAsText) {
    char out[256];
    prepare_json_config(R"({"outbounds":[{"type":"trojan","password":"secret"}]})", out, sizeof out);
    EXPECT_EQ(std::string::npos, std::string(out).find("secret"));
    EXPECT_NE(std::string::npos, std::string(out).find('\n')) << "pretty-printed";

    // A text that does not parse keeps its shape but not its secrets.
    prepare_json_config("{ \"password\": \"secret\", ", out, sizeof out);
    EXPECT_STREQ("{ \"password\": \"***\", ", out);

    // cut to the capacity, terminated
    char small[8];
    EXPECT_EQ(7u, prepare_json_config("{\"a\":\"0123456789\"}", small, sizeof small));
}

}  // namespace
}  // namespace diag
