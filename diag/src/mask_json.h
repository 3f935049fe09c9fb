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

// A JSON text that does not parse (a half-edited file, a trailing comma)
// still holds the secrets: copies text into out (capacity cap, cut at
// cap - 1, terminated) with the value after every key of the secret and
// endpoint sets replaced by "***", wherever it stands, since without a parse
// the enclosing object's "type" is unknown. Returns the length stored.
size_t mask_json_text(const char* text, char* out, size_t cap);

// The configuration text of a JSON config file: text parsed, masked and
// pretty-printed into out (capacity cap, cut at cap - 1, terminated). A text
// that does not parse is masked as text by mask_json_text, never shown as
// read. Returns the length stored.
size_t prepare_json_config(const char* text, char* out, size_t cap);

}  // namespace diag
