// List overlap analysis (svc_overlap): community lists routed by the proxy
// routers that a DPI-bypass service also handles, and the test-domain
// lookups through the router's resolver.
#pragma once

#include "report.h"

namespace diag {

// Fills r.overlap when svc_overlap is selected in r.flags; does nothing
// otherwise. Runs after collect_services and before collect_system_log.
void collect_overlap(diag_report& r);

}  // namespace diag
