#include "services.h"

namespace diag {

void collect_services(diag_report&) {}
void collect_system_log(diag_report&) {}
void collect_wifi_config(diag_report&) {}

}  // namespace diag
