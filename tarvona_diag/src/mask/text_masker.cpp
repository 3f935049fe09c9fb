#include "mask/text_masker.h"

#include <cstdio>
#include <cstring>

#include "mask/chars.h"
#include "mask/forms.h"
#include "mask/names.h"
#include "mask/text_writer.h"
#include "text_ops.h"

namespace tarvona_diag {

using namespace mask_chars;

namespace {

bool name_char(char c) {
    return is_alnum(c) || c == '_' || c == '.' || c == '-';
}

// The end of a link or bare token: white space, quotes, brackets of markup.
bool link_end(char c) {
    return c == '\0' || space(c) || c == '"' || c == '\'' || c == '`' || c == '<' || c == '>';
}

class text_masker {
  public:
    text_masker(const char* in, char* out, size_t cap, unsigned flags, hidden_map* map)
        : s_(in ? in : ""), w_(out, cap), flags_(flags), map_(map) {}

    size_t run() {
        while (s_[i_])
            step();
        return w_.size();
    }

  private:
    const char* s_;
    size_t i_ = 0;
    text_writer w_;
    unsigned flags_;
    hidden_map* map_;
    // JSON nesting as far as brackets tell (endpoint mode only), and the
    // depth of the "peers" array the walk is in (0: none).
    int depth_ = 0;
    int peers_depth_ = 0;
    bool peers_key_ = false; // a "peers" key was just copied

    bool boundary() const { return i_ == 0 || !name_char(s_[i_ - 1]); }
    void remember(const char* v, size_t len) {
        if (map_) hidden_map_add(*map_, v, len);
    }
    void copy_to(size_t end) {
        w_.put(s_ + i_, end - i_);
        i_ = end;
    }
    // Copies up to vs, then hides the value [vs, ve): "***" for a value
    // that is not empty, remembered in the map; goes on after it.
    void hide_span(size_t vs, size_t ve) {
        copy_to(vs);
        remember(s_ + vs, ve - vs);
        if (ve > vs) w_.put("***");
        i_ = ve;
    }
    // The quote that opens a value at k, or '\0' for a bare value.
    char quote_at(size_t k) const { return (s_[k] == '"' || s_[k] == '\'') ? s_[k] : '\0'; }
    // The end of a value quoted with q that begins at vs: its closing
    // quote, the end of the line or of the text.
    size_t quoted_end(size_t vs, char q) const {
        size_t ve = vs;
        while (s_[ve] && s_[ve] != q && s_[ve] != '\n')
            ++ve;
        return ve;
    }

    void step() {
        if (pem_block()) return;
        if (boundary() && is_alnum(s_[i_])) {
            if (link()) return;
            if (dial_target()) return;
            if (bot_token()) return;
            if (bare_userinfo()) return;
        }
        if (boundary() && (is_alnum(s_[i_]) || s_[i_] == '-' || s_[i_] == '"' || s_[i_] == '\'' ||
                           s_[i_] == '_')) {
            if (named_value()) return;
        }
        if (flags_ & mask_endpoints) track_brackets(s_[i_]);
        w_.put(s_[i_++]);
    }

    void track_brackets(char c) {
        if (c == '[' || c == '{') {
            ++depth_;
            if (c == '[' && peers_key_) peers_depth_ = depth_;
        } else if (c == ']' || c == '}') {
            if (depth_ == peers_depth_) peers_depth_ = 0;
            if (depth_ > 0) --depth_;
        }
        if (c != ':' && !space(c)) peers_key_ = false;
    }

    bool in_peers() const { return peers_depth_ > 0 && depth_ >= peers_depth_; }

    // ------------------------------------------------------------ dial

    static constexpr size_t dial_lookback = 256;

    // "outbound/TYPE[TAG]: dial tcp HOST:PORT" of sing-box: the server a
    // proxy outbound connects to. The host is hidden here and remembered.
    bool dial_target() {
        if (strncmp(s_ + i_, "dial ", 5) != 0) return false;
        size_t k = i_ + 5;
        static constexpr const char* nets[] = {"tcp4 ", "tcp6 ", "udp4 ", "udp6 ", "tcp ", "udp "};
        size_t net = 0;
        for (const char* n : nets)
            if (starts_with(s_ + k, n)) {
                net = strlen(n);
                break;
            }
        if (net == 0) return false;
        k += net;
        // The outbound's type, earlier on the same line (a sing-box line
        // names it shortly before; the look-back is bounded, so a line of
        // many "dial" words costs no more than its length).
        size_t ls = i_;
        while (ls > 0 && s_[ls - 1] != '\n' && i_ - ls < dial_lookback)
            --ls;
        const char* ob = nullptr;
        for (size_t p = ls; p + 9 <= i_; ++p)
            if (strncmp(s_ + p, "outbound/", 9) == 0) ob = s_ + p + 9;
        if (!ob) return false;
        size_t tl = 0;
        while (ob[tl] && ob[tl] != '[' && ob[tl] != ':' && !space(ob[tl]))
            ++tl;
        if (ob[tl] != '[' || is_local_type(ob, tl)) return false;
        // HOST:PORT or [IPv6]:PORT
        size_t hs = k, he;
        if (s_[k] == '[') {
            hs = k + 1;
            he = hs;
            while (is_hex(s_[he]) || s_[he] == ':' || s_[he] == '.')
                ++he;
            if (s_[he] != ']') return false;
        } else {
            // A host name or an IPv4 address, then the port.
            he = k;
            while (is_alnum(s_[he]) || s_[he] == '.' || s_[he] == '-' || s_[he] == '_')
                ++he;
            if (s_[he] != ':' || !is_digit(s_[he + 1])) return false;
        }
        if (he == hs) return false;
        copy_to(hs);
        remember(s_ + hs, he - hs);
        char host[masked_ip_capacity];
        snprintf(host, sizeof host, "%.*s", static_cast<int>(he - hs), s_ + hs);
        char shown[masked_ip_capacity];
        if (parse_ipv4(host, strlen(host)))
            mask_ip(host, shown);
        else
            snprintf(shown, sizeof shown, "***");
        w_.put(shown);
        i_ = he;
        return true;
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
        if ((s_[k] == '\\' && s_[k + 1] == 'n') || (s_[k] == '\r' && s_[k + 1] == '\n'))
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

        if (!quote && (strcmp(name, "option") == 0 || strcmp(name, "list") == 0))
            return uci_line(k, !line_start());

        // Blanks, then the separator; a quoted JSON key may have its colon
        // and value on the next lines.
        size_t j = k;
        while (quote == '"' ? space(s_[j]) : blank(s_[j]))
            ++j;
        char sep = s_[j];
        bool secret = is_secret_name(name) || endpoint_key(name);
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
            if (!quote && blank(s_[k]) && is_password_word(name, strlen(name)))
                return free_text_value(k);
            copy_to(k);
            return true;
        }
        if (!secret) {
            copy_to(k);
            if (quote == '"' && (flags_ & mask_endpoints) && strcmp(name, "peers") == 0)
                peers_key_ = true;
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

    // In endpoint mode: a server key, and the address and port of a peer.
    bool endpoint_key(const char* name) const {
        if (!(flags_ & mask_endpoints)) return false;
        if (is_server_key(name)) return true;
        return in_peers() && (strcmp(name, "address") == 0 || strcmp(name, "port") == 0);
    }

    // Free text after a password word: a quoted value, a word after "is"
    // or "was", or a word before a verdict ("rejected", "invalid", ...).
    bool free_text_value(size_t k) {
        static constexpr const char* linking[] = {"is", "was"};
        static constexpr const char* verdicts[] = {
            "rejected", "accepted", "refused", "incorrect", "invalid", "wrong",
            "failed",   "denied",   "expired", "mismatch",  "ok",
        };
        // Words that follow a password word in ordinary log text.
        static constexpr const char* plain[] = {
            "for",      "auth",      "authentication",
            "attempt",  "attempts",  "check",
            "change",   "changed",   "login",
            "of",       "to",        "from",
            "is",       "was",       "has",
            "have",     "been",      "not",
            "too",      "the",       "a",
            "an",       "and",       "or",
            "expired",  "policy",    "file",
            "hash",     "length",    "prompt",
            "request",  "required",  "reset",
            "update",   "updated",   "incorrect",
            "invalid",  "wrong",     "empty",
            "missing",  "set",       "correct",
            "ok",       "accepted",  "rejected",
            "needed",   "saved",     "stored",
            "mismatch", "protected", "unchanged",
            "***",
        };
        size_t j = k;
        while (blank(s_[j]))
            ++j;
        char q = s_[j];
        if (q == '\'' || q == '"') {
            size_t vs = j + 1, ve = quoted_end(vs, q);
            if (ve == vs || (ve - vs == 3 && memcmp(s_ + vs, "***", 3) == 0)) {
                copy_to(k);
                return true;
            }
            hide_span(vs, ve);
            return true;
        }
        auto word_end = [&](size_t from) {
            size_t e = from;
            while (s_[e] && !space(s_[e]) && s_[e] != '"' && s_[e] != '\'')
                ++e;
            while (e > from && strchr(".,;:!?)", s_[e - 1]))
                --e;
            return e;
        };
        auto after_blanks = [&](size_t from) {
            while (blank(s_[from]))
                ++from;
            return from;
        };
        size_t ws = j, we = word_end(ws);
        if (we == ws) {
            copy_to(k);
            return true;
        }
        size_t vs = ws, ve = we;
        bool found = false;
        if (in_list(linking, s_ + ws, we - ws)) {
            vs = after_blanks(we);
            ve = word_end(vs);
            found = ve > vs && vs > we;
        } else {
            size_t n = after_blanks(we);
            size_t ne = word_end(n);
            found = n > we && ne > n && in_list(verdicts, s_ + n, ne - n);
        }
        if (!found || in_list(plain, s_ + vs, ve - vs)) {
            copy_to(k);
            return true;
        }
        hide_span(vs, ve);
        return true;
    }

    bool line_start() const {
        for (size_t k = i_; k > 0; --k) {
            char c = s_[k - 1];
            if (c == '\n') return true;
            if (!blank(c)) return false;
        }
        return true;
    }

    // UCI line: "option NAME VALUE" / "list NAME VALUE"; inside a line of
    // other text only with a quoted value.
    bool uci_line(size_t k, bool quoted_only) {
        size_t n = k;
        while (blank(s_[n]))
            ++n;
        char q = quote_at(n);
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
        if (quoted_only && s_[v] != '\'' && s_[v] != '"') {
            copy_to(k);
            return true;
        }
        copy_to(v);
        // The value: quoted, or bare up to the end of the line.
        char vq = quote_at(i_);
        size_t vs = i_ + (vq ? 1 : 0), ve = vs;
        if (vq) {
            ve = quoted_end(vs, vq);
        } else {
            while (s_[ve] && s_[ve] != '\n')
                ++ve;
            while (ve > vs && space(s_[ve - 1]))
                --ve;
        }
        if (!secret_value(name, s_ + vs, ve - vs)) {
            return true; // the value is scanned like any text (links in it)
        }
        hide_span(vs, ve);
        return true;
    }

    // "--password value", "-u user:pass".
    bool flag_value(size_t k, size_t j) {
        if (s_[j] == '-' || !s_[j] || s_[j] == '\n') {
            copy_to(k);
            return true;
        }
        copy_to(j);
        char q = quote_at(j);
        size_t vs = j + (q ? 1 : 0), ve = vs;
        if (q) {
            ve = quoted_end(vs, q);
        } else {
            while (!link_end(s_[ve]))
                ++ve;
        }
        hide_span(vs, ve);
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
            // The "server" member of a proxy's JSON is shown as "***" even
            // when empty.
            if (ve == vs && s_[ve] == c && json_key && (flags_ & mask_endpoints) &&
                strcmp(name, "server") == 0) {
                w_.put("***");
                return;
            }
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

    // The value v (len bytes) of the key name is hidden: a secret-named
    // key's value (value_is_secret), or in endpoint mode any value of an
    // endpoint key that is not empty.
    bool secret_value(const char* name, const char* v, size_t len) const {
        return value_is_secret(name, v, len) || (endpoint_key(name) && len > 0);
    }

    // Writes "***" for the value [vs, ve) (the scheme word of an
    // Authorization value stays) and moves past it; false when the value
    // is no secret (nothing written, i_ at vs).
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

size_t mask_text(const char* in, char* out, size_t cap, unsigned flags, hidden_map* map) {
    if (!out || cap == 0) return 0;
    text_masker m(in, out, cap, flags, map);
    return m.run();
}

} // namespace tarvona_diag
