// Start and stop of the SMS daemon through its init script.
#pragma once

namespace korvel {

enum class sms_action { start, stop };

/// Runs "/etc/init.d/smstools3 start|stop" when the script is executable and
/// the daemon is not already in the requested state.
void smstools_control(sms_action action);

} // namespace korvel
