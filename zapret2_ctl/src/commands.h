// The commands of zapret2-ctl. Each returns the process exit status.
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
// Prints the configuration and daemon state as JSON; 0, or 1 (after an
// ERROR) when standard output does not take the whole document.
int cmd_dump(const zapret2_config& cfg);
// Installs / restores the embedded service scripts; 0 or 1.
int cmd_patch_apply();
int cmd_patch_revert();

void print_usage(const char* prog);

// Whole command line to exit status.
int run(int argc, char** argv);

} // namespace zapret2_ctl
