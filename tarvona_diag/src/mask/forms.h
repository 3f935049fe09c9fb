// The forms a hidden address takes ("203.0.x.x", "AA:BB:CC:xx:xx:xx",
// "***"), and the recognisers of addresses the maskers need. Pure; no
// state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvona_diag {

constexpr size_t masked_ip_capacity = 64;
constexpr size_t masked_mac_capacity = 24;
constexpr size_t masked_text_capacity = 8192;

// 192.168.1.1/24 -> 192.168.x.x/24: the text up to its second dot (at most
// 31 bytes), ".x.x", then the prefix length if any; IPv6 (any colon) ->
// "***"; "" -> "". out must hold masked_ip_capacity bytes.
void mask_ip(const char* ip, char* out);

// AA:BB:CC:DD:EE:FF -> AA:BB:CC:xx:xx:xx (the text up to its third colon,
// then ":xx:xx:xx", cut to fit); "" -> "". out must hold
// masked_mac_capacity bytes.
void mask_mac(const char* mac, char* out);

// A MAC address: exactly 17 characters, colons at 3, 6, 9, 12, 15 (from 1),
// hexadecimal digits elsewhere.
bool is_mac_address(const char* s);

// Copies text into out (masked_text_capacity bytes), every MAC address
// replaced by its mask_mac form; at most 8191 bytes are written.
void mask_macs_in_text(const char* text, char* out);

// len bytes of s are a dotted IPv4 address (four groups of 1 to 3 digits);
// *value (may be null) receives it when the groups are at most 255.
bool parse_ipv4(const char* s, size_t len, uint32_t* value = nullptr);

// An IPv4 address outside the private, shared, loopback, link-local and
// multicast ranges.
bool is_public_ipv4(const char* addr, size_t len);

// "a.b.c.d/n" (n from 0 to 32) into its network and mask.
bool parse_ipv4_prefix(const char* s, size_t len, uint32_t& network, uint32_t& mask);

// An IPv6 address (with an optional prefix length): hexadecimal groups
// with "::" or all eight groups, nothing else.
bool is_ipv6_text(const char* s, size_t len);

} // namespace tarvona_diag
