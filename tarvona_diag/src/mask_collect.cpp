#include "mask_collect.h"

#include "config_dump.h"
#include "probes.h"

namespace tarvona_diag {

void collect_mask_facts(const test_flags& f, mask_facts& facts) {
    facts.ip_route[0] = facts.ip_brief[0] = facts.network[0] = facts.firewall[0] = '\0';
    if (!any_network_test(f) && !any_service_test(f)) return;
    run_command("ip route", facts.ip_route, sizeof facts.ip_route);
    run_command("ip -br addr", facts.ip_brief, sizeof facts.ip_brief);
    dump_uci_config("network", facts.network, sizeof facts.network, nullptr);
    dump_uci_config("firewall", facts.firewall, sizeof facts.firewall, nullptr);
}

} // namespace tarvona_diag
