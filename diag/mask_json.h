// Secret masking of JSON configurations (sing-box).
#pragma once

#include <cstddef>

struct json_object;

namespace diag {

// Masks a parsed JSON value in place: members whose key is always secret
// ("private_key", "public_key", "pre_shared_key", "short_id",
// "fingerprint") anywhere, and the endpoint members ("server",
// "server_port", "password", "uuid", "username") of objects whose "type" is
// a proxy protocol, and of the objects nested in them, get the string "***"
// as value. A null value is ignored.
void mask_json_secrets(json_object* value);

// The configuration text of a JSON config file: text parsed, masked and
// pretty-printed into out (capacity cap, cut at cap - 1, terminated). A text
// that does not parse is copied unchanged. Returns the length stored.
size_t prepare_json_config(const char* text, char* out, size_t cap);

}  // namespace diag
