#include "mask_json.h"

#include <json-c/json.h>

#include <cstring>
#include <memory>

#include "handles.h"
#include "mask_policy.h"
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

// Outbound and endpoint types that carry no remote server of their own.
constexpr const char* local_types[] = {"direct", "block", "dns", "selector", "urltest"};

// Where a value sits, as far as masking cares.
struct json_place {
    bool proxy = false;       // inside a proxy inbound/outbound or a remote outbound/endpoint
    bool remote_list = false; // the elements are outbounds or endpoints
    bool peers = false;       // the elements are WireGuard peers
    bool users = false;       // the elements are the users of an inbound
};

bool is_remote_entry(json_object* obj) {
    json_object* type = nullptr;
    if (!json_object_object_get_ex(obj, "type", &type)) return true;
    if (!json_object_is_type(type, json_type_string)) return true;
    return !in_set(local_types, json_object_get_string(type));
}

void remember(json_object* v) {
    if (json_object_is_type(v, json_type_string))
        mask_map_add(report_mask_map(), json_object_get_string(v));
}

// Links, tokens, PEM blocks inside a string value.
void mask_string(json_object* v) {
    const char* text = json_object_get_string(v);
    static char masked[16384];
    size_t n = mask_text(text, masked, sizeof masked, 0, &report_mask_map());
    if (strlen(text) < sizeof masked && strcmp(text, masked) != 0)
        json_object_set_string_len(v, masked, static_cast<int>(n));
}

bool all_scalars(json_object* array) {
    size_t n = json_object_array_length(array);
    for (size_t i = 0; i < n; ++i)
        if (is_container(json_object_array_get_idx(array, i))) return false;
    return true;
}

void mask_value(json_object* value, json_place place);

void mask_array(json_object* value, json_place place) {
    size_t n = json_object_array_length(value);
    for (size_t i = 0; i < n; ++i) {
        json_object* item = json_object_array_get_idx(value, i);
        if (is_container(item)) {
            mask_value(item, place);
        } else if (json_object_is_type(item, json_type_string)) {
            mask_string(item);
        }
    }
}

void mask_value(json_object* value, json_place place) {
    if (json_object_is_type(value, json_type_array)) {
        mask_array(value, place);
        return;
    }
    if (!json_object_is_type(value, json_type_object)) return;

    // A proxy protocol anywhere, and any outbound or endpoint that is not
    // plainly local: its server, ports and credentials are secret, and so
    // are those of the objects nested in it (inbound users, peers).
    const bool proxy =
        place.proxy || is_proxy_outbound(value) || (place.remote_list && is_remote_entry(value));
    // Replacing a member's value keeps the key's place in the object, so the
    // walk goes on over the same entries.
    json_object_object_foreach(value, key, member) {
        const bool endpoint =
            proxy && (in_set(proxy_endpoint, key) || strcmp(key, "server_ports") == 0 ||
                      (place.peers && (strcmp(key, "address") == 0 || strcmp(key, "port") == 0)));
        const bool named =
            in_set(always_secret, key) || endpoint || (place.users && strcmp(key, "name") == 0);
        const bool secret_name = is_secret_name(key);
        if (named || (secret_name && !is_container(member))) {
            if (!named && json_object_is_type(member, json_type_string)) {
                const char* v = json_object_get_string(member);
                if (!value_is_secret(key, v, strlen(v))) continue;
            }
            // A switch or an empty member of a secret-named key hides nothing.
            if (!named && (member == nullptr || json_object_is_type(member, json_type_boolean)))
                continue;
            if (!in_set(always_secret, key) && json_object_is_type(member, json_type_array) &&
                all_scalars(member)) {
                size_t n = json_object_array_length(member);
                for (size_t i = 0; i < n; ++i) {
                    remember(json_object_array_get_idx(member, i));
                    json_object_array_put_idx(member, i, json_object_new_string("***"));
                }
                continue;
            }
            remember(member);
            char shown[40];
            secret_replacement(
                key,
                json_object_is_type(member, json_type_string) ? json_object_get_string(member) : "",
                shown, sizeof shown);
            json_object_object_add(value, key, json_object_new_string(shown));
        } else if (secret_name && json_object_is_type(member, json_type_array) &&
                   all_scalars(member)) {
            // "short_id": [...], "key": ["-----BEGIN ...", ...]: every item.
            size_t n = json_object_array_length(member);
            for (size_t i = 0; i < n; ++i) {
                json_object* item = json_object_array_get_idx(member, i);
                if (json_object_is_type(item, json_type_string)) {
                    const char* v = json_object_get_string(item);
                    if (!value_is_secret(key, v, strlen(v))) continue;
                } else if (item == nullptr || json_object_is_type(item, json_type_boolean)) {
                    continue;
                }
                remember(item);
                json_object_array_put_idx(member, i, json_object_new_string("***"));
            }
        } else if (is_container(member)) {
            json_place inner;
            inner.proxy = proxy;
            inner.remote_list = strcmp(key, "outbounds") == 0 || strcmp(key, "endpoints") == 0;
            inner.peers = strcmp(key, "peers") == 0;
            inner.users = strcmp(key, "users") == 0;
            mask_value(member, inner);
        } else if (json_object_is_type(member, json_type_string)) {
            mask_string(member);
        }
    }
}

}  // namespace

void mask_json_secrets(json_object* value) {
    if (value) mask_value(value, json_place{});
}

size_t mask_json_text(const char* text, char* out, size_t cap) {
    return mask_text(text, out, cap, mask_endpoints, &report_mask_map());
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
