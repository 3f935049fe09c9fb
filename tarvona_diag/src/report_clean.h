// The one masking pass of the report: no secret leaves the router.
//
// Collection fills the record with raw texts and gathers beside it what
// the policy needs to know (mask_facts). clean_report then, once, after
// the whole record is filled:
//   1. masks every configuration text by its kind (UCI dump by its
//      package, JSON, raw file), keeping each value it hides in the map of
//      hidden values;
//   2. adds the WAN side to the map: WAN detection over the routes, the
//      interface addresses, the network and firewall configurations, the
//      uplink lines of the log and the DNAT/SNAT rules;
//   3. masks every free text (log, command outputs, the proxy check's
//      error) by the text rules and the servers in the nft sets of a proxy
//      router, adding what it hides to the map;
//   4. applies the map to every text of the record;
//   5. gives the table fields their shown form: addresses of WAN
//      interfaces "a.b.x.x/n", link MACs and the MACs in the ARP and
//      wireless texts "AA:BB:CC:xx:xx:xx"; pseudo-interfaces leave the
//      interface, link and traffic tables.
// The renderers then show the record as it stands. Pure: no command, file
// or UCI access; the map is a value of the pass, nothing is global.
#pragma once

#include "report.h"

namespace tarvona_diag {

// What a service entry's configuration text is.
struct config_text {
    enum kind_t { raw, uci, json } kind = raw;
    const char* package = nullptr; // uci: the package that was dumped
};

// Raw facts collection gathers for the masking policy beside the record.
struct mask_facts {
    char ip_route[4096];                // "ip route"
    char ip_brief[4096];                // "ip -br addr"
    char network[65536];                // dump of the UCI package network, every section
    char firewall[65536];               // dump of the UCI package firewall, every section
    config_text services[max_services]; // the kind of r.services[i].config
};

// Masks the record as described above. Does nothing for a report of
// system tests only (those hold no secret).
void clean_report(diag_report& r, const mask_facts& facts);

} // namespace tarvona_diag
