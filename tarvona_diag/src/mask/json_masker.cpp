#include "mask/json_masker.h"

#include <json-c/json.h>

#include <cstring>
#include <memory>

#include "handles.h"
#include "mask/names.h"
#include "mask/text_masker.h"
#include "report.h"
#include "text_ops.h"

namespace tarvona_diag {

namespace {

constexpr const char* always_secret[] = {"private_key", "public_key", "pre_shared_key", "short_id",
                                         "fingerprint"};
constexpr const char* proxy_endpoint[] = {"server",   "server_port", "server_ports",
                                          "password", "uuid",        "username"};

bool is_container(json_object* v) {
    return json_object_is_type(v, json_type_object) || json_object_is_type(v, json_type_array);
}

const char* type_of(json_object* obj) {
    json_object* type = nullptr;
    if (!json_object_object_get_ex(obj, "type", &type)) return nullptr;
    if (!json_object_is_type(type, json_type_string)) return nullptr;
    return json_object_get_string(type);
}

// An outbound or endpoint that dials a server of its own: any but the
// plainly local types (an entry without a string type counts as remote).
bool is_remote_entry(json_object* obj) {
    const char* type = type_of(obj);
    return !type || !is_local_type(type);
}

bool all_scalars(json_object* array) {
    size_t n = json_object_array_length(array);
    for (size_t i = 0; i < n; ++i)
        if (is_container(json_object_array_get_idx(array, i))) return false;
    return true;
}

// Where a value sits, as far as masking cares.
struct json_place {
    bool proxy = false;       // inside a proxy inbound/outbound or a remote outbound/endpoint
    bool remote_list = false; // the elements are outbounds or endpoints
    bool peers = false;       // the elements are WireGuard peers
    bool users = false;       // the elements are the users of an inbound
};

constexpr size_t string_capacity = 16384;

class json_walk {
  public:
    explicit json_walk(hidden_map* map) : map_(map), scratch_(new char[string_capacity]) {}

    void value(json_object* v, json_place place) {
        if (json_object_is_type(v, json_type_array))
            array(v, place);
        else if (json_object_is_type(v, json_type_object))
            object(v, place);
    }

  private:
    hidden_map* map_;
    std::unique_ptr<char[]> scratch_;

    void remember(json_object* v) {
        if (map_ && json_object_is_type(v, json_type_string))
            hidden_map_add(*map_, json_object_get_string(v));
    }

    // Links, tokens, PEM blocks inside a string value.
    void string(json_object* v) {
        const char* text = json_object_get_string(v);
        char* masked = scratch_.get();
        size_t n = mask_text(text, masked, string_capacity, 0, map_);
        if (strlen(text) < string_capacity && strcmp(text, masked) != 0)
            json_object_set_string_len(v, masked, static_cast<int>(n));
    }

    void array(json_object* v, json_place place) {
        size_t n = json_object_array_length(v);
        for (size_t i = 0; i < n; ++i) {
            json_object* item = json_object_array_get_idx(v, i);
            if (is_container(item))
                value(item, place);
            else if (json_object_is_type(item, json_type_string))
                string(item);
        }
    }

    void object(json_object* v, json_place place) {
        // A proxy protocol anywhere, and any outbound or endpoint that is not
        // plainly local: its server, ports and credentials are secret, and so
        // are those of the objects nested in it (inbound users, peers).
        const bool proxy =
            place.proxy || is_proxy_type(type_of(v)) || (place.remote_list && is_remote_entry(v));
        // Replacing a member's value keeps the key's place in the object, so
        // the walk goes on over the same entries.
        json_object_object_foreach(v, key, member) {
            const bool endpoint =
                proxy &&
                (in_set(proxy_endpoint, key) ||
                 (place.peers && (strcmp(key, "address") == 0 || strcmp(key, "port") == 0)));
            const bool named =
                in_set(always_secret, key) || endpoint || (place.users && strcmp(key, "name") == 0);
            const bool secret_name = is_secret_name(key);
            if (named || (secret_name && !is_container(member))) {
                if (!named && json_object_is_type(member, json_type_string)) {
                    const char* s = json_object_get_string(member);
                    if (!value_is_secret(key, s, strlen(s))) continue;
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
                secret_replacement(key,
                                   json_object_is_type(member, json_type_string)
                                       ? json_object_get_string(member)
                                       : "",
                                   shown, sizeof shown);
                json_object_object_add(v, key, json_object_new_string(shown));
            } else if (secret_name && json_object_is_type(member, json_type_array) &&
                       all_scalars(member)) {
                // "short_id": [...], "key": ["-----BEGIN ...", ...]: every item.
                size_t n = json_object_array_length(member);
                for (size_t i = 0; i < n; ++i) {
                    json_object* item = json_object_array_get_idx(member, i);
                    if (json_object_is_type(item, json_type_string)) {
                        const char* s = json_object_get_string(item);
                        if (!value_is_secret(key, s, strlen(s))) continue;
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
                value(member, inner);
            } else if (json_object_is_type(member, json_type_string)) {
                string(member);
            }
        }
    }
};

} // namespace

void mask_json_secrets(json_object* value, hidden_map* map) {
    if (!value) return;
    json_walk walk(map);
    walk.value(value, json_place{});
}

size_t mask_json_config(const char* text, char* out, size_t cap, hidden_map* map) {
    if (!out || cap == 0) return 0;
    json_root doc(text ? json_tokener_parse(text) : nullptr);
    if (!doc) return mask_text(text, out, cap, mask_endpoints, map);
    mask_json_secrets(doc.get(), map);
    copy_text(out, cap, json_object_to_json_string_ext(doc.get(), JSON_C_TO_STRING_PRETTY));
    return strlen(out);
}

} // namespace tarvona_diag
