// The commands status, genconfig and reset. Each returns the process exit
// status.
#pragma once

#include "config.h"

namespace zapret2_ctl {

constexpr int genconfig_failure_status = 255;

// Prints the daemon state; 0 when at least one daemon runs, 1 otherwise.
int cmd_status(const zapret2_config& cfg);
// Runs the generator under the genconfig lock; 0 or 255.
int cmd_genconfig();
// Re-imports the shipped defaults through the shell and `uci`; 0 or 1.
int cmd_reset();

} // namespace zapret2_ctl
