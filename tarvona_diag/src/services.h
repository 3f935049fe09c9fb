// Service entries, their configuration texts and the system log, as the
// router holds them (the cleaner masks them, report_clean.h).
#pragma once

#include "report.h"
#include "report_clean.h"

namespace tarvona_diag {

// Fills r.services for every service test selected in r.flags, in the order
// of the service table: status probes and the configuration text of each
// installed service (a missing init script leaves the service out): the
// raw file, the JSON file as read, or the dump of its UCI package with the
// package's section filter. facts.services[i] records what kind of text
// r.services[i].config is.
void collect_services(diag_report& r, mask_facts& facts);

// svc_log: reads the system log into r.log. Runs last in the collection
// pass, after collect_overlap. Does nothing when svc_log is not selected.
void collect_system_log(diag_report& r);

// net_wifi: the dump of the UCI package "wireless" into
// r.network.wifi_config; stays empty when /etc/config/wireless does not
// exist.
void collect_wifi_config(diag_report& r);

} // namespace tarvona_diag
