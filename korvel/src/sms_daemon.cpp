#include "sms_daemon.h"

#include "process.h"

#include <unistd.h>

namespace korvel {

namespace {
constexpr const char* smstools_script = "/etc/init.d/smstools3";
}

void smstools_control(sms_action action) {
    if (access(smstools_script, X_OK) != 0) return;
    bool running = other_instance_running("smsd") || other_instance_running("smstools3");
    bool start = action == sms_action::start;
    if (start == running) return;
    run_program(smstools_script, start ? "start" : "stop");
}

} // namespace korvel
