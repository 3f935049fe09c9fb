// Names that decide masking: which keys name a secret or a remote
// endpoint, which protocols and link schemes are proxies, which interfaces
// are pseudo-interfaces or carry the router's public side. Pure; no state.
#pragma once

#include <cstddef>

namespace tarvona_diag {

// ---------------------------------------------------------------- secrets

// A secret-named key (UCI option, JSON member, key=value word, query
// parameter), judged by its word parts: "sae_password", "priv_key_pwd",
// "key2", "wps_pin", "clientSecret" are secret; "key_mgmt", "auth_type",
// "auth_server", "encryption", "ssid", "persistent_keepalive",
// "tls_auth_name", "private_key_path" are not (a part like type, mode,
// mgmt, server, port, file, path, name describes the secret, it is not
// one). Leading dashes ("--password") are ignored.
bool is_secret_name(const char* name, size_t len);
bool is_secret_name(const char* name);

// is_secret_name, except that a value which is only a method word
// ("MSCHAPV2", "auth=PAP", "chap", "salamander") stays visible for names
// whose secret part is "auth" or "obfs", the account a daemon runs as
// ("daemon", "nobody") stays visible for user names, and an empty value or
// "***" needs no masking.
bool value_is_secret(const char* name, const char* value, size_t value_len);

// A secret name whose secret part is a password word (password, passwd,
// passphrase, passcode, psk, pwd, secret): in free text its value may
// follow without "=" or ":" ("password 'x'", "psk \"x\"", "password is x").
bool is_password_word(const char* name, size_t len);

// What a secret value is shown as: "***", or for an Authorization value
// its scheme word and "***" ("Bearer ***"). out holds at least 40 bytes.
void secret_replacement(const char* name, const char* value, char* out, size_t cap);

// The length of the scheme word and blank an Authorization value keeps
// ("Bearer "); 0 for other names.
size_t auth_scheme_length(const char* name, const char* value, size_t len);

// ---------------------------------------------------------------- endpoints

// The server of a proxy named in a JSON text whose objects' types are
// unknown, or in a proxy section: "server", optionally with a port,
// address, host or ip part ("server_port", "server_ports",
// "server_address"). "server_name" (the TLS name) is not one.
bool is_server_key(const char* name, size_t len);
bool is_server_key(const char* name);

// An option of a proxy section that names its remote end, by "server" or
// by another word: is_server_key, or parts host, address, addr, endpoint,
// remote, peer with at most port, ip and proxy parts beside them
// ("remote_host", "proxy_address", "peer_port"). "dns_server",
// "listen_address", "server_name", "interface" are not.
bool is_proxy_option_endpoint(const char* name);

// An nft set in which a proxy router keeps its servers: a name with a
// part server(s) or endpoint(s) ("proxy_servers", "brimvale_servers").
bool is_server_set_name(const char* name, size_t len);

// ---------------------------------------------------------------- protocols

// Proxy protocols by their sing-box type ("vless", "shadowsocks", "ssh",
// "wireguard", ...): an object of such a type holds a remote server and
// its credentials.
bool is_proxy_type(const char* type);

// Link schemes whose whole link is a credential ("vless", "ss", "hy2",
// "socks5", "tg", ...), from the same table of protocols.
bool is_proxy_scheme(const char* scheme, size_t len);

// Outbound and endpoint types that carry no remote server of their own:
// "direct", "block", "dns", "selector", "urltest".
bool is_local_type(const char* type, size_t len);
bool is_local_type(const char* type);

// ---------------------------------------------------------------- interfaces

// lo, sit0, gre0, gretap0, erspan0, ip6tnl0, ip6gre0, tunl0 and any name
// containing "@NONE": left out of interface, link and traffic listings.
bool is_hidden_iface(const char* name);

// eth0, eth1, and names beginning with "pppoe-" or "wan".
bool is_wan_iface(const char* name);

// Names that only an uplink carries: is_wan_iface, and modem and PPP
// devices ("wwan0", "3g-modem", "pppoa-wan", "ppp0", "rmnet_data0"). A
// "@parent" suffix ("lan4@eth0") is not part of the name.
bool is_uplink_name(const char* name);

} // namespace tarvona_diag
