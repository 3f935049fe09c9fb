// What an nft ruleset ("nft list ruleset") gives away: the servers a proxy
// router keeps in its sets, and the WAN addresses of DNAT and SNAT rules.
// Pure text work.
#pragma once

#include <cstddef>

#include "mask/hidden_map.h"
#include "mask/wan.h"

namespace tarvona_diag {

// Copies in into out (capacity cap, cut at cap - 1, terminated) with the
// elements of every set whose name is a server-set name
// (is_server_set_name) hidden: IPv4 addresses, prefixes and range ends as
// "a.b.x.x" (the prefix length stays), IPv6 as "***"; each is remembered in
// map (may be null). Other sets ("brimvale_subnets") stay as they are.
// Returns the length.
size_t mask_server_sets(const char* in, char* out, size_t cap, hidden_map* map);

// The router's own addresses in DNAT and SNAT rules into the map: the
// "ip daddr" of a rule that jumps to dnat and the address of
// "snat ip to" / "snat to", in a chain of a wan zone ("dstnat_wan",
// "srcnat_wan", also reflection rules of other chains when the address is
// public), never an address of a LAN-side interface.
void wan_addresses_in_nft(const char* nft, const wan_facts& wan, hidden_map& m);

} // namespace tarvona_diag
