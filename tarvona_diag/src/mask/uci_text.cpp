#include "mask/uci_text.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "mask/forms.h"
#include "mask/names.h"
#include "mask/text_masker.h"
#include "mask/text_writer.h"
#include "text_ops.h"

namespace tarvona_diag {

namespace {

// A value's closing quote: followed by a line break and the next element,
// or by the end of the text.
bool closes_value(const char* q) {
    if (q[1] == '\0') return true;
    if (q[1] != '\n') return false;
    const char* n = q + 2;
    return *n == '\0' || starts_with(n, "config ") || starts_with(n, "\toption ") ||
           starts_with(n, "\tlist ");
}

const char* line_end(const char* p) {
    const char* e = strchr(p, '\n');
    return e ? e + 1 : p + strlen(p);
}

bool name_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == '@' || c == '[' || c == ']';
}

} // namespace

bool uci_reader::next(uci_piece& out) {
    if (!*p_) return false;
    out = uci_piece{};
    out.text = p_;
    const char* p = p_;
    if (starts_with(p, "config ")) {
        const char* t = p + 7;
        size_t tl = 0;
        while (name_byte(t[tl]))
            ++tl;
        const char* e = t + tl;
        if (tl > 0 && (*e == '\n' || *e == '\0')) {
            out.kind = uci_piece::head;
            out.type = t;
            out.type_len = tl;
            out.section = e;
            p_ = *e ? e + 1 : e;
        } else if (tl > 0 && e[0] == ' ' && e[1] == '\'') {
            const char* n = e + 2;
            size_t nl = 0;
            while (name_byte(n[nl]))
                ++nl;
            if (n[nl] == '\'' && (n[nl + 1] == '\n' || n[nl + 1] == '\0')) {
                out.kind = uci_piece::head;
                out.type = t;
                out.type_len = tl;
                out.section = n;
                out.section_len = nl;
                p_ = n[nl + 1] ? n + nl + 2 : n + nl + 1;
            }
        }
    } else if (starts_with(p, "\toption ") || starts_with(p, "\tlist ")) {
        const bool is_list = p[1] == 'l';
        const char* n = p + (is_list ? 6 : 8);
        size_t nl = 0;
        while (name_byte(n[nl]))
            ++nl;
        if (nl > 0 && n[nl] == ' ' && n[nl + 1] == '\'') {
            out.kind = is_list ? uci_piece::list : uci_piece::option;
            out.name = n;
            out.name_len = nl;
            out.value = n + nl + 2;
            const char* q = out.value;
            while ((q = strchr(q, '\'')) && !closes_value(q))
                ++q;
            if (q) {
                out.closed = true;
                out.value_len = static_cast<size_t>(q - out.value);
                p_ = q[1] ? q + 2 : q + 1;
            } else {
                out.value_len = strlen(out.value);
                p_ = out.value + out.value_len;
            }
        }
    }
    if (out.kind == uci_piece::other) p_ = line_end(p);
    out.length = static_cast<size_t>(p_ - out.text);
    return true;
}

void uci_copy(const char* s, size_t len, char* out, size_t cap) {
    if (cap == 0) return;
    if (len > cap - 1) len = cap - 1;
    memcpy(out, s, len);
    out[len] = '\0';
}

namespace {

struct package_policy {
    const char* package;
    const char* masked[6]; // options always shown as "***"
    bool macs;             // single MAC values keep their vendor part
    bool vpn_servers;      // the server and port of VPN interfaces are hidden
    bool proxy;            // options naming the remote end are hidden
};

constexpr package_policy policies[] = {
    {"network",
     {"private_key", "public_key", "preshared_key", "endpoint_host", "username", "password"},
     true,
     true,
     false},
    {"wireless", {"key"}, true, false, false},
    {"podkop", {"urltest_proxy_links", "proxy_string"}, false, false, true},
    {"brimvale", {"urltest_proxy_links", "proxy_string", "server_port"}, false, false, true},
    {"telemt", {"secret", "dc_override"}, false, false, false},
};

constexpr package_policy default_policy{"", {}, false, false, false};

const package_policy& policy_of(const char* package) {
    for (const package_policy& p : policies)
        if (package && strcmp(p.package, package) == 0) return p;
    return default_policy;
}

bool vpn_proto(const char* proto) {
    static constexpr const char* protos[] = {"l2tp", "pptp",    "openconnect", "vpnc",
                                             "sstp", "openvpn", "pppossh"};
    return in_set(protos, proto);
}

constexpr size_t value_capacity = 16384;

class dump_masker {
  public:
    dump_masker(const package_policy& policy, hidden_map* map)
        : policy_(policy), map_(map), raw_(new char[value_capacity]),
          shown_(new char[value_capacity]) {}

    size_t run(const char* in, char* out, size_t cap) {
        text_writer w(out, cap);
        uci_reader reader(in);
        uci_piece piece;
        while (reader.next(piece)) {
            switch (piece.kind) {
            case uci_piece::head:
                w.put(piece.text, piece.length);
                section_proto(reader);
                break;
            case uci_piece::option:
            case uci_piece::list:
                w.put(piece.kind == uci_piece::list ? "\tlist " : "\toption ");
                w.put(piece.name, piece.name_len);
                w.put(" '");
                w.put(shown(piece));
                if (piece.closed) {
                    const char* close = piece.value + piece.value_len; // "'\n" or "'"
                    w.put(close, static_cast<size_t>(piece.text + piece.length - close));
                }
                break;
            case uci_piece::other:
                uci_copy(piece.text, piece.length, raw_.get(), value_capacity);
                mask_text(raw_.get(), shown_.get(), value_capacity, 0, map_);
                w.put(shown_.get());
                break;
            }
        }
        return w.size();
    }

  private:
    const package_policy& policy_;
    hidden_map* map_;
    std::unique_ptr<char[]> raw_, shown_;
    char proto_[32] = "";

    // The proto option of the section that starts at the reader's place.
    void section_proto(uci_reader reader) {
        proto_[0] = '\0';
        uci_piece p;
        while (reader.next(p) && p.kind != uci_piece::head) {
            if (p.kind == uci_piece::option && p.name_len == 5 && memcmp(p.name, "proto", 5) == 0)
                uci_copy(p.value, p.value_len, proto_, sizeof proto_);
        }
    }

    bool always_masked(const char* name) const {
        for (const char* m : policy_.masked)
            if (m && strcmp(m, name) == 0) return true;
        if (policy_.vpn_servers && vpn_proto(proto_) &&
            (strcmp(name, "server") == 0 || strcmp(name, "port") == 0))
            return true;
        return policy_.proxy && is_proxy_option_endpoint(name);
    }

    const char* shown(const uci_piece& piece) {
        char name[96];
        uci_copy(piece.name, piece.name_len, name, sizeof name);
        char* value = raw_.get();
        uci_copy(piece.value, piece.value_len, value, value_capacity);
        char* out = shown_.get();
        if (always_masked(name) || value_is_secret(name, value, strlen(value))) {
            if (map_) hidden_map_add(*map_, value);
            secret_replacement(name, value, out, value_capacity);
            return out;
        }
        if (piece.kind == uci_piece::option && policy_.macs && is_mac_address(value)) {
            mask_mac(value, out);
            return out;
        }
        const char* p = value;
        while (*p == ' ' || *p == '\t' || *p == '\n')
            ++p;
        const bool json = *p == '{' || *p == '[';
        mask_text(value, out, value_capacity, (json || policy_.proxy) ? mask_endpoints : 0u, map_);
        return out;
    }
};

} // namespace

size_t mask_uci_dump(const char* package, const char* in, char* out, size_t cap, hidden_map* map) {
    if (!out || cap == 0) return 0;
    dump_masker m(policy_of(package), map);
    return m.run(in ? in : "", out, cap);
}

} // namespace tarvona_diag
