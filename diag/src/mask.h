// Output-time masking and interface filters. Pure; no state.
#pragma once

#include <cstddef>

namespace diag {

constexpr size_t masked_ip_capacity = 64;
constexpr size_t masked_mac_capacity = 24;
constexpr size_t masked_text_capacity = 8192;

// lo, sit0, gre0, gretap0, erspan0, ip6tnl0, ip6gre0, tunl0 and any name
// containing "@NONE": left out of interface, link and traffic listings.
bool is_hidden_iface(const char* name);

// eth0, eth1, and names beginning with "pppoe-" or "wan".
bool is_wan_iface(const char* name);

// A MAC address: exactly 17 characters, colons at 3, 6, 9, 12, 15 (from 1),
// hexadecimal digits elsewhere.
bool is_mac_address(const char* s);

// 192.168.1.1/24 -> 192.168.x.x/24; IPv6 -> "***"; "" -> "".
// out must hold masked_ip_capacity bytes.
void mask_ip(const char* ip, char* out);

// AA:BB:CC:DD:EE:FF -> AA:BB:CC:xx:xx:xx; "" -> "".
// out must hold masked_mac_capacity bytes.
void mask_mac(const char* mac, char* out);

// Copies text into out (masked_text_capacity bytes), every MAC address
// replaced by its mask_mac form; at most 8191 bytes are written.
void mask_macs_in_text(const char* text, char* out);

} // namespace diag
