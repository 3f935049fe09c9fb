// Service entries, their masked configuration texts and the system log.
#pragma once

#include "report.h"

namespace diag {

// Fills r.services for every service test selected in r.flags, in the order
// of the service table: status probes and the configuration text of each
// installed service (a missing init script leaves the service out).
void collect_services(diag_report& r);

// svc_log: reads the system log into r.log and masks the IPv4 addresses of
// the WAN interfaces in it (fills r.network.interfaces first when no
// interface test did). Runs last in the collection pass, after
// collect_overlap. Does nothing when svc_log is not selected.
void collect_system_log(diag_report& r);

// net_wifi: the masked dump of the UCI package "wireless" into
// r.network.wifi_config (key masked, MAC values shortened); stays empty when
// /etc/config/wireless does not exist.
void collect_wifi_config(diag_report& r);

}  // namespace diag
