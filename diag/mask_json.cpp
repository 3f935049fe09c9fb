#include "mask_json.h"

#include <json-c/json.h>

#include <cstring>
#include <memory>

#include "report.h"

namespace diag {

namespace {

constexpr const char* always_secret[] = {"private_key", "public_key", "pre_shared_key",
                                         "short_id", "fingerprint"};
constexpr const char* proxy_endpoint[] = {"server", "server_port", "password", "uuid",
                                          "username"};
constexpr const char* proxy_protocols[] = {"http",   "socks",     "vmess",    "vless", "shadowsocks",
                                           "trojan", "hysteria", "hysteria2", "tuic"};

template <size_t N>
bool in_set(const char* const (&set)[N], const char* word) {
    for (const char* s : set)
        if (strcmp(s, word) == 0) return true;
    return false;
}

bool is_container(json_object* v) {
    return json_object_is_type(v, json_type_object) || json_object_is_type(v, json_type_array);
}

bool is_proxy_outbound(json_object* obj) {
    json_object* type = nullptr;
    if (!json_object_object_get_ex(obj, "type", &type)) return false;
    if (!json_object_is_type(type, json_type_string)) return false;
    return in_set(proxy_protocols, json_object_get_string(type));
}

struct json_put {
    void operator()(json_object* o) const { json_object_put(o); }
};
using json_root = std::unique_ptr<json_object, json_put>;

}  // namespace

namespace {

// in_proxy: an enclosing object is a proxy inbound or outbound. Its nested
// objects (the "users" of an inbound, for one) carry the same credentials
// without a "type" of their own, so they are masked like their parent.
void mask_value(json_object* value, bool in_proxy) {
    if (json_object_is_type(value, json_type_array)) {
        size_t n = json_object_array_length(value);
        for (size_t i = 0; i < n; ++i) {
            json_object* item = json_object_array_get_idx(value, i);
            if (is_container(item)) mask_value(item, in_proxy);
        }
        return;
    }
    if (!json_object_is_type(value, json_type_object)) return;

    const bool proxy = in_proxy || is_proxy_outbound(value);
    // Replacing a member's value keeps the key's place in the object, so the
    // walk goes on over the same entries.
    json_object_object_foreach(value, key, member) {
        if (in_set(always_secret, key) || (proxy && in_set(proxy_endpoint, key))) {
            json_object_object_add(value, key, json_object_new_string("***"));
        } else if (is_container(member)) {
            mask_value(member, proxy);
        }
    }
}

}  // namespace

void mask_json_secrets(json_object* value) {
    if (value) mask_value(value, false);
}

size_t mask_json_text(const char* text, char* out, size_t cap) {
    if (!out || cap == 0) return 0;
    size_t n = 0;
    auto put = [&](const char* p, size_t len) {
        for (size_t i = 0; i < len && n + 1 < cap; ++i) out[n++] = p[i];
    };
    const char* p = text ? text : "";
    while (*p) {
        if (*p != '"') {
            put(p++, 1);
            continue;
        }
        // A quoted string: a key when a ':' follows it.
        const char* start = p++;
        while (*p && *p != '"') p += (p[0] == '\\' && p[1]) ? 2 : 1;
        if (*p) ++p;
        put(start, static_cast<size_t>(p - start));
        const char* colon = p;
        while (*colon == ' ' || *colon == '\t' || *colon == '\r' || *colon == '\n') ++colon;
        if (*colon != ':' || p - start < 2) continue;
        char key[32];
        size_t klen = static_cast<size_t>(p - start) - 2;
        if (klen >= sizeof key) continue;
        memcpy(key, start + 1, klen);
        key[klen] = '\0';
        if (!in_set(always_secret, key) && !in_set(proxy_endpoint, key)) continue;
        // Mask the value: a string, or a bare token up to the next separator.
        const char* v = colon + 1;
        while (*v == ' ' || *v == '\t') ++v;
        put(p, static_cast<size_t>(v - p));
        if (*v == '"') {
            ++v;
            while (*v && *v != '"' && *v != '\n') v += (v[0] == '\\' && v[1]) ? 2 : 1;
            if (*v == '"') ++v;
        } else if (*v == '{' || *v == '[') {
            continue;  // a container: its own members are looked at in turn
        } else {
            while (*v && !strchr(",}]\r\n", *v)) ++v;
        }
        put("\"***\"", 5);
        p = v;
    }
    out[n] = '\0';
    return n;
}

size_t prepare_json_config(const char* text, char* out, size_t cap) {
    if (!out || cap == 0) return 0;
    json_root doc(text ? json_tokener_parse(text) : nullptr);
    if (!doc) return mask_json_text(text, out, cap);
    mask_json_secrets(doc.get());
    copy_text(out, cap, json_object_to_json_string_ext(doc.get(), JSON_C_TO_STRING_PRETTY));
    return strlen(out);
}

}  // namespace diag
