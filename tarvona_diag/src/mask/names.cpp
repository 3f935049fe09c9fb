#include "mask/names.h"

#include <cstdio>
#include <cstring>

#include "mask/chars.h"
#include "text_ops.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

// Word parts that make a name secret.
constexpr const char* secret_parts[] = {
    "password",   "passwd",      "passphrase", "pass",         "pwd",     "passcode",
    "passgroup",  "psk",         "secret",     "secrets",      "token",   "tokens",
    "key",        "keys",        "privkey",    "private",      "priv",    "auth",
    "authkey",    "apikey",      "updatekey",  "pin",          "pincode", "uuid",
    "credential", "credentials", "cred",       "creds",        "cookie",  "authorization",
    "otp",        "totp",        "obfs",       "subscription",
};
// The secret parts that free text may follow with a bare or quoted value.
constexpr const char* password_parts[] = {"password", "passwd", "passphrase", "passcode",
                                          "psk",      "pwd",    "secret"};
// Word parts that name a person or an account: secret even next to "name".
constexpr const char* identity_parts[] = {"user", "users", "username", "login", "identity"};
// Word parts that describe a secret without being one.
constexpr const char* descriptor_parts[] = {
    "type",       "mode",    "mgmt",    "server",   "servers",  "port",     "ports",   "algs",
    "algorithms", "cache",   "method",  "file",     "path",     "dir",      "length",  "len",
    "size",       "index",   "idx",     "retries",  "generate", "interval", "timeout", "lifetime",
    "required",   "require", "enabled", "enable",   "disable",  "disabled", "format",  "id",
    "version",    "ttl",     "group",   "exchange", "usage",    "bits",     "agent",   "hint",
    "rotation",   "count",   "retry",
};
// Whole names that stay visible although a part looks secret.
constexpr const char* kept_names[] = {"key_mgmt",
                                      "auth_type",
                                      "encryption",
                                      "ssid",
                                      "keepalive",
                                      "persistent_keepalive",
                                      "ft_psk_generate_local"};
// Whole names that are secret although no part says so (802.11r key
// holders carry the key inside the item).
constexpr const char* secret_names[] = {"r0kh", "r1kh", "dc_override", "short_id", "fingerprint"};
// Method words: the value of an "auth"/"obfs" option that names a method.
constexpr const char* method_words[] = {
    "pap",     "chap", "mschap",  "mschapv2", "eap-mschapv2", "gtc",
    "eap-gtc", "md5",  "eap-md5", "tls",      "ttls",         "peap",
    "none",    "auto", "both",    "http",     "salamander",   "sha1",
    "sha256",  "null", "0",       "1",
};
// The accounts daemons run as: a user option holding one is no secret.
constexpr const char* system_accounts[] = {"root",    "daemon", "nobody", "nogroup", "network",
                                           "dnsmasq", "ntp",    "ubus",   "logd",    "www-data"};

// Calls f(part, length) for each word part of a name: runs of letters and
// digits, split also where a lower case letter meets an upper case one
// (camelCase). Trailing digits do not change the word (key1, password2).
template <typename F> void for_each_part(const char* name, size_t len, F f) {
    size_t i = 0;
    while (i < len) {
        while (i < len && !is_alnum(name[i]))
            ++i;
        size_t start = i;
        while (i < len && is_alnum(name[i])) {
            ++i;
            if (i < len && islower(static_cast<unsigned char>(name[i - 1])) &&
                isupper(static_cast<unsigned char>(name[i])))
                break;
        }
        size_t end = i;
        if (end == start) continue;
        while (end > start + 1 && is_digit(name[end - 1]))
            --end;
        f(name + start, end - start);
    }
}

struct name_parts {
    bool secret = false;     // a secret part
    bool password = false;   // a password part
    bool identity = false;   // an identity part
    bool descriptor = false; // a descriptor other than "name"
    bool named = false;      // the descriptor "name"
    bool method_kind = true; // every secret part is "auth" or "obfs"
};

name_parts classify(const char* name, size_t len) {
    name_parts r;
    for_each_part(name, len, [&](const char* w, size_t wl) {
        if (in_list(secret_parts, w, wl)) {
            r.secret = true;
            if (in_list(password_parts, w, wl)) r.password = true;
            if (!equals_ci(w, wl, "auth") && !equals_ci(w, wl, "obfs")) r.method_kind = false;
        } else if (in_list(identity_parts, w, wl)) {
            r.identity = true;
            r.method_kind = false;
        } else if (equals_ci(w, wl, "name")) {
            r.named = true;
        } else if (in_list(descriptor_parts, w, wl)) {
            r.descriptor = true;
        }
    });
    return r;
}

} // namespace

bool is_secret_name(const char* name, size_t len) {
    if (!name) return false;
    while (len > 0 && *name == '-') {
        ++name;
        --len;
    }
    if (len == 0) return false;
    if (in_list(kept_names, name, len)) return false;
    if (in_list(secret_names, name, len)) return true;
    name_parts p = classify(name, len);
    if (p.descriptor) return false;
    if (p.identity) return true;
    return p.secret && !p.named;
}

bool is_secret_name(const char* name) {
    return name && is_secret_name(name, strlen(name));
}

bool value_is_secret(const char* name, const char* value, size_t len) {
    if (!is_secret_name(name)) return false;
    if (len == 0 || (len == 3 && memcmp(value, "***", 3) == 0)) return false;
    size_t nlen = strlen(name);
    if (in_list(secret_names, name, nlen)) return true;
    const name_parts parts = classify(name, nlen);
    if (parts.identity && !parts.secret && in_list(system_accounts, value, len)) return false;
    if (parts.method_kind) {
        // "auth=MSCHAPV2", "autheap=MSCHAPV2": the method after the "=".
        const char* eq = static_cast<const char*>(memchr(value, '=', len));
        const char* v = eq ? eq + 1 : value;
        size_t vl = len - static_cast<size_t>(v - value);
        if (in_list(method_words, v, vl)) return false;
    }
    return true;
}

bool is_password_word(const char* name, size_t len) {
    return is_secret_name(name, len) && classify(name, len).password;
}

size_t auth_scheme_length(const char* name, const char* v, size_t len) {
    if (!equals_ci(name, strlen(name), "authorization") &&
        !equals_ci(name, strlen(name), "proxy-authorization"))
        return 0;
    size_t k = 0;
    while (k < len && is_alpha(v[k]))
        ++k;
    return (k > 0 && k < 24 && k + 1 < len && v[k] == ' ') ? k + 1 : 0;
}

void secret_replacement(const char* name, const char* value, char* out, size_t cap) {
    size_t keep = value ? auth_scheme_length(name, value, strlen(value)) : 0;
    snprintf(out, cap, "%.*s***", static_cast<int>(keep), value ? value : "");
}

// ---------------------------------------------------------------- endpoints

bool is_server_key(const char* name, size_t len) {
    static constexpr const char* qualifiers[] = {"port", "ports", "address", "addr", "host", "ip"};
    int index = 0;
    bool ok = true;
    for_each_part(name, len, [&](const char* w, size_t wl) {
        if (index++ == 0)
            ok = ok && equals_ci(w, wl, "server");
        else
            ok = ok && in_list(qualifiers, w, wl);
    });
    return ok && index > 0;
}

bool is_server_key(const char* name) {
    return name && is_server_key(name, strlen(name));
}

bool is_proxy_option_endpoint(const char* name) {
    if (!name) return false;
    const size_t len = strlen(name);
    if (is_server_key(name, len)) return true;
    static constexpr const char* remote_words[] = {"host",     "address", "addr",
                                                   "endpoint", "remote",  "peer"};
    static constexpr const char* beside[] = {"port", "ports", "ip", "proxy"};
    bool remote = false, other = false;
    for_each_part(name, len, [&](const char* w, size_t wl) {
        if (in_list(remote_words, w, wl))
            remote = true;
        else if (!in_list(beside, w, wl))
            other = true;
    });
    return remote && !other;
}

bool is_server_set_name(const char* name, size_t len) {
    static constexpr const char* words[] = {"server", "servers", "endpoint", "endpoints"};
    bool found = false;
    for_each_part(name, len,
                  [&](const char* w, size_t wl) { found = found || in_list(words, w, wl); });
    return found;
}

// ---------------------------------------------------------------- protocols

namespace {

struct protocol {
    const char* type;       // sing-box type
    const char* schemes[5]; // link schemes
};

constexpr protocol protocols[] = {
    {"vless", {"vless"}},
    {"vmess", {"vmess"}},
    {"shadowsocks", {"ss"}},
    {"shadowsocksr", {"ssr"}},
    {"trojan", {"trojan"}},
    {"hysteria", {"hysteria"}},
    {"hysteria2", {"hysteria2", "hy2"}},
    {"tuic", {"tuic"}},
    {"socks", {"socks", "socks4", "socks4a", "socks5", "socks5h"}},
    {"http", {}}, // an http:// link is an ordinary URL
    {"wireguard", {"wireguard", "wg"}},
    {"amneziawg", {"awg"}},
    {"anytls", {"anytls"}},
    {"shadowtls", {"shadowtls"}},
    {"naive", {"naive+https", "naive+quic"}},
    {"juicity", {"juicity"}},
    {"mieru", {"mieru"}},
    {"brook", {"brook"}},
    {"snell", {"snell"}},
    {"ssh", {"ssh"}},
    {"outline", {"outline"}},
    {"mtproto", {"tg"}},
};

} // namespace

bool is_proxy_type(const char* type) {
    if (!type) return false;
    for (const protocol& p : protocols)
        if (strcmp(p.type, type) == 0) return true;
    return false;
}

bool is_proxy_scheme(const char* s, size_t len) {
    for (const protocol& p : protocols)
        for (const char* scheme : p.schemes)
            if (scheme && equals_ci(s, len, scheme)) return true;
    return false;
}

bool is_local_type(const char* type, size_t len) {
    static constexpr const char* local[] = {"direct", "block", "dns", "selector", "urltest"};
    for (const char* l : local)
        if (strlen(l) == len && memcmp(l, type, len) == 0) return true;
    return false;
}

bool is_local_type(const char* type) {
    return type && is_local_type(type, strlen(type));
}

// ---------------------------------------------------------------- interfaces

bool is_hidden_iface(const char* name) {
    static constexpr const char* hidden[] = {"lo",      "sit0",    "gre0",    "gretap0",
                                             "erspan0", "ip6tnl0", "ip6gre0", "tunl0"};
    if (!name) return false;
    return in_set(hidden, name) || strstr(name, "@NONE") != nullptr;
}

bool is_wan_iface(const char* name) {
    if (!name) return false;
    return strcmp(name, "eth0") == 0 || strcmp(name, "eth1") == 0 ||
           strncmp(name, "pppoe-", 6) == 0 || strncmp(name, "wan", 3) == 0;
}

bool is_uplink_name(const char* name) {
    if (!name || !*name) return false;
    char base[32];
    snprintf(base, sizeof base, "%.*s", static_cast<int>(strcspn(name, "@")), name);
    if (is_wan_iface(base)) return true;
    static constexpr const char* prefixes[] = {"wwan", "3g-", "pppoa-", "rmnet", "qmimux"};
    for (const char* p : prefixes)
        if (starts_with(base, p)) return true;
    return strncmp(base, "ppp", 3) == 0 && is_digit(base[3]);
}

} // namespace tarvona_diag
