// UCI dump texts: reading them back, and masking them by the policy of
// their package. A dump is the text dump_uci_config writes:
//   config <type>[ '<name>']\n
//   \toption <name> '<value>'\n
//   \tlist <name> '<item>'\n
// Values are written as stored (quotes unescaped, line breaks kept), so a
// value ends at the quote that is followed by a line break and then the
// next element or the end of the text. Pure; no state.
#pragma once

#include <cstddef>

#include "mask/hidden_map.h"

namespace tarvona_diag {

// One piece of a dump text. The pieces cover the text without gaps.
struct uci_piece {
    enum kind_t { head, option, list, other } kind = other;
    const char* text = nullptr; // the whole piece, its line break included
    size_t length = 0;
    const char* type = nullptr; // head: section type and name ("" when anonymous)
    size_t type_len = 0;
    const char* section = nullptr;
    size_t section_len = 0;
    const char* name = nullptr; // option, list: name and value
    size_t name_len = 0;
    const char* value = nullptr;
    size_t value_len = 0;
    bool closed = false; // the value's closing quote is in the text
};

class uci_reader {
  public:
    explicit uci_reader(const char* text) : p_(text ? text : "") {}
    // The next piece; false at the end of the text.
    bool next(uci_piece& piece);

  private:
    const char* p_;
};

// Copies len bytes of a value or name into out (capacity cap), cut and
// terminated.
void uci_copy(const char* s, size_t len, char* out, size_t cap);

// Copies the dump text of UCI package `package` into out (capacity cap,
// cut at cap - 1, terminated), each value shown by the package's policy:
//   - "***" for the options the package always masks (network:
//     private_key, public_key, preshared_key, endpoint_host, username,
//     password; wireless: key; podkop, brimvale: urltest_proxy_links,
//     proxy_string, brimvale also server_port; telemt: secret,
//     dc_override), for the server and port of a VPN interface (network
//     sections of proto l2tp, pptp, openconnect, vpnc, sstp, openvpn,
//     pppossh), for the options of a proxy package that name its remote
//     end (podkop, brimvale: is_proxy_option_endpoint), and for every
//     secret-named option (value_is_secret; "Bearer ***" for
//     Authorization);
//   - a single MAC value of network and wireless keeps its vendor part;
//   - any other value through mask_text, in endpoint mode when it is JSON
//     or belongs to a proxy package.
// Hidden values are remembered in map (may be null). Returns the length.
size_t mask_uci_dump(const char* package, const char* in, char* out, size_t cap, hidden_map* map);

} // namespace tarvona_diag
