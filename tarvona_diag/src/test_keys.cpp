// The test keys in flag order and the predicates over test_flags.
#include "test_keys.h"

namespace tarvona_diag {

#define DIAG_KEY(k)                                                                                \
    { #k, &test_flags::k }
const test_key test_keys[test_key_count] = {
    DIAG_KEY(sys_version), DIAG_KEY(sys_kernel),     DIAG_KEY(sys_uptime),
    DIAG_KEY(sys_cpu),     DIAG_KEY(sys_memory),     DIAG_KEY(sys_disk),
    DIAG_KEY(sys_time),    DIAG_KEY(net_interfaces), DIAG_KEY(net_links),
    DIAG_KEY(net_routes),  DIAG_KEY(net_routes6),    DIAG_KEY(net_arp),
    DIAG_KEY(net_dns),     DIAG_KEY(net_conntrack),  DIAG_KEY(net_traffic),
    DIAG_KEY(net_ping),    DIAG_KEY(net_wifi),       DIAG_KEY(net_nftables),
    DIAG_KEY(svc_cron),    DIAG_KEY(svc_network),    DIAG_KEY(svc_firewall),
    DIAG_KEY(svc_dnsmasq), DIAG_KEY(svc_velmora),    DIAG_KEY(svc_singbox),
    DIAG_KEY(svc_podkop),  DIAG_KEY(svc_brimvale),   DIAG_KEY(svc_zapret),
    DIAG_KEY(svc_zapret2), DIAG_KEY(svc_ytunblock),  DIAG_KEY(svc_dohproxy),
    DIAG_KEY(svc_stubby),  DIAG_KEY(svc_telemt),     DIAG_KEY(svc_overlap),
    DIAG_KEY(svc_log),
};
#undef DIAG_KEY

bool any_network_test(const test_flags& f) {
    return f.net_interfaces || f.net_links || f.net_routes || f.net_routes6 || f.net_arp ||
           f.net_dns || f.net_conntrack || f.net_traffic || f.net_ping || f.net_wifi ||
           f.net_nftables;
}

bool any_service_test(const test_flags& f) {
    return f.svc_cron || f.svc_network || f.svc_firewall || f.svc_dnsmasq || f.svc_velmora ||
           f.svc_singbox || f.svc_podkop || f.svc_brimvale || f.svc_zapret || f.svc_zapret2 ||
           f.svc_ytunblock || f.svc_dohproxy || f.svc_stubby || f.svc_telemt || f.svc_overlap ||
           f.svc_log;
}

} // namespace tarvona_diag
