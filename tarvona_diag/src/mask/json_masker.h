// Masking of JSON configurations (sing-box). Pure; what is hidden goes into
// the map the caller passes.
#pragma once

#include <cstddef>

#include "mask/hidden_map.h"

struct json_object;

namespace tarvona_diag {

// Masks a parsed JSON value in place: members whose key is always secret
// ("private_key", "public_key", "pre_shared_key", "short_id",
// "fingerprint") or secret-named (is_secret_name) anywhere; and in objects
// of a proxy type (is_proxy_type), in outbounds and endpoints that are not
// plainly local (is_local_type), and in every object nested in them, the
// endpoint members ("server", "server_port(s)", "password", "uuid",
// "username", a peer's "address" and "port", a user's "name") get the
// string "***" as value. Links, tokens and keys inside other strings are
// masked as text. A null value is ignored; map may be null.
void mask_json_secrets(json_object* value, hidden_map* map);

// The configuration text of a JSON config file: text parsed, masked and
// pretty-printed (json-c's flag 2) into out (capacity cap, cut at cap - 1,
// terminated). A text that does not parse is masked as text in endpoint
// mode (mask_text), never shown as read. Returns the length stored.
size_t mask_json_config(const char* text, char* out, size_t cap, hidden_map* map);

} // namespace tarvona_diag
