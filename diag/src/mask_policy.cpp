#include "mask_policy.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "mask.h"
#include "text_ops.h"

namespace diag {

namespace {

bool is_alnum(char c) {
    return isalnum(static_cast<unsigned char>(c)) != 0;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_alpha(char c) {
    return isalpha(static_cast<unsigned char>(c)) != 0;
}
char lower(char c) {
    return static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

bool equals_ci(const char* a, size_t alen, const char* b) {
    size_t blen = strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool starts_with_ci(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (!*s || lower(*s) != lower(*prefix)) return false;
    return true;
}

template <size_t N> bool in_list(const char* const (&list)[N], const char* word, size_t len) {
    for (const char* w : list)
        if (equals_ci(word, len, w)) return true;
    return false;
}

// Word parts that make a name secret.
constexpr const char* secret_parts[] = {
    "password",   "passwd",      "passphrase", "pass",         "pwd",     "passcode",
    "passgroup",  "psk",         "secret",     "secrets",      "token",   "tokens",
    "key",        "keys",        "privkey",    "private",      "priv",    "auth",
    "authkey",    "apikey",      "updatekey",  "pin",          "pincode", "uuid",
    "credential", "credentials", "cred",       "creds",        "cookie",  "authorization",
    "otp",        "totp",        "obfs",       "subscription",
};
// Word parts that name a person or an account: secret even next to "name".
constexpr const char* identity_parts[] = {"user", "users", "username", "login", "identity"};
// Word parts that describe a secret without being one.
constexpr const char* descriptor_parts[] = {
    "type",       "mode",    "mgmt",    "server",   "servers",  "port",     "ports",   "algs",
    "algorithms", "cache",   "method",  "file",     "path",     "dir",      "length",  "len",
    "size",       "index",   "idx",     "retries",  "generate", "interval", "timeout", "lifetime",
    "required",   "require", "enabled", "enable",   "disable",  "disabled", "format",  "id",
    "version",    "ttl",     "group",   "exchange", "usage",    "bits",     "agent",   "hint",
    "rotation",   "name",    "mgmt",    "count",    "retry",
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

struct name_parts {
    bool secret = false;     // a secret part
    bool identity = false;   // an identity part
    bool descriptor = false; // a descriptor other than "name"
    bool named = false;      // the descriptor "name"
    bool method_kind = true; // every secret part is "auth" or "obfs"
};

name_parts classify(const char* name, size_t len) {
    name_parts r;
    size_t i = 0;
    while (i < len) {
        // One part: a run of letters and digits, split also where a lower
        // case letter meets an upper case one (camelCase).
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
        // key1..key4, password2: trailing digits do not change the word.
        size_t word_end = end;
        while (word_end > start + 1 && is_digit(name[word_end - 1]))
            --word_end;
        const char* w = name + start;
        size_t wl = word_end - start;
        if (in_list(secret_parts, w, wl)) {
            r.secret = true;
            if (!equals_ci(w, wl, "auth") && !equals_ci(w, wl, "obfs")) r.method_kind = false;
        } else if (in_list(identity_parts, w, wl)) {
            r.identity = true;
            r.method_kind = false;
        } else if (equals_ci(w, wl, "name")) {
            r.named = true;
        } else if (in_list(descriptor_parts, w, wl)) {
            r.descriptor = true;
        }
    }
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
    // The account a daemon runs as ("option ws_user 'daemon'") is no secret.
    static constexpr const char* system_accounts[] = {"root",    "daemon",  "nobody", "nogroup",
                                                      "network", "dnsmasq", "ntp",    "ubus",
                                                      "logd",    "www-data"};
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

namespace {

// The length of the scheme word and blank that start an Authorization value.
size_t auth_scheme_length(const char* name, const char* v, size_t len) {
    if (!equals_ci(name, strlen(name), "authorization") &&
        !equals_ci(name, strlen(name), "proxy-authorization"))
        return 0;
    size_t k = 0;
    while (k < len && is_alpha(v[k]))
        ++k;
    return (k > 0 && k < 24 && k + 1 < len && v[k] == ' ') ? k + 1 : 0;
}

} // namespace

void secret_replacement(const char* name, const char* value, char* out, size_t cap) {
    size_t keep = value ? auth_scheme_length(name, value, strlen(value)) : 0;
    snprintf(out, cap, "%.*s***", static_cast<int>(keep), value ? value : "");
}

bool is_proxy_scheme(const char* s, size_t len) {
    static constexpr const char* schemes[] = {
        "vless",      "vmess",     "ss",    "ssr",    "trojan",  "hysteria",  "hysteria2",
        "hy2",        "tuic",      "socks", "socks4", "socks4a", "socks5",    "socks5h",
        "tg",         "wireguard", "wg",    "awg",    "anytls",  "shadowtls", "naive+https",
        "naive+quic", "juicity",   "mieru", "brook",  "snell",   "ssh",       "outline",
    };
    return in_list(schemes, s, len);
}

// ---------------------------------------------------------------- map

namespace {

bool parse_ipv4(const char* s, size_t len) {
    int dots = 0, digits = 0;
    for (size_t i = 0; i < len; ++i) {
        if (s[i] == '.') {
            if (digits == 0) return false;
            ++dots;
            digits = 0;
        } else if (is_digit(s[i])) {
            if (++digits > 3) return false;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

bool plain_word(const char* v, size_t len) {
    static constexpr const char* words[] = {"true", "false", "none",    "auto",     "null",
                                            "yes",  "no",    "enabled", "disabled", "default"};
    return in_list(words, v, len);
}

// Appears on its own: not inside a longer word (values) or number (IPv4).
bool word_char(char c) {
    return is_alnum(c) || c == '_' || c == '-';
}

} // namespace

void mask_map_clear(mask_map& m) {
    m.count = 0;
}

bool mask_map_add(mask_map& m, const char* value, size_t len) {
    if (!value) return false;
    while (len > 0 && (*value == ' ' || *value == '\t'))
        ++value, --len;
    while (len > 0 && (value[len - 1] == ' ' || value[len - 1] == '\t'))
        --len;
    // A prefix length does not belong to the address.
    if (const char* slash = static_cast<const char*>(memchr(value, '/', len));
        slash && parse_ipv4(value, static_cast<size_t>(slash - value)))
        len = static_cast<size_t>(slash - value);
    if (len >= mask_map::value_capacity) return false;
    // Short words ("root", "admin") would hide ordinary text elsewhere.
    if (len < (parse_ipv4(value, len) ? 7u : 6u)) return false;
    if (memmem(value, len, "***", 3) || memmem(value, len, ".x.x", 4)) return false;
    if (memchr(value, '\n', len)) return false;
    bool digits_only = true;
    for (size_t i = 0; i < len; ++i)
        if (!is_digit(value[i])) digits_only = false;
    if (digits_only || plain_word(value, len)) return false;
    if (parse_ipv4(value, len) && (strncmp(value, "127.", 4) == 0 || strncmp(value, "0.", 2) == 0))
        return false;
    if (equals_ci(value, len, "localhost") || equals_ci(value, len, "::1") ||
        equals_ci(value, len, "::"))
        return false;
    for (int i = 0; i < m.count; ++i)
        if (strlen(m.values[i]) == len && memcmp(m.values[i], value, len) == 0) return true;
    if (m.count >= mask_map::capacity) return false;
    memcpy(m.values[m.count], value, len);
    m.values[m.count][len] = '\0';
    ++m.count;
    return true;
}

bool mask_map_add(mask_map& m, const char* value) {
    return value && mask_map_add(m, value, strlen(value));
}

void mask_map_apply(const mask_map& m, char* text, size_t cap) {
    if (!text || cap == 0) return;
    size_t total = strlen(text);
    // Longest first: "alice:pw" must go whole before "alice" could split it.
    int order[mask_map::capacity];
    for (int k = 0; k < m.count; ++k) {
        int j = k;
        while (j > 0 && strlen(m.values[order[j - 1]]) < strlen(m.values[k])) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = k;
    }
    for (int n = 0; n < m.count; ++n) {
        const char* v = m.values[order[n]];
        const size_t vlen = strlen(v);
        const bool ipv4 = parse_ipv4(v, vlen);
        char rep[masked_ip_capacity];
        if (ipv4)
            mask_ip(v, rep);
        else
            snprintf(rep, sizeof rep, "***");
        const size_t rep_len = strlen(rep);
        const bool v_word_start = word_char(v[0]);
        const bool v_word_end = word_char(v[vlen - 1]);
        size_t from = 0;
        while (from < total) {
            char* hit = strstr(text + from, v);
            if (!hit) break;
            size_t pos = static_cast<size_t>(hit - text);
            char before = pos > 0 ? text[pos - 1] : '\0';
            char after = text[pos + vlen];
            bool inside;
            if (ipv4) {
                // 203.0.113.70 and 1.203.0.113.7 are other numbers; an
                // address at the end of a sentence ("... 203.0.113.7.") is not.
                inside = is_digit(before) ||
                         (before == '.' && pos > 1 && is_digit(text[pos - 2])) || is_digit(after) ||
                         (after == '.' && is_digit(text[pos + vlen + 1]));
            } else {
                inside = (v_word_start && word_char(before)) || (v_word_end && word_char(after));
            }
            if (inside) {
                from = pos + 1;
                continue;
            }
            total = splice(text, cap, total, pos, vlen, rep, rep_len);
            from = pos + rep_len;
        }
    }
}

mask_map& report_mask_map() {
    static mask_map map;
    return map;
}

// ---------------------------------------------------------------- texts

namespace {

class writer {
  public:
    writer(char* out, size_t cap) : out_(out), cap_(cap) {
        if (cap_) out_[0] = '\0';
    }
    void put(const char* p, size_t len) {
        if (cap_ == 0) return;
        size_t room = cap_ - 1 - n_;
        if (len > room) len = room;
        memcpy(out_ + n_, p, len);
        n_ += len;
        out_[n_] = '\0';
    }
    void put(const char* s) { put(s, strlen(s)); }
    void put(char c) { put(&c, 1); }
    size_t size() const { return n_; }

  private:
    char* out_;
    size_t cap_;
    size_t n_ = 0;
};

bool name_char(char c) {
    return is_alnum(c) || c == '_' || c == '.' || c == '-';
}
bool blank(char c) {
    return c == ' ' || c == '\t';
}
bool space(char c) {
    return blank(c) || c == '\n' || c == '\r';
}

// The end of a link or bare token: white space, quotes, brackets of markup.
bool link_end(char c) {
    return c == '\0' || space(c) || c == '"' || c == '\'' || c == '`' || c == '<' || c == '>';
}

class text_masker {
  public:
    text_masker(const char* in, char* out, size_t cap, unsigned flags, mask_map* map)
        : s_(in ? in : ""), w_(out, cap), flags_(flags), map_(map) {}

    size_t run() {
        while (s_[i_])
            step();
        return w_.size();
    }

  private:
    const char* s_;
    size_t i_ = 0;
    writer w_;
    unsigned flags_;
    mask_map* map_;

    bool boundary() const { return i_ == 0 || !name_char(s_[i_ - 1]); }
    void remember(const char* v, size_t len) {
        if (map_) mask_map_add(*map_, v, len);
    }
    void copy_to(size_t end) {
        w_.put(s_ + i_, end - i_);
        i_ = end;
    }

    void step() {
        if (pem_block()) return;
        if (boundary() && is_alnum(s_[i_])) {
            if (link()) return;
            if (bot_token()) return;
            if (bare_userinfo()) return;
        }
        if (boundary() && (is_alnum(s_[i_]) || s_[i_] == '-' || s_[i_] == '"' || s_[i_] == '\'' ||
                           s_[i_] == '_')) {
            if (named_value()) return;
        }
        w_.put(s_[i_++]);
    }

    // ------------------------------------------------------------ PEM

    bool pem_block() {
        if (s_[i_] != '-' || strncmp(s_ + i_, "-----BEGIN ", 11) != 0) return false;
        const char* head_end = strstr(s_ + i_ + 11, "-----");
        if (!head_end) return false;
        const char* nl = strchr(s_ + i_, '\n');
        if (nl && nl < head_end) return false;
        size_t head_len = static_cast<size_t>(head_end - (s_ + i_)) + 5;
        char head[128];
        snprintf(head, sizeof head, "%.*s", static_cast<int>(head_len), s_ + i_);
        if (!strstr(head, "PRIVATE KEY") && !strstr(head, "Static key")) return false;
        copy_to(i_ + head_len);
        // Keep the line break after the head (a real one or an escaped "\n").
        size_t k = i_;
        if (s_[k] == '\\' && s_[k + 1] == 'n')
            k += 2;
        else if (s_[k] == '\r' && s_[k + 1] == '\n')
            k += 2;
        else if (s_[k] == '\n')
            k += 1;
        copy_to(k);
        const char* end = strstr(s_ + i_, "-----END ");
        w_.put("***");
        if (!end) {
            i_ += strlen(s_ + i_);
            return true;
        }
        size_t e = static_cast<size_t>(end - s_);
        size_t brk = e;
        if (brk >= i_ + 2 && s_[brk - 2] == '\\' && s_[brk - 1] == 'n')
            brk -= 2;
        else if (brk >= i_ + 1 && s_[brk - 1] == '\n')
            brk -= (brk >= i_ + 2 && s_[brk - 2] == '\r') ? 2 : 1;
        i_ = brk;
        return true;
    }

    // ------------------------------------------------------------ links

    // scheme "://" (or ":\/\/" in JSON text) at i_.
    bool link() {
        size_t k = i_;
        if (!is_alpha(s_[k])) return false;
        while (is_alnum(s_[k]) || s_[k] == '+' || s_[k] == '-' || s_[k] == '.')
            ++k;
        size_t sep;
        if (strncmp(s_ + k, "://", 3) == 0)
            sep = 3;
        else if (strncmp(s_ + k, ":\\/\\/", 5) == 0)
            sep = 5;
        else
            return false;
        const char* scheme = s_ + i_;
        size_t scheme_len = k - i_;
        size_t body = k + sep;
        size_t end = body;
        while (!link_end(s_[end]))
            ++end;
        if (is_proxy_scheme(scheme, scheme_len)) {
            remember_link_parts(body, end);
            copy_to(body);
            w_.put("***");
            i_ = end;
            return true;
        }
        copy_to(body);
        url_rest(end);
        return true;
    }

    // The server and credentials of a proxy link go into the map.
    void remember_link_parts(size_t body, size_t end) {
        size_t auth_end = body;
        while (auth_end < end && s_[auth_end] != '/' && s_[auth_end] != '?' &&
               s_[auth_end] != '#' && !(s_[auth_end] == '\\' && s_[auth_end + 1] == '/'))
            ++auth_end;
        size_t host = body;
        for (size_t k = body; k < auth_end; ++k)
            if (s_[k] == '@') host = k + 1;
        if (host > body) remember(s_ + body, host - 1 - body);
        size_t host_end = host;
        if (s_[host] == '[') {
            while (host_end < auth_end && s_[host_end] != ']')
                ++host_end;
            remember(s_ + host + 1, host_end - host - 1);
        } else {
            while (host_end < auth_end && s_[host_end] != ':')
                ++host_end;
            remember(s_ + host, host_end - host);
        }
        // tg://proxy?server=...&secret=...: the values of the query.
        for (size_t k = auth_end; k < end; ++k) {
            if (s_[k] != '=') continue;
            size_t v = k + 1, ve = v;
            while (ve < end && s_[ve] != '&' && s_[ve] != '#')
                ++ve;
            size_t n = k;
            while (n > auth_end && s_[n - 1] != '?' && s_[n - 1] != '&')
                --n;
            static constexpr const char* remembered[] = {"server", "secret",   "sid",
                                                         "pbk",    "password", "host"};
            if (in_list(remembered, s_ + n, k - n)) remember(s_ + v, ve - v);
        }
    }

    // After "scheme://": user info, path, query and fragment up to end.
    void url_rest(size_t end) {
        size_t auth_end = i_;
        while (auth_end < end && s_[auth_end] != '/' && s_[auth_end] != '?' &&
               s_[auth_end] != '#' && !(s_[auth_end] == '\\' && s_[auth_end + 1] == '/'))
            ++auth_end;
        size_t at_sign = 0;
        for (size_t k = i_; k < auth_end; ++k)
            if (s_[k] == '@') at_sign = k;
        if (at_sign) {
            remember_userinfo(i_, at_sign);
            w_.put("***");
            i_ = at_sign;
        }
        const char* host = s_ + i_ + (at_sign ? 1 : 0);
        bool telegram = starts_with_ci(host, "t.me/") || starts_with_ci(host, "t.me\\/") ||
                        starts_with_ci(host, "telegram.me/") ||
                        starts_with_ci(host, "telegram.me\\/");
        copy_to(auth_end);
        if (telegram) {
            // t.me/proxy?server=..&secret=..: a proxy link like tg://.
            if (auth_end < end) {
                copy_to(auth_end + (s_[auth_end] == '\\' ? 2 : 1));
                remember_link_parts(i_, end);
                w_.put("***");
            }
            i_ = end;
            return;
        }
        // Path: segments that look like tokens are hidden.
        while (i_ < end && s_[i_] != '?' && s_[i_] != '#') {
            if (s_[i_] == '/' || s_[i_] == '\\') {
                w_.put(s_[i_++]);
                continue;
            }
            size_t seg_end = i_;
            while (seg_end < end && s_[seg_end] != '/' && s_[seg_end] != '\\' &&
                   s_[seg_end] != '?' && s_[seg_end] != '#')
                ++seg_end;
            mask_path_segment(seg_end);
        }
        // Query: name=value pairs.
        while (i_ < end && s_[i_] != '#') {
            if (s_[i_] == '?' || s_[i_] == '&' || s_[i_] == ';') {
                w_.put(s_[i_++]);
                continue;
            }
            size_t pair_end = i_;
            while (pair_end < end && s_[pair_end] != '&' && s_[pair_end] != ';' &&
                   s_[pair_end] != '#')
                ++pair_end;
            const char* eq = static_cast<const char*>(memchr(s_ + i_, '=', pair_end - i_));
            if (eq) {
                size_t name_len = static_cast<size_t>(eq - (s_ + i_));
                char name[64];
                snprintf(name, sizeof name, "%.*s", static_cast<int>(name_len), s_ + i_);
                size_t v = static_cast<size_t>(eq - s_) + 1;
                static constexpr const char* query_secrets[] = {"sig", "signature", "p",   "pw",
                                                                "u",   "hash",      "code"};
                bool secret = value_is_secret(name, s_ + v, pair_end - v) ||
                              (pair_end > v && in_list(query_secrets, name, strlen(name)));
                copy_to(v);
                if (secret) {
                    remember(s_ + v, pair_end - v);
                    w_.put("***");
                    i_ = pair_end;
                } else {
                    copy_to(pair_end);
                }
            } else if (pair_end - i_ >= 16 && token_like(i_, pair_end, 16)) {
                // A bare query that is one long token (dynamic DNS keys).
                remember(s_ + i_, pair_end - i_);
                w_.put("***");
                i_ = pair_end;
            } else {
                copy_to(pair_end);
            }
        }
        copy_to(end);
    }

    void remember_userinfo(size_t from, size_t to) {
        const char* colon = static_cast<const char*>(memchr(s_ + from, ':', to - from));
        if (colon) {
            remember(s_ + from, static_cast<size_t>(colon - (s_ + from)));
            remember(colon + 1, static_cast<size_t>((s_ + to) - colon - 1));
        } else {
            remember(s_ + from, to - from);
        }
    }

    // A word of at least min bytes starts at k (a bearer token).
    bool token_like_word(size_t k, size_t min) const {
        size_t e = k;
        while (!link_end(s_[e]))
            ++e;
        return e - k >= min;
    }

    // A run of letters, digits, '-' and '_' of at least min bytes with at
    // least one digit and one letter (a key, not a word or a number).
    bool token_like(size_t from, size_t to, size_t min) const {
        if (to - from < min) return false;
        bool letter = false, digit = false;
        for (size_t k = from; k < to; ++k) {
            char c = s_[k];
            if (is_digit(c))
                digit = true;
            else if (is_alpha(c))
                letter = true;
            else if (c != '-' && c != '_' && c != '=' && c != '%' && c != '+')
                return false;
        }
        return letter && digit;
    }

    void mask_path_segment(size_t seg_end) {
        // bot<digits>:<token> (Telegram bot API) or a long key.
        if (seg_end - i_ > 3 && strncmp(s_ + i_, "bot", 3) == 0 && is_digit(s_[i_ + 3]) &&
            memchr(s_ + i_, ':', seg_end - i_)) {
            remember(s_ + i_ + 3, seg_end - i_ - 3);
            w_.put("bot***");
            i_ = seg_end;
            return;
        }
        if (token_like(i_, seg_end, 24)) {
            remember(s_ + i_, seg_end - i_);
            w_.put("***");
            i_ = seg_end;
            return;
        }
        copy_to(seg_end);
    }

    // 123456789:AAH...: a Telegram bot token anywhere.
    bool bot_token() {
        size_t k = i_;
        while (is_digit(s_[k]))
            ++k;
        if (k - i_ < 6 || s_[k] != ':') return false;
        size_t t = k + 1, e = t;
        while (is_alnum(s_[e]) || s_[e] == '_' || s_[e] == '-')
            ++e;
        if (e - t < 30 || name_char(s_[e])) return false;
        remember(s_ + i_, e - i_);
        w_.put("***");
        i_ = e;
        return true;
    }

    // user:pass@host without a scheme.
    bool bare_userinfo() {
        size_t k = i_;
        while (is_alnum(s_[k]) || s_[k] == '.' || s_[k] == '_' || s_[k] == '-' || s_[k] == '%' ||
               s_[k] == '+')
            ++k;
        if (s_[k] != ':' || k == i_) return false;
        // User info is short: the look-ahead is bounded, so a long line of
        // colons costs no more than its length.
        size_t p = k + 1;
        while (p - k < 256 && !link_end(s_[p]) && s_[p] != '@' && s_[p] != '/' && s_[p] != ',' &&
               s_[p] != ';')
            ++p;
        if (s_[p] != '@' || p == k + 1 || !is_alnum(s_[p + 1])) return false;
        remember_userinfo(i_, p);
        w_.put("***");
        i_ = p;
        return true;
    }

    // ------------------------------------------------------------ keys

    // A name, perhaps quoted, then a separator and a value; or a UCI
    // "option NAME VALUE" line; or "--name value".
    bool named_value() {
        size_t k = i_;
        char quote = 0;
        if (s_[k] == '"' || s_[k] == '\'') quote = s_[k++];
        size_t name_start = k;
        while (name_char(s_[k]))
            ++k;
        size_t name_end = k;
        if (name_end == name_start) return false;
        if (quote) {
            if (s_[k] != quote) return false;
            ++k;
        }
        char name[96];
        if (name_end - name_start >= sizeof name) {
            copy_to(k);
            return true;
        }
        snprintf(name, sizeof name, "%.*s", static_cast<int>(name_end - name_start),
                 s_ + name_start);

        if (!quote && (strcmp(name, "option") == 0 || strcmp(name, "list") == 0) && line_start())
            return uci_line(k);

        // Blanks, then the separator; a quoted JSON key may have its colon
        // and value on the next lines.
        size_t j = k;
        while (quote == '"' ? space(s_[j]) : blank(s_[j]))
            ++j;
        char sep = s_[j];
        bool secret = is_secret_name(name) || ((flags_ & mask_endpoints) && endpoint_name(name));
        if (sep != ':' && sep != '=') {
            if (!quote && secret && name[0] == '-' && blank(s_[k])) return flag_value(k, j);
            if (!quote && (strcmp(name, "Bearer") == 0 || strcmp(name, "bearer") == 0) &&
                s_[k] == ' ' && token_like_word(k + 1, 8))
                return flag_value(k, k + 1);
            if (!quote &&
                (strcmp(name, "-u") == 0 || strcmp(name, "--user") == 0 ||
                 strcmp(name, "--proxy-user") == 0) &&
                blank(s_[k]))
                return flag_value(k, j);
            copy_to(k);
            return true;
        }
        if (!secret) {
            copy_to(k);
            return true;
        }
        // "host:port" and the like: a colon right after an unquoted name
        // is a separator only when something follows it.
        if (sep == ':' && !quote && s_[j + 1] && !space(s_[j + 1]) && s_[j + 1] != '"' &&
            s_[j + 1] != '\'' && !is_alnum(s_[j + 1])) {
            copy_to(k);
            return true;
        }
        size_t v = j + 1;
        while (quote == '"' ? space(s_[v]) : blank(s_[v]))
            ++v;
        copy_to(v);
        // "key: value" runs to the end of the line; "key:value" is one word.
        value(name, quote == '"', (sep == ':' && v > j + 1) ? ':' : '=');
        return true;
    }

    static bool endpoint_name(const char* name) {
        return strcmp(name, "server") == 0 || strcmp(name, "server_port") == 0 ||
               strcmp(name, "server_ports") == 0;
    }

    bool line_start() const {
        for (size_t k = i_; k > 0; --k) {
            char c = s_[k - 1];
            if (c == '\n') return true;
            if (!blank(c)) return false;
        }
        return true;
    }

    // UCI line: "option NAME VALUE" / "list NAME VALUE".
    bool uci_line(size_t k) {
        size_t n = k;
        while (blank(s_[n]))
            ++n;
        char q = (s_[n] == '"' || s_[n] == '\'') ? s_[n] : 0;
        size_t ns = n + (q ? 1 : 0), ne = ns;
        while (name_char(s_[ne]))
            ++ne;
        if (ne == ns || (q && s_[ne] != q) || (!q && !blank(s_[ne]))) {
            copy_to(k);
            return true;
        }
        char name[96];
        snprintf(name, sizeof name, "%.*s", static_cast<int>(ne - ns), s_ + ns);
        size_t v = ne + (q ? 1 : 0);
        while (blank(s_[v]))
            ++v;
        copy_to(v);
        // The value: quoted, or bare up to the end of the line.
        char vq = (s_[i_] == '\'' || s_[i_] == '"') ? s_[i_] : 0;
        size_t vs = i_ + (vq ? 1 : 0), ve = vs;
        if (vq) {
            while (s_[ve] && s_[ve] != vq && s_[ve] != '\n')
                ++ve;
        } else {
            while (s_[ve] && s_[ve] != '\n')
                ++ve;
            while (ve > vs && space(s_[ve - 1]))
                --ve;
        }
        if (!secret_value(name, s_ + vs, ve - vs)) {
            return true; // the value is scanned like any text (links in it)
        }
        copy_to(vs);
        remember(s_ + vs, ve - vs);
        if (ve > vs) w_.put("***");
        i_ = ve;
        return true;
    }

    // "--password value", "-u user:pass".
    bool flag_value(size_t k, size_t j) {
        if (s_[j] == '-' || !s_[j] || s_[j] == '\n') {
            copy_to(k);
            return true;
        }
        copy_to(j);
        char q = (s_[j] == '"' || s_[j] == '\'') ? s_[j] : 0;
        size_t vs = j + (q ? 1 : 0), ve = vs;
        if (q) {
            while (s_[ve] && s_[ve] != q && s_[ve] != '\n')
                ++ve;
        } else {
            while (!link_end(s_[ve]))
                ++ve;
        }
        copy_to(vs);
        remember(s_ + vs, ve - vs);
        if (ve > vs) w_.put("***");
        i_ = ve;
        return true;
    }

    // The value of a secret key at i_; sep ':' takes the rest of the line.
    void value(const char* name, bool json_key, char sep) {
        char c = s_[i_];
        if (c == '"' || c == '\'') {
            size_t vs = i_ + 1, ve = vs;
            while (s_[ve] && s_[ve] != c && s_[ve] != '\n')
                ve += (s_[ve] == '\\' && s_[ve + 1] && s_[ve + 1] != '\n') ? 2 : 1;
            copy_to(vs);
            // A JSON string cut short still ends in a quote once masked.
            if (hide(name, vs, ve) && json_key && s_[ve] != c) w_.put(c);
            return;
        }
        if (c == '\0' && json_key) {
            w_.put("\"***\"");
            return;
        }
        if (c == '[' && json_key) {
            array_value();
            return;
        }
        if (c == '{' || c == '[' || c == '\0' || c == '\n' || c == '\r') return;
        size_t vs = i_, ve = vs;
        if (json_key) {
            while (s_[ve] && !space(s_[ve]) && s_[ve] != ',' && s_[ve] != '}' && s_[ve] != ']')
                ++ve;
        } else if (sep == ':') {
            // "key: value": the rest of the line (up to a closing quote).
            while (s_[ve] && s_[ve] != '\n' && s_[ve] != '"' && s_[ve] != '\'' && s_[ve] != '`')
                ++ve;
            while (ve > vs && space(s_[ve - 1]))
                --ve;
        } else {
            while (!link_end(s_[ve]) && s_[ve] != ',' && s_[ve] != ';' && s_[ve] != '&' &&
                   s_[ve] != ')')
                ++ve;
        }
        if (json_key) {
            // A bare JSON value becomes a string; a switch stays.
            if (!secret_value(name, s_ + vs, ve - vs)) return;
            static constexpr const char* literals[] = {"true", "false", "null"};
            if (in_list(literals, s_ + vs, ve - vs)) return;
            remember(s_ + vs, ve - vs);
            w_.put("\"***\"");
            i_ = ve;
            return;
        }
        hide(name, vs, ve);
    }

    // Writes "***" for the value [vs, ve) (the scheme word of an
    // Authorization value stays) and moves past it; false when the value
    // is no secret (nothing written, i_ at vs).
    bool secret_value(const char* name, const char* v, size_t len) const {
        return value_is_secret(name, v, len) ||
               ((flags_ & mask_endpoints) && endpoint_name(name) && len > 0);
    }

    bool hide(const char* name, size_t vs, size_t ve) {
        if (!secret_value(name, s_ + vs, ve - vs)) return false;
        i_ = vs;
        copy_to(vs + auth_scheme_length(name, s_ + vs, ve - vs));
        remember(s_ + i_, ve - i_);
        w_.put("***");
        i_ = ve;
        return true;
    }

    // A JSON array under a secret key: every scalar hidden, the brackets,
    // commas, blanks and keys of nested objects kept.
    void array_value() {
        int depth = 0;
        while (s_[i_]) {
            char c = s_[i_];
            if (c == '[' || c == '{') {
                ++depth;
                w_.put(s_[i_++]);
            } else if (c == ']' || c == '}') {
                w_.put(s_[i_++]);
                if (--depth == 0) return;
            } else if (c == '"') {
                size_t ve = i_ + 1;
                while (s_[ve] && s_[ve] != '"' && s_[ve] != '\n')
                    ve += (s_[ve] == '\\' && s_[ve + 1]) ? 2 : 1;
                size_t after = ve + (s_[ve] == '"' ? 1 : 0);
                size_t j = after;
                while (space(s_[j]))
                    ++j;
                if (s_[j] == ':') {
                    copy_to(after); // a key
                } else {
                    remember(s_ + i_ + 1, ve - i_ - 1);
                    w_.put("\"***\"");
                    i_ = after;
                }
            } else if (space(c) || c == ',' || c == ':') {
                w_.put(s_[i_++]);
            } else {
                size_t ve = i_;
                while (s_[ve] && !space(s_[ve]) && !strchr(",]}:", s_[ve]))
                    ++ve;
                w_.put("\"***\"");
                i_ = ve;
            }
        }
    }
};

} // namespace

size_t mask_text(const char* in, char* out, size_t cap, unsigned flags, mask_map* map) {
    if (!out || cap == 0) return 0;
    text_masker m(in, out, cap, flags, map);
    return m.run();
}

void mask_text_in_place(char* text, size_t cap, unsigned flags, mask_map* map) {
    static char scratch[131072];
    if (!text || cap == 0) return;
    if (cap > sizeof scratch) cap = sizeof scratch;
    mask_text(text, scratch, cap, flags, map);
    memcpy(text, scratch, strlen(scratch) + 1);
}

// ---------------------------------------------------------------- WAN

void wan_set_add(wan_set& w, const char* device, size_t len) {
    if (!device || len == 0 || len >= sizeof w.devices[0]) return;
    for (int i = 0; i < w.count; ++i)
        if (strlen(w.devices[i]) == len && memcmp(w.devices[i], device, len) == 0) return;
    if (w.count >= wan_set::capacity) return;
    memcpy(w.devices[w.count], device, len);
    w.devices[w.count][len] = '\0';
    ++w.count;
}

void wan_set_add(wan_set& w, const char* device) {
    if (device) wan_set_add(w, device, strlen(device));
}

bool wan_set_has(const wan_set& w, const char* device) {
    if (!device || !*device) return false;
    if (is_wan_iface(device)) return true;
    // "lan4@eth0" in "ip -br link" is the device lan4.
    size_t len = strcspn(device, "@");
    for (int i = 0; i < w.count; ++i)
        if (strlen(w.devices[i]) == len && memcmp(w.devices[i], device, len) == 0) return true;
    return false;
}

void uci_l3_device(const char* section, const char* proto, const char* device, char* out,
                   size_t cap) {
    static constexpr struct {
        const char* proto;
        const char* prefix;
    } tunnels[] = {{"pppoe", "pppoe-"},     {"pppoa", "pppoa-"}, {"pptp", "pptp-"},
                   {"l2tp", "l2tp-"},       {"3g", "3g-"},       {"ppp", "ppp-"},
                   {"openconnect", "vpn-"}, {"vpnc", "vpn-"},    {"6in4", "6in4-"},
                   {"6to4", "6to4-"},       {"6rd", "6rd-"},     {"dslite", "ds-"},
                   {"gre", "gre4-"},        {"sstp", "sstp-"}};
    out[0] = '\0';
    if (!section || cap == 0) return;
    proto = proto ? proto : "";
    for (const auto& t : tunnels) {
        if (strcmp(proto, t.proto) == 0) {
            snprintf(out, cap, "%s%s", t.prefix, section);
            return;
        }
    }
    if (strcmp(proto, "wireguard") == 0 || strcmp(proto, "amneziawg") == 0) {
        snprintf(out, cap, "%s", section);
        return;
    }
    if (device && *device && device[0] != '@' && device[0] != '/') snprintf(out, cap, "%s", device);
}

namespace {

// Calls f(fields, count) for every line of text split at blanks.
template <typename F> void for_each_line(const char* text, F f) {
    const char* p = text ? text : "";
    while (*p) {
        const char* e = strchr(p, '\n');
        size_t len = e ? static_cast<size_t>(e - p) : strlen(p);
        char line[512];
        snprintf(line, sizeof line, "%.*s", static_cast<int>(len), p);
        const char* fields[24];
        int n = 0;
        char* save = nullptr;
        for (char* tok = strtok_r(line, " \t\r", &save); tok && n < 24;
             tok = strtok_r(nullptr, " \t\r", &save))
            fields[n++] = tok;
        if (n) f(fields, n);
        p += len;
        if (*p == '\n') ++p;
    }
}

const char* field_after(const char* const* fields, int n, const char* word) {
    for (int i = 1; i + 1 < n; ++i)
        if (strcmp(fields[i], word) == 0) return fields[i + 1];
    return nullptr;
}

} // namespace

void wan_devices_from_routes(const char* ip_route, wan_set& w) {
    for_each_line(ip_route, [&](const char* const* f, int n) {
        if (strcmp(f[0], "default") != 0) return;
        if (const char* dev = field_after(f, n, "dev")) wan_set_add(w, dev);
    });
}

void wan_addresses_from_brief(const char* ip_brief, const wan_set& w, mask_map& m) {
    for_each_line(ip_brief, [&](const char* const* f, int n) {
        if (n < 3 || !wan_set_has(w, f[0])) return;
        for (int i = 2; i < n; ++i) {
            if (strcmp(f[i], "peer") == 0) {
                ++i; // the remote end of a point-to-point link
                continue;
            }
            if (strncmp(f[i], "fe80:", 5) == 0 || strchr(f[i], '<')) continue;
            char addr[64];
            snprintf(addr, sizeof addr, "%s", f[i]);
            if (char* slash = strchr(addr, '/')) *slash = '\0';
            mask_map_add(m, addr);
        }
    });
}

bool is_public_ipv4(const char* a, size_t len) {
    if (!parse_ipv4(a, len)) return false;
    unsigned o[4] = {0, 0, 0, 0};
    char buf[16];
    snprintf(buf, sizeof buf, "%.*s", static_cast<int>(len), a);
    if (sscanf(buf, "%u.%u.%u.%u", &o[0], &o[1], &o[2], &o[3]) != 4) return false;
    if (o[0] == 0 || o[0] == 10 || o[0] == 127 || o[0] >= 224) return false;
    if (o[0] == 100 && o[1] >= 64 && o[1] < 128) return false;
    if (o[0] == 169 && o[1] == 254) return false;
    if (o[0] == 172 && o[1] >= 16 && o[1] < 32) return false;
    if (o[0] == 192 && o[1] == 168) return false;
    return true;
}

void wan_route_addresses(const char* ip_route, const wan_set& w, mask_map& m) {
    for_each_line(ip_route, [&](const char* const* f, int n) {
        const char* dev = field_after(f, n, "dev");
        if (!dev || !wan_set_has(w, dev)) return;
        if (const char* gw = field_after(f, n, "via"); gw && is_public_ipv4(gw, strlen(gw)))
            mask_map_add(m, gw);
        if (const char* src = field_after(f, n, "src")) mask_map_add(m, src);
        // A public host or network reached over the WAN: an endpoint, the
        // ISP's peer, or the WAN's own subnet.
        char dst[64];
        snprintf(dst, sizeof dst, "%s", f[0]);
        if (char* slash = strchr(dst, '/')) *slash = '\0';
        if (is_public_ipv4(dst, strlen(dst))) mask_map_add(m, dst);
    });
}

} // namespace diag
