// Which nfqws2 daemons are alive, judged by the PID files in /var/run.
#pragma once

namespace zapret2_ctl {

// The files of dir whose names begin with "nfqws2_" are read in directory
// order; a PID counts when it is positive, not init's nor this program's,
// and passes a signal-0 probe. A missing dir yields nothing quietly; another
// open failure warns. Each call scans the directory afresh.

// Number of live PIDs (0 when none).
int daemon_count_in(const char* dir);
int daemon_count(); // in /var/run
// First live PID in directory order (0 when none).
int daemon_first_pid_in(const char* dir);
int daemon_first_pid(); // in /var/run

} // namespace zapret2_ctl
